#include "production/record_store.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

#include "production/record_rows.h"
#include "production/store_schema.h"
#include "production/value_allocator.h"

namespace {

bool Setup(QSqlDatabase& db, const SqlDialect& dialect) {
    QSqlQuery query(db);
    return dialect.sessionSetup().isEmpty() || query.exec(dialect.sessionSetup());
}

bool Connect(QSqlDatabase& db, const StoreLocation& location, const SqlDialect& dialect) {
    if (location.postgres) {
        db.setDatabaseName(location.database);
        db.setUserName(location.user);
        db.setPassword(location.password);
        db.setHostName(location.host);
        db.setPort(location.port);
    } else {
        db.setDatabaseName(location.file);
    }
    db.setConnectOptions(dialect.connectOptions());
    return db.open() && Setup(db, dialect);
}

}  // namespace

RecordStore::RecordStore(const StoreLocation& location, const QString& connection,
                         SqlDialect dialect)
    : location_(location), connection_(connection), session_(connection, dialect) {}

RecordStore::~RecordStore() {
    session_.database().close();
    QSqlDatabase::removeDatabase(connection_);
}

std::unique_ptr<RecordStore> RecordStore::Open(const QString& text, const QString& spoolPath,
                                               QString* error) {
    StoreLocation location;
    if (!StoreLocation::Parse(text, &location, error)) return nullptr;
    const SqlDialect dialect(location.postgres ? SqlDialect::Kind::Postgres
                                               : SqlDialect::Kind::Sqlite);
    if (!QSqlDatabase::isDriverAvailable(dialect.driverName())) {
        *error = QString("%1: Qt's %2 driver is missing (install %3)")
                     .arg(location.Describe(), dialect.driverName(), dialect.driverPackage());
        return nullptr;
    }
    const QString connection =
        "brellix-record-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(dialect.driverName(), connection);
        if (!Connect(db, location, dialect)) {
            *error = location.Describe() +
                     ": cannot open the record: " + db.lastError().text().simplified();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            return nullptr;
        }
    }
    std::unique_ptr<RecordStore> store(new RecordStore(location, connection, dialect));
    QString reason;
    if (!MigrateStoreSchema(store->session_, &reason) ||
        (!spoolPath.isEmpty() && !store->spool_.Open(spoolPath, &reason))) {
        *error = location.Describe() + ": " + reason;
        return nullptr;
    }
    return store;
}

bool RecordStore::Reconnect() {
    QSqlDatabase db = session_.database();
    db.close();
    if (db.open() && Setup(db, session_.dialect())) return true;
    session_.SetError(db.lastError().text().simplified());
    return false;
}

bool RecordStore::Write(const std::function<Step()>& body, QString* error) {
    // A connection that a failed reconnect left closed is opened before anything is sent on it.
    bool open = session_.database().isOpen() || Reconnect();
    for (int attempt = 0; open && attempt < 2; ++attempt) {
        if (session_.BeginWrite()) {
            const Step step = body();
            if (step == Step::Done && session_.Commit()) {
                available_ = true;
                return true;
            }
            session_.Rollback();
            if (step == Step::Abandon) {
                available_ = true;
                return false;
            }
        }
        open = Reconnect();
    }
    available_ = open;
    if (error) *error = location_.Describe() + ": " + session_.error();
    return false;
}

// A run takes whatever its station still holds for interrupted; a second
// process running as the same station would so take the first one's units
// under way, give their values back and program them into other units. A
// station's name is the host's by default, so the lock is the host's: one
// file per station and record in the temporary folder, which a crashed
// process's lock does not outlive.
bool RecordStore::LockStation(const QString& station, QString* error) {
    const QFileInfo file(location_.file);
    const QString record = location_.postgres                         ? location_.Describe()
                           : file.canonicalFilePath().isEmpty() ? file.absoluteFilePath()
                                                                : file.canonicalFilePath();
    const QByteArray key =
        QCryptographicHash::hash((record + '\n' + station).toUtf8(), QCryptographicHash::Sha1).toHex();
    auto lock = std::make_unique<QLockFile>(QDir::temp().filePath("brellix-station-" + key + ".lock"));
    // Never stale by age: a station may run for days.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0) && lock->error() != QLockFile::LockFailedError) {
        *error = "cannot write the station's lock " + lock->fileName();
        return false;
    }
    if (!lock->isLocked()) {
        qint64 pid = 0;
        lock->getLockInfo(&pid, nullptr, nullptr);
        *error = QString("%1: station %2 already runs on this host (process %3); each run at a time needs a "
                         "station name of its own")
                     .arg(location_.Describe(), station)
                     .arg(pid);
        return false;
    }
    stationLock_ = std::move(lock);
    return true;
}

