#include "app/station_arguments.h"

#include <QCommandLineParser>

namespace StationArguments {

const QCommandLineOption& Production() {
    static const QCommandLineOption production(
        "production", "Open a production station running the recipe file.", "recipe");
    return production;
}

const QList<QCommandLineOption>& Options() {
    static const QList<QCommandLineOption> options{
        {"operator", "With --production: who runs the station.", "name"},
        {"station", "With --production: the station's name (the host name by default).", "name"},
        {"db",
         "With --production: the record, an SQLite file or postgresql://USER@HOST/DBNAME "
         "(by default an SQLite file beside the recipe).",
         "record"},
        {"next",
         "With --production: the next unit starts on the adapter's re-plug (replug, the default) "
         "or on Enter (key).",
         "replug|key"},
        {"stop-after-failures",
         "With --production: failures in a row that take a place out of the run (0, the default, never).", "N"},
    };
    return options;
}

std::optional<StationSettings> Read(const QCommandLineParser& parser, QString& error) {
    if (!parser.isSet(Production()))
        for (const QCommandLineOption& option : Options())
            if (parser.isSet(option)) {
                error = "--" + option.names().constFirst() + " belongs to --production";
                return std::nullopt;
            }
    StationSettings s;
    s.operatorName = parser.value("operator");
    s.station = parser.value("station");
    s.db = parser.value("db");
    const QString next = parser.value("next");
    if (parser.isSet("next") && next != "key" && next != "replug") {
        error = "--next takes key or replug";
        return std::nullopt;
    }
    s.nextOnKey = next == "key";
    if (parser.isSet("stop-after-failures")) {
        bool number = false;
        s.stopAfterFailures = parser.value("stop-after-failures").toInt(&number);
        if (!number || s.stopAfterFailures < 0) {
            error = "--stop-after-failures takes a number of failures";
            return std::nullopt;
        }
    }
    return s;
}

}  // namespace StationArguments
