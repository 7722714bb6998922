#include "production/store_schema.h"

#include <QStringList>
#include <QVariant>

namespace {

// Migration 1: the whole first schema. "%ID" stands for the dialect's id column.
// Times are UTC in ISO 8601 text, which sorts and reads the same in both databases.
const QStringList kVersion1 = {
    "CREATE TABLE stations (id %ID, name TEXT NOT NULL UNIQUE, created_utc TEXT NOT NULL)",
    "CREATE TABLE runs (id %ID, station_id BIGINT NOT NULL REFERENCES stations(id),"
    " recipe_name TEXT NOT NULL, recipe_version TEXT NOT NULL, image_crc TEXT NOT NULL,"
    " operator TEXT NOT NULL, program_version TEXT NOT NULL, started_utc TEXT NOT NULL, ended_utc "
    "TEXT)",
    "CREATE TABLE units (id %ID, run_id BIGINT NOT NULL REFERENCES runs(id), unit_number INTEGER "
    "NOT NULL,"
    " place TEXT NOT NULL, adapter_serial TEXT NOT NULL, chip TEXT NOT NULL, fields TEXT NOT NULL,"
    " result TEXT NOT NULL, step TEXT NOT NULL, detail TEXT NOT NULL, duration_ms BIGINT NOT NULL,"
    " job_ms BIGINT NOT NULL, readback_crc TEXT NOT NULL, utc TEXT NOT NULL, UNIQUE (run_id, "
    "unit_number))",
    "CREATE TABLE counters (name TEXT PRIMARY KEY, next_value BIGINT NOT NULL, limit_value BIGINT "
    "NOT NULL)",
    // Values given back, handed out again (lowest first) before a new one.
    "CREATE TABLE free_values (counter_name TEXT NOT NULL REFERENCES counters(name), value BIGINT "
    "NOT NULL,"
    " PRIMARY KEY (counter_name, value))",
    "CREATE TABLE reservations (id %ID, counter_name TEXT NOT NULL REFERENCES counters(name),"
    " value BIGINT NOT NULL, state TEXT NOT NULL, station_id BIGINT NOT NULL REFERENCES "
    "stations(id),"
    " run_id BIGINT NOT NULL REFERENCES runs(id), unit_number INTEGER NOT NULL,"
    " reserved_utc TEXT NOT NULL, closed_utc TEXT)",
    // The database itself refuses a value spent twice or held by two units at once.
    "CREATE UNIQUE INDEX reservations_spent_once ON reservations (counter_name, value) WHERE state "
    "= 'spent'",
    "CREATE UNIQUE INDEX reservations_held_once ON reservations (counter_name, value) WHERE state "
    "= 'reserved'",
    "CREATE INDEX reservations_by_run ON reservations (run_id, unit_number)",
    "CREATE INDEX reservations_by_station ON reservations (station_id, state)",
};

// Migration 2: the host each run is on, so that a station name used on two
// machines is told apart from one machine's run that crashed. Runs recorded
// before it have no host.
const QStringList kVersion2 = {"ALTER TABLE runs ADD COLUMN host TEXT NOT NULL DEFAULT ''"};

const QList<QStringList> kMigrations = {kVersion1, kVersion2};

bool Apply(SqlSession& session, int from) {
    for (int version = from + 1; version <= int(kMigrations.size()); ++version) {
        for (QString sql : kMigrations[version - 1]) {
            if (!session.Exec(sql.replace("%ID", session.dialect().idColumn()))) return false;
        }
    }
    if (from == 0)
        return session.Exec("INSERT INTO schema_version (version) VALUES (?)",
                            {kStoreSchemaVersion});
    return session.Exec("UPDATE schema_version SET version = ?", {kStoreSchemaVersion});
}

bool Migrate(SqlSession& session, QString* error) {
    const QString lock = session.dialect().lockSchema();
    if (!lock.isEmpty() && !session.Exec(lock)) return false;
    if (!session.Exec("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))
        return false;
    QVariant found;
    if (!session.Value("SELECT MAX(version) FROM schema_version", {}, &found)) return false;
    const int version = found.isNull() ? 0 : found.toInt();
    if (version > kStoreSchemaVersion) {
        *error = QString("the record's schema is version %1, newer than this program's %2")
                     .arg(version)
                     .arg(kStoreSchemaVersion);
        return false;
    }
    return version == kStoreSchemaVersion || Apply(session, version);
}

}  // namespace

bool MigrateStoreSchema(SqlSession& session, QString* error) {
    error->clear();
    if (!session.BeginWrite()) {
        *error = session.error();
        return false;
    }
    if (Migrate(session, error) && session.Commit()) return true;
    session.Rollback();
    if (error->isEmpty()) *error = session.error();
    return false;
}
