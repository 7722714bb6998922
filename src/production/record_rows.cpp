#include "production/record_rows.h"

#include <QVariant>

namespace {

QString Now() {
    return RecordTime(QDateTime::currentDateTimeUtc());
}

bool Id(SqlSession& session, const QString& sql, const QVariantList& values, std::int64_t* id) {
    QVariant value;
    if (!session.Value(sql, values, &value)) return false;
    *id = value.toLongLong();
    return !value.isNull();
}

}  // namespace

bool RegisterStation(SqlSession& session, const QString& name, std::int64_t* id) {
    return session.Exec(
               "INSERT INTO stations (name, created_utc) VALUES (?, ?) ON CONFLICT (name) DO "
               "NOTHING",
               {name, Now()}) &&
           Id(session, "SELECT id FROM stations WHERE name = ?", {name}, id);
}

bool InsertRun(SqlSession& session, std::int64_t stationId, const RunInfo& run, std::int64_t* id) {
    return Id(session,
              "INSERT INTO runs (station_id, recipe_name, recipe_version, image_crc, operator, "
              "program_version, started_utc, host) VALUES (?, ?, ?, ?, ?, ?, ?, ?) RETURNING id",
              {qint64(stationId), run.recipeName, run.recipeVersion, run.imageCrc, run.operatorName,
               run.programVersion, Now(), run.host},
              id);
}

bool EndRun(SqlSession& session, std::int64_t runId) {
    return session.Exec("UPDATE runs SET ended_utc = ? WHERE id = ?", {Now(), qint64(runId)});
}

bool OpenRunElsewhere(SqlSession& session, std::int64_t stationId, const QString& host, QString* where) {
    QVariant found;
    if (!session.Value("SELECT host || ' since ' || started_utc FROM runs WHERE station_id = ? AND "
                       "ended_utc IS NULL AND host <> '' AND host <> ? ORDER BY id LIMIT 1",
                       {qint64(stationId), host}, &found))
        return false;
    *where = found.isNull() ? QString() : found.toString();
    return true;
}

bool EndStationRuns(SqlSession& session, std::int64_t stationId) {
    return session.Exec(
        "UPDATE runs SET ended_utc = COALESCE((SELECT MAX(u.utc) FROM units u WHERE u.run_id = runs.id),"
        " started_utc) WHERE station_id = ? AND ended_utc IS NULL",
        {qint64(stationId)});
}

bool InsertUnit(SqlSession& session, const UnitRecord& unit) {
    const QDateTime utc = unit.utc.isValid() ? unit.utc : QDateTime::currentDateTimeUtc();
    return session.Exec(
        "INSERT INTO units (run_id, unit_number, place, adapter_serial, chip, fields, result, "
        "step, detail,"
        " duration_ms, job_ms, readback_crc, utc) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
        " ON CONFLICT (run_id, unit_number) DO NOTHING",
        {qint64(unit.runId), unit.unitNumber, unit.place, unit.adapterSerial, unit.chip,
         unit.fields, UnitResultName(unit.result), unit.step, unit.detail, qint64(unit.durationMs),
         qint64(unit.jobMs), unit.readBackCrc, RecordTime(utc)});
}
