#include "cli/report_command.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "cli/cli_runner.h"
#include "cli/console.h"
#include "production/record_store.h"

namespace {

struct Counts {
    qint64 units = 0, passed = 0, failed = 0, cancelled = 0, interrupted = 0;

    void Add(const QString& result, qint64 n) {
        units += n;
        if (result == "pass") passed += n;
        else if (result == "fail") failed += n;
        else if (result == "cancelled") cancelled += n;
        else interrupted += n;
    }
    // Of the units that were programmed to an end, the share that passed:
    // a cancelled unit says nothing of the line's quality.
    double Yield() const { return passed + failed == 0 ? 0 : 100.0 * double(passed) / double(passed + failed); }
};

struct FloorReport {
    qint64 run = 0;  // 0: every run
    Counts total;
    QMap<QString, Counts> places, stations;
    QMap<QString, qint64> failedSteps, spent;
};

class ReportReader {
  public:
    explicit ReportReader(QSqlDatabase db) : db_(std::move(db)) {}

    bool Read(FloorReport* report, QString* error) {
        const QString units = "FROM units u JOIN runs r ON u.run_id = r.id JOIN stations s ON r.station_id = s.id";
        const QString where = report->run > 0 ? " WHERE u.run_id = ?" : "";
        const qint64 run = report->run;
        const bool read =
            Grouped("SELECT u.place, u.result, COUNT(*) " + units + where + " GROUP BY u.place, u.result", run,
                    [&](QSqlQuery& q) {
                        report->places[q.value(0).toString()].Add(q.value(1).toString(), q.value(2).toLongLong());
                        report->total.Add(q.value(1).toString(), q.value(2).toLongLong());
                    }) &&
            Grouped("SELECT s.name, u.result, COUNT(*) " + units + where + " GROUP BY s.name, u.result", run,
                    [&](QSqlQuery& q) {
                        report->stations[q.value(0).toString()].Add(q.value(1).toString(), q.value(2).toLongLong());
                    }) &&
            Grouped("SELECT u.step, COUNT(*) " + units + (where.isEmpty() ? " WHERE" : where + " AND") +
                        " u.result = 'fail' GROUP BY u.step",
                    run, [&](QSqlQuery& q) { report->failedSteps[q.value(0).toString()] = q.value(1).toLongLong(); }) &&
            Grouped("SELECT counter_name, COUNT(*) FROM reservations WHERE state = 'spent'" +
                        QString(run > 0 ? " AND run_id = ?" : "") + " GROUP BY counter_name",
                    run, [&](QSqlQuery& q) { report->spent[q.value(0).toString()] = q.value(1).toLongLong(); });
        if (!read) *error = "cannot read the record: " + lastError_;
        return read;
    }

    // The run --last means, or whether --run names one; 0 when there is none.
    qint64 FindRun(qint64 asked) {
        QSqlQuery q(db_);
        q.prepare(asked > 0 ? "SELECT id FROM runs WHERE id = ?" : "SELECT MAX(id) FROM runs");
        if (asked > 0) q.addBindValue(asked);
        return q.exec() && q.next() ? q.value(0).toLongLong() : 0;
    }

  private:
    template <typename Row>
    bool Grouped(const QString& sql, qint64 run, Row row) {
        QSqlQuery q(db_);
        q.prepare(sql);
        if (run > 0) q.addBindValue(run);
        if (!q.exec()) {
            lastError_ = q.lastError().text();
            return false;
        }
        while (q.next()) row(q);
        return true;
    }

    QSqlDatabase db_;
    QString lastError_;
};

QJsonObject CountsJson(const Counts& c) {
    return {{"units", c.units},         {"passed", c.passed},           {"failed", c.failed},
            {"cancelled", c.cancelled}, {"interrupted", c.interrupted}, {"yield", qRound(c.Yield() * 10) / 10.0}};
}

QJsonArray GroupJson(const QMap<QString, Counts>& groups, const char* key) {
    QJsonArray array;
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        QJsonObject o = CountsJson(it.value());
        o[key] = it.key();
        array.append(o);
    }
    return array;
}

void PrintJson(const FloorReport& r, Console& console) {
    QJsonObject o = CountsJson(r.total);
    o["run"] = r.run > 0 ? QJsonValue(r.run) : QJsonValue("all");
    QJsonObject steps, spent;
    for (auto it = r.failedSteps.begin(); it != r.failedSteps.end(); ++it) steps[it.key()] = it.value();
    for (auto it = r.spent.begin(); it != r.spent.end(); ++it) spent[it.key()] = it.value();
    o["failuresByStep"] = steps;
    o["valuesSpent"] = spent;
    o["places"] = GroupJson(r.places, "place");
    o["stations"] = GroupJson(r.stations, "station");
    console.Out(QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)));
}

