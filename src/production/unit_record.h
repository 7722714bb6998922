#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <cstdint>

// How a unit ended. Interrupted is the record's own word for a unit whose
// station stopped (crashed, was killed) before it could close it.
enum class UnitResult { Pass, Fail, Cancelled, Interrupted };

QString UnitResultName(UnitResult result);  // "pass", "fail", "cancelled", "interrupted"
bool UnitResultFromName(const QString& name, UnitResult* result);

// A value a unit holds from one counter until it passes (spent) or not (given back).
struct Reservation {
    std::int64_t id = 0;
    QString counter;
    std::uint64_t value = 0;
};

// What a unit starts with: its number in the run and one value per counter asked for.
struct UnitStart {
    int unitNumber = 0;
    QList<Reservation> reservations;

    QList<std::uint64_t> values() const;
};

// Who runs, and what.
struct RunInfo {
    QString station;  // the caller defaults it to the host name
    QString operatorName;
    QString recipeName;
    QString recipeVersion;
    QString imageCrc;  // "89ABCDEF"
    QString programVersion;
    // The machine the run is on; empty means this one.
    QString host{};
};

// One unit's row, written when it closes.
struct UnitRecord {
    std::int64_t runId = 0;
    int unitNumber = 0;
    QString place;
    QString adapterSerial;
    QString chip;
    QString fields;  // the values written, as JSON: {"serial": "SN00042"}
    UnitResult result = UnitResult::Fail;
    QString step;  // where a failure happened; empty on a pass
    QString detail;
    std::int64_t durationMs = 0;  // from the unit's start to its close
    std::int64_t jobMs = 0;       // the programming job alone
    QString readBackCrc;
    QDateTime utc;  // when it closed

    // The form a unit waits in, in the spool, with the values it held.
    QByteArray ToSpool(const QList<Reservation>& reservations) const;
    static bool FromSpool(const QByteArray& text, UnitRecord* record,
                          QList<Reservation>* reservations);
};

// A time as the record keeps it: UTC, ISO 8601 with milliseconds.
QString RecordTime(const QDateTime& time);
