#include "cli/unit_log.h"

#include <unistd.h>

namespace {

QString CsvField(QString field) {
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n')) return field;
    return '"' + field.replace('"', "\"\"") + '"';
}

}  // namespace

QStringList UnitLog::Header() {
    return {"time",     "adapter",        "serial", "chip", "file", "file_crc32", "result",
            "duration_s", "first_mismatch", "unit",   "step", "detail"};
}

bool UnitLog::Open(const QString& path, const QStringList& fieldColumns) {
    if (path.isEmpty()) return true;
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) return false;
    return file_.size() > 0 || Append(Header() + fieldColumns);
}

bool UnitLog::Append(const QStringList& fields) {
    if (!file_.isOpen()) return true;
    QStringList quoted;
    for (const QString& field : fields) quoted << CsvField(field);
    const QByteArray row = (quoted.join(',') + '\n').toUtf8();
    return file_.write(row) == row.size() && file_.flush() && ::fsync(file_.handle()) == 0;
}
