#include "production/unit_record.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr UnitResult kResults[] = {UnitResult::Pass, UnitResult::Fail, UnitResult::Cancelled,
                                   UnitResult::Interrupted};

}  // namespace

QString UnitResultName(UnitResult result) {
    switch (result) {
        case UnitResult::Pass:
            return "pass";
        case UnitResult::Fail:
            return "fail";
        case UnitResult::Cancelled:
            return "cancelled";
        case UnitResult::Interrupted:
            return "interrupted";
    }
    return {};
}

bool UnitResultFromName(const QString& name, UnitResult* result) {
    for (UnitResult r : kResults) {
        if (UnitResultName(r) == name) {
            *result = r;
            return true;
        }
    }
    return false;
}

QList<std::uint64_t> UnitStart::values() const {
    QList<std::uint64_t> out;
    for (const Reservation& r : reservations) out.append(r.value);
    return out;
}

QString RecordTime(const QDateTime& time) {
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray UnitRecord::ToSpool(const QList<Reservation>& reservations) const {
    QJsonArray held;
    for (const Reservation& r : reservations) {
        held.append(QJsonObject{{"id", QString::number(r.id)},
                                {"counter", r.counter},
                                {"value", QString::number(r.value)}});
    }
    const QJsonObject object{
        {"run", QString::number(runId)},
        {"unit", unitNumber},
        {"place", place},
        {"adapter", adapterSerial},
        {"chip", chip},
        {"fields", fields},
        {"result", UnitResultName(result)},
        {"step", step},
        {"detail", detail},
        {"duration_ms", QString::number(durationMs)},
        {"job_ms", QString::number(jobMs)},
        {"readback_crc", readBackCrc},
        {"utc", RecordTime(utc)},
        {"reservations", held},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

bool UnitRecord::FromSpool(const QByteArray& text, UnitRecord* record,
                           QList<Reservation>* reservations) {
    const QJsonObject o = QJsonDocument::fromJson(text).object();
    if (o.isEmpty() || !UnitResultFromName(o["result"].toString(), &record->result)) return false;
    record->runId = o["run"].toString().toLongLong();
    record->unitNumber = o["unit"].toInt();
    record->place = o["place"].toString();
    record->adapterSerial = o["adapter"].toString();
    record->chip = o["chip"].toString();
    record->fields = o["fields"].toString();
    record->step = o["step"].toString();
    record->detail = o["detail"].toString();
    record->durationMs = o["duration_ms"].toString().toLongLong();
    record->jobMs = o["job_ms"].toString().toLongLong();
    record->readBackCrc = o["readback_crc"].toString();
    record->utc = QDateTime::fromString(o["utc"].toString(), Qt::ISODateWithMs);
    reservations->clear();
    for (const QJsonValue& v : o["reservations"].toArray()) {
        const QJsonObject r = v.toObject();
        reservations->append({r["id"].toString().toLongLong(), r["counter"].toString(),
                              r["value"].toString().toULongLong()});
    }
    return true;
}