bool RecordStore::StartRun(const RunInfo& given, QString* error) {
    RunInfo run = given;
    if (run.host.isEmpty()) run.host = QSysInfo::machineHostName();
    if (!stationLock_ && !LockStation(run.station, error)) return false;
    // A unit still in the spool holds values the interruption below would
    // otherwise give back although the unit may have passed.
    if (FlushSpool() > 0) {
        *error = QString("%1: %2 unit(s) wait in the spool and cannot be sent: %3")
                     .arg(location_.Describe())
                     .arg(spooled())
                     .arg(session_.error());
        return false;
    }
    ValueAllocator values(session_);
    nextUnit_ = 1;
    // The lock above keeps one run of the station on this machine. A run of
    // the same name on another machine may be under way, not crashed: its
    // values are left alone, and this station does not start.
    QString elsewhere;
    const bool written = Write(
        [&] {
            if (!RegisterStation(session_, run.station, &stationId_) ||
                !OpenRunElsewhere(session_, stationId_, run.host, &elsewhere))
                return Step::Failed;
            if (!elsewhere.isEmpty()) return Step::Abandon;
            const bool ok = values.InterruptHeld(stationId_, &interruptedAtStart_) &&
                            EndStationRuns(session_, stationId_) && InsertRun(session_, stationId_, run, &runId_);
            return ok ? Step::Done : Step::Failed;
        },
        error);
    if (!elsewhere.isEmpty()) {
        stationLock_.reset();
        *error = QString("%1: station %2 has a run under way on %3; a station on another machine needs a "
                         "name of its own")
                     .arg(location_.Describe(), run.station, elsewhere);
    }
    return written;
}

bool RecordStore::DefineCounter(const QString& counter, std::uint64_t count, QString* error) {
    ValueAllocator values(session_);
    return Write([&] { return values.Define(counter, count) ? Step::Done : Step::Failed; }, error);
}

RecordStore::ReserveStatus RecordStore::ReserveUnit(const QStringList& counters, UnitStart* unit,
                                                    QString* error) {
    if (runId_ == 0) {
        *error = location_.Describe() + ": no run started";
        return ReserveStatus::Failed;
    }
    if (spooled() > 0 && FlushSpool() > 0) {
        *error = location_.Describe() + ": units wait in the spool: " + session_.error();
        return ReserveStatus::Unreachable;
    }
    ValueAllocator values(session_);
    const ValueAllocator::Holder holder{stationId_, runId_, nextUnit_};
    QList<Reservation> taken;
    QString exhausted;
    const bool ok = Write(
        [&] {
            taken.clear();
            for (const QString& counter : counters) {
                Reservation reservation;
                const ValueAllocator::Take take = values.Reserve(counter, holder, &reservation);
                if (take == ValueAllocator::Take::Failed) return Step::Failed;
                if (take == ValueAllocator::Take::Exhausted) exhausted = counter;
                if (take == ValueAllocator::Take::Exhausted) return Step::Abandon;
                taken.append(reservation);
            }
            return Step::Done;
        },
        error);
    if (!exhausted.isEmpty()) *error = exhausted;
    if (!ok)
        return !exhausted.isEmpty() ? ReserveStatus::Exhausted
               : available_         ? ReserveStatus::Failed
                                    : ReserveStatus::Unreachable;
    *unit = {nextUnit_++, taken};
    return ReserveStatus::Reserved;
}

bool RecordStore::StoreUnit(const UnitRecord& record, const QList<Reservation>& reservations,
                            QString* error) {
    ValueAllocator values(session_);
    const bool spend = record.result == UnitResult::Pass;
    return Write(
        [&] {
            if (!InsertUnit(session_, record)) return Step::Failed;
            for (const Reservation& reservation : reservations) {
                if (!values.Close(reservation, spend)) return Step::Failed;
            }
            return Step::Done;
        },
        error);
}

RecordStore::CloseStatus RecordStore::CloseUnit(UnitRecord record,
                                                const QList<Reservation>& reservations) {
    record.runId = runId_;
    if (!record.utc.isValid()) record.utc = QDateTime::currentDateTimeUtc();
    if (StoreUnit(record, reservations, nullptr)) return CloseStatus::Stored;
    if (spool_.isOpen() && spool_.Add(location_.Describe(), record.ToSpool(reservations)))
        return CloseStatus::Spooled;
    return CloseStatus::Failed;
}

int RecordStore::FlushSpool() {
    const QList<UnitSpool::Entry> entries = spool_.Pending(location_.Describe());
    int left = int(entries.size());
    for (const UnitSpool::Entry& entry : entries) {
        UnitRecord record;
        QList<Reservation> reservations;
        // An entry that does not read back is kept for a person to look at, not sent.
        if (!UnitRecord::FromSpool(entry.record, &record, &reservations)) continue;
        if (!StoreUnit(record, reservations, nullptr)) break;
        spool_.Remove(entry.id);
        --left;
    }
    return left;
}

int RecordStore::spooled() const {
    return spool_.Count(location_.Describe());
}

bool RecordStore::FinishRun(QString* error) {
    if (FlushSpool() > 0) {
        *error = QString("%1: %2 unit(s) wait in the spool; the station's next run sends them")
                     .arg(location_.Describe())
                     .arg(spooled());
        return false;
    }
    ValueAllocator values(session_);
    int interrupted = 0;
    return Write(
        [&] {
            return values.InterruptRun(runId_, &interrupted) && EndRun(session_, runId_)
                       ? Step::Done
                       : Step::Failed;
        },
        error);
}

std::int64_t RecordStore::ValuesLeft(const QString& counter) {
    if (!available_ || !session_.database().isOpen()) return -1;
    QVariant left;
    const QString sql =
        "SELECT c.limit_value - c.next_value + (SELECT COUNT(*) FROM free_values f WHERE f.counter_name = c.name)"
        " FROM counters c WHERE c.name = ?";
    if (!session_.Value(sql, {counter}, &left) || !left.isValid()) return -1;
    return left.toLongLong();
}
