#include "production/value_allocator.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSqlQuery>
#include <QVariant>

#include "production/record_rows.h"

namespace {

QString Now() {
    return RecordTime(QDateTime::currentDateTimeUtc());
}

}  // namespace

bool ValueAllocator::Define(const QString& counter, std::uint64_t count) {
    return session_.Exec(
        "INSERT INTO counters (name, next_value, limit_value) VALUES (?, 0, ?)"
        " ON CONFLICT (name) DO UPDATE SET limit_value = excluded.limit_value",
        {counter, qint64(count)});
}

bool ValueAllocator::TakeFree(const QString& counter, std::uint64_t limit, QVariant* value) {
    if (!session_.Value("SELECT MIN(value) FROM free_values WHERE counter_name = ? AND value < ?",
                        {counter, qint64(limit)}, value)) {
        return false;
    }
    return value->isNull() ||
           session_.Exec("DELETE FROM free_values WHERE counter_name = ? AND value = ?",
                         {counter, *value});
}

ValueAllocator::Take ValueAllocator::Reserve(const QString& counter, const Holder& holder,
                                             Reservation* reservation) {
    QSqlQuery row(session_.database());
    if (!session_.Exec(row, session_.dialect().lockCounter(), {counter})) return Take::Failed;
    if (!row.next()) return Take::Failed;
    const std::uint64_t next = row.value(0).toULongLong();
    const std::uint64_t limit = row.value(1).toULongLong();
    row.finish();
    QVariant value;
    if (!TakeFree(counter, limit, &value)) return Take::Failed;
    if (value.isNull()) {
        if (next >= limit) return Take::Exhausted;
        value = qint64(next);
        if (!session_.Exec("UPDATE counters SET next_value = ? WHERE name = ?",
                           {qint64(next + 1), counter}))
            return Take::Failed;
    }
    QVariant id;
    if (!session_.Value(
            "INSERT INTO reservations (counter_name, value, state, station_id, run_id, unit_number,"
            " reserved_utc) VALUES (?, ?, 'reserved', ?, ?, ?, ?) RETURNING id",
            {counter, value, qint64(holder.stationId), qint64(holder.runId), holder.unitNumber,
             Now()},
            &id)) {
        return Take::Failed;
    }
    *reservation = {id.toLongLong(), counter, value.toULongLong()};
    return Take::Taken;
}

bool ValueAllocator::Give(const QString& counter, std::uint64_t value) {
    return session_.Exec(
        "INSERT INTO free_values (counter_name, value) VALUES (?, ?) ON CONFLICT DO NOTHING",
        {counter, qint64(value)});
}

bool ValueAllocator::Close(const Reservation& reservation, bool spend) {
    QSqlQuery update(session_.database());
    if (!session_.Exec(
            update,
            "UPDATE reservations SET state = ?, closed_utc = ? WHERE id = ? AND state = 'reserved'",
            {spend ? "spent" : "returned", Now(), qint64(reservation.id)})) {
        return false;
    }
    if (spend || update.numRowsAffected() != 1) return true;
    return Give(reservation.counter, reservation.value);
}

bool ValueAllocator::InterruptHeld(std::int64_t stationId, int* interrupted) {
    return Interrupt("station_id", stationId, interrupted);
}

bool ValueAllocator::InterruptRun(std::int64_t runId, int* interrupted) {
    return Interrupt("run_id", runId, interrupted);
}

bool ValueAllocator::Interrupt(const QString& where, std::int64_t id, int* interrupted) {
    QSqlQuery held(session_.database());
    if (!session_.Exec(
            held,
            "SELECT id, counter_name, value, run_id, unit_number FROM reservations WHERE " + where +
                " = ? AND state = 'reserved' ORDER BY id",
            {qint64(id)})) {
        return false;
    }
    // The unit's row names the values it held, as a closed unit's does.
    QMap<QPair<qint64, int>, QJsonObject> units;
    QList<Reservation> reservations;
    while (held.next()) {
        reservations.append(
            {held.value(0).toLongLong(), held.value(1).toString(), held.value(2).toULongLong()});
        units[{held.value(3).toLongLong(), held.value(4).toInt()}][held.value(1).toString()] =
            held.value(2).toString();
    }
    held.finish();
    for (const Reservation& r : reservations) {
        if (!session_.Exec(
                "UPDATE reservations SET state = 'interrupted', closed_utc = ? WHERE id = ?",
                {Now(), qint64(r.id)}) ||
            !Give(r.counter, r.value)) {
            return false;
        }
    }
    for (auto it = units.begin(); it != units.end(); ++it) {
        UnitRecord unit;
        unit.runId = it.key().first;
        unit.unitNumber = it.key().second;
        unit.fields = QString::fromUtf8(QJsonDocument(it.value()).toJson(QJsonDocument::Compact));
        unit.result = UnitResult::Interrupted;
        unit.detail = "the station stopped before the unit closed";
        if (!InsertUnit(session_, unit)) return false;
    }
    *interrupted = int(reservations.size());
    return true;
}
