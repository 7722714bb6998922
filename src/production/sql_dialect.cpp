#include "production/sql_dialect.h"

namespace {

// How long a station waits for another's write transaction on an SQLite file.
constexpr int kSqliteBusyMs = 30000;
constexpr int kPostgresConnectSeconds = 5;
// A server that goes away without closing the connection (a cable pulled, its
// host down) would leave a statement waiting for as long as the kernel keeps
// resending, the station frozen meanwhile: the keepalives find a silent
// server, and the user time-out unanswered data, within about half a minute;
// the unit's row then goes to the spool. A Unix socket ignores both.
constexpr char kPostgresLiveness[] =
    "keepalives=1;keepalives_idle=10;keepalives_interval=5;keepalives_count=3;tcp_user_timeout=20000";
// An arbitrary key for the advisory lock that guards the schema.
constexpr int kSchemaLockKey = 0x42524C58;

}  // namespace

QString SqlDialect::driverName() const {
    return kind_ == Kind::Sqlite ? "QSQLITE" : "QPSQL";
}

QString SqlDialect::driverPackage() const {
    return kind_ == Kind::Sqlite ? "libqt6sql6-sqlite" : "libqt6sql6-psql";
}

QString SqlDialect::connectOptions() const {
    if (kind_ == Kind::Sqlite) return QString("QSQLITE_BUSY_TIMEOUT=%1").arg(kSqliteBusyMs);
    return QString("connect_timeout=%1;%2").arg(kPostgresConnectSeconds).arg(kPostgresLiveness);
}

QString SqlDialect::sessionSetup() const {
    // PostgreSQL sends a notice for every table CREATE ... IF NOT EXISTS finds,
    // which Qt's driver turns into a console warning.
    return kind_ == Kind::Sqlite ? QString() : QString("SET client_min_messages TO WARNING");
}

QString SqlDialect::idColumn() const {
    return kind_ == Kind::Sqlite ? "INTEGER PRIMARY KEY AUTOINCREMENT" : "BIGSERIAL PRIMARY KEY";
}

QString SqlDialect::beginWrite() const {
    return kind_ == Kind::Sqlite ? "BEGIN IMMEDIATE" : "BEGIN";
}

QString SqlDialect::lockCounter() const {
    const QString select = "SELECT next_value, limit_value FROM counters WHERE name = ?";
    return kind_ == Kind::Sqlite ? select : select + " FOR UPDATE";
}

QString SqlDialect::lockSchema() const {
    return kind_ == Kind::Sqlite ? QString()
                                 : QString("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLockKey);
}
