#include "app/station_settings.h"

#include <QFileInfo>
#include <QUrl>
#include <algorithm>

#include "app/app_settings.h"
#include "cli/cli_options.h"

StationSettings StationSettings::Load(const AppSettings& settings) {
    StationSettings s;
    s.operatorName = settings.GetProfileString(AppSettings::kStationOperator);
    s.station = settings.GetProfileString(AppSettings::kStationName);
    s.db = settings.GetProfileString(AppSettings::kStationRecord);
    s.nextOnKey = settings.GetProfileInt(AppSettings::kStationNextOnKey, 0) != 0;
    s.stopAfterFailures = std::max(0, settings.GetProfileInt(AppSettings::kStationStopAfterFailures, 0));
    return s;
}

void StationSettings::Save(AppSettings& settings) const {
    settings.WriteProfileString(AppSettings::kStationOperator, operatorName);
    settings.WriteProfileString(AppSettings::kStationName, station);
    settings.WriteProfileString(AppSettings::kStationRecord, db);
    settings.WriteProfileInt(AppSettings::kStationNextOnKey, nextOnKey ? 1 : 0);
    settings.WriteProfileInt(AppSettings::kStationStopAfterFailures, stopAfterFailures);
}

// 0 failures is no stop given: the recipe's own stop then holds, as on the
// command line without --stop-after-failures.
void StationSettings::ApplyTo(CliOptions& options) const {
    options.operatorName = operatorName.trimmed();
    options.station = station.trimmed();
    options.db = db.trimmed();
    options.nextOnKey = nextOnKey;
    options.stopAfterFailures = std::max(0, stopAfterFailures);
    options.stopAfterFailuresGiven = stopAfterFailures > 0;
}

// A database address is shown without its password: the window is in
// everyone's sight on the shop floor.
QString StationSettings::Describe(const CliOptions& options) {
    QString record = options.db.isEmpty() ? QString("beside the recipe") : QFileInfo(options.db).fileName();
    if (options.db.startsWith("postgresql:")) {
        QUrl url(options.db);
        url.setPassword({});
        record = url.toString();
    }
    const QString stop = options.stopAfterFailures > 0
                             ? QString("a place stops after %1 failures in a row").arg(options.stopAfterFailures)
                             : QString("no place stops for failures");
    return QString("record %1   next unit on %2   %3")
        .arg(record, options.nextOnKey ? "Enter" : "adapter re-plug", stop);
}