QString CsvRow(const QString& group, const QString& name, const Counts& c, qint64 count) {
    QString quoted = name;
    if (quoted.contains(',') || quoted.contains('"')) quoted = '"' + quoted.replace('"', "\"\"") + '"';
    return QString("%1,%2,%3,%4,%5,%6,%7,%8,%9")
        .arg(group, quoted)
        .arg(c.units)
        .arg(c.passed)
        .arg(c.failed)
        .arg(c.cancelled)
        .arg(c.interrupted)
        .arg(QString::number(c.Yield(), 'f', 1))
        .arg(count);
}

// One table: the totals, each place, each station, then each failing step
// and each counter with its count.
void PrintCsv(const FloorReport& r, Console& console) {
    console.Out("group,name,units,passed,failed,cancelled,interrupted,yield_percent,count");
    console.Out(CsvRow("total", r.run > 0 ? QString::number(r.run) : "all", r.total, r.total.units));
    for (auto it = r.places.begin(); it != r.places.end(); ++it) console.Out(CsvRow("place", it.key(), it.value(), it.value().units));
    for (auto it = r.stations.begin(); it != r.stations.end(); ++it)
        console.Out(CsvRow("station", it.key(), it.value(), it.value().units));
    for (auto it = r.failedSteps.begin(); it != r.failedSteps.end(); ++it) console.Out(CsvRow("step", it.key(), {}, it.value()));
    for (auto it = r.spent.begin(); it != r.spent.end(); ++it) console.Out(CsvRow("spent", it.key(), {}, it.value()));
}

QString CountsText(const Counts& c) {
    return QString("%1 units: %2 passed, %3 failed, %4 cancelled, %5 interrupted; yield %6%")
        .arg(c.units)
        .arg(c.passed)
        .arg(c.failed)
        .arg(c.cancelled)
        .arg(c.interrupted)
        .arg(QString::number(c.Yield(), 'f', 1));
}

void PrintText(const FloorReport& r, Console& console) {
    console.Out((r.run > 0 ? "run " + QString::number(r.run) : QString("all runs")) + ": " + CountsText(r.total));
    if (!r.failedSteps.isEmpty()) console.Out("failures by step:");
    for (auto it = r.failedSteps.begin(); it != r.failedSteps.end(); ++it)
        console.Out(QString("  %1  %2").arg(it.value(), 5).arg(it.key()));
    if (!r.spent.isEmpty()) console.Out("values spent:");
    for (auto it = r.spent.begin(); it != r.spent.end(); ++it) console.Out(QString("  %1  %2").arg(it.value(), 5).arg(it.key()));
    console.Out("per place:");
    for (auto it = r.places.begin(); it != r.places.end(); ++it) console.Out("  " + it.key() + "  " + CountsText(it.value()));
    console.Out("per station:");
    for (auto it = r.stations.begin(); it != r.stations.end(); ++it)
        console.Out("  " + it.key() + "  " + CountsText(it.value()));
}

}  // namespace

int RunReport(const CliOptions& options, Console& console) {
    // A report only reads: a file that is not there is no record, not a new one.
    StoreLocation location;
    QString error;
    if (StoreLocation::Parse(options.db, &location, &error) && !location.postgres && !QFileInfo::exists(location.file))
        error = "no record at " + options.db;
    std::unique_ptr<RecordStore> store;
    if (error.isEmpty()) store = RecordStore::Open(options.db, {}, &error);
    if (!store) {
        console.Err("brellix-cli: " + error);
        return EXIT_USAGE;
    }
    ReportReader reader(store->database());
    FloorReport report;
    if (options.runId > 0 || options.lastRun) {
        report.run = reader.FindRun(options.runId);
        if (report.run == 0) {
            console.Err(options.runId > 0 ? "brellix-cli: the record holds no run " + QString::number(options.runId)
                                          : QString("brellix-cli: the record holds no run"));
            return EXIT_USAGE;
        }
    }
    if (!reader.Read(&report, &error)) {
        console.Err("brellix-cli: " + error);
        return EXIT_USAGE;
    }
    if (options.json) PrintJson(report, console);
    else if (options.csv) PrintCsv(report, console);
    else PrintText(report, console);
    return EXIT_OK;
}
