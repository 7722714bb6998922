#pragma once

#include <QLockFile>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "production/sql_session.h"
#include "production/store_location.h"
#include "production/unit_record.h"
#include "production/unit_spool.h"

// The record of a production run, shared by every station on one database:
// who ran what, every unit with its outcome, and the serial values each unit
// holds, spends or gives back. One store serves one run at a time, on the
// thread that opened it; each station process opens its own.
//
// A unit is reserved before its first request and closed after its last. A
// close that cannot reach the database waits in the local spool and is sent
// when the database is back; until then no new unit can be reserved.
class RecordStore {
  public:
    enum class ReserveStatus { Reserved, Exhausted, Unreachable, Failed };
    enum class CloseStatus { Stored, Spooled, Failed };

    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // Opens the record at location (an SQLite file, or postgresql://...),
    // creating or migrating its schema, and the spool at spoolPath (empty for
    // none). nullptr with one line saying why when the database cannot be
    // reached: then nothing may start.
    static std::unique_ptr<RecordStore> Open(const QString& location, const QString& spoolPath,
                                             QString* error);

    // Registers the station and starts a run. Units the station's earlier
    // runs left waiting in the spool are sent first; values the station still
    // held from a run that never closed them (it crashed) are marked
    // interrupted and given back, and its runs that never ended end. Refused
    // while another process on this host runs the same station on the same
    // record.
    bool StartRun(const RunInfo& run, QString* error);
    // The counter a serial field draws from, with values 0 to count - 1.
    bool DefineCounter(const QString& counter, std::uint64_t count, QString* error);
    // The next unit's number and one value from each counter, all or none.
    // Exhausted names the counter that ran out in error.
    ReserveStatus ReserveUnit(const QStringList& counters, UnitStart* unit, QString* error);
    // Writes the unit's row, spending its values on a pass and giving them
    // back otherwise; the run id is the store's own. Spooled means the row
    // waits in the spool. Failed means it reached neither: the line must
    // stop, since the unit's values would count as never spent.
    CloseStatus CloseUnit(UnitRecord record, const QList<Reservation>& reservations);
    // Ends the run: values still held by it are given back as interrupted.
    bool FinishRun(QString* error);

    // Sends the units waiting in the spool; returns how many still wait.
    int FlushSpool();
    // The counter's values neither spent nor held: those never handed out and
    // those given back; -1 when the record cannot be asked.
    std::int64_t ValuesLeft(const QString& counter);
    int spooled() const;
    // Whether the last attempt reached the database.
    bool available() const { return available_; }
    std::int64_t runId() const { return runId_; }
    std::int64_t stationId() const { return stationId_; }
    // Reservations StartRun found left over and marked interrupted.
    int interruptedAtStart() const { return interruptedAtStart_; }
    const StoreLocation& location() const { return location_; }
    SqlDialect::Kind kind() const { return session_.dialect().kind(); }
    // For reports, which only read.
    QSqlDatabase database() const { return session_.database(); }

  private:
    enum class Step { Done, Abandon, Failed };

    RecordStore(const StoreLocation& location, const QString& connection, SqlDialect dialect);
    // Runs body in a write transaction; a failure reconnects and tries once
    // more, since only a fresh connection tells a lost server from a bad
    // statement. available() says afterwards whether the server was there.
    bool Write(const std::function<Step()>& body, QString* error);
    bool Reconnect();
    bool LockStation(const QString& station, QString* error);
    bool StoreUnit(const UnitRecord& record, const QList<Reservation>& reservations,
                   QString* error);

    StoreLocation location_;
    QString connection_;
    SqlSession session_;
    UnitSpool spool_;
    std::unique_ptr<QLockFile> stationLock_;  // held from StartRun on
    std::int64_t stationId_ = 0;
    std::int64_t runId_ = 0;
    int nextUnit_ = 1;
    int interruptedAtStart_ = 0;
    bool available_ = true;
};
