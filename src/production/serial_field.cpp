#include "production/serial_field.h"

#include <QRegularExpression>

namespace {

constexpr std::uint64_t kMacMask = 0xFFFFFFFFFFFFull;

}  // namespace

std::uint64_t SerialField::valueCount() const {
    switch (kind) {
        case FieldKind::Counter:
            return last < start || step == 0 ? 0 : (last - start) / step + 1;
        case FieldKind::Mac:
            return count;
        case FieldKind::Csv:
            return table ? std::uint64_t(table->rows.size()) : 0;
    }
    return 0;
}

bool SerialField::AppendPatches(std::uint64_t index, PatchList* patches, QString* error) const {
    if (index >= valueCount()) {
        *error =
            QString("%1: value %2 is past the last of %3").arg(name).arg(index).arg(valueCount());
        return false;
    }
    QByteArray bytes;
    if (kind != FieldKind::Csv) {
        const std::uint64_t value =
            kind == FieldKind::Counter ? start + index * step : start + index;
        if (!EncodeNumber(value, encoding, &bytes, error)) return false;
        patches->push_back({address, bytes});
        return true;
    }
    const QStringList& row = table->rows.at(qsizetype(index));
    for (const CsvColumn& column : columns) {
        const int at = table->column(column.column);
        if (at < 0 || !EncodeCell(row.at(at), column.encoding, &bytes, error)) {
            if (at < 0) *error = QString("%1: no column %2").arg(name, column.column);
            return false;
        }
        patches->push_back({column.address, bytes});
    }
    return true;
}

QString SerialField::ValueText(std::uint64_t index) const {
    if (index >= valueCount()) return {};
    switch (kind) {
        case FieldKind::Counter: {
            QByteArray bytes;
            QString error;
            const std::uint64_t value = start + index * step;
            const bool ascii = encoding.format == EncodingFormat::AsciiDecimal ||
                               encoding.format == EncodingFormat::AsciiHex;
            if (ascii && EncodeNumber(value, encoding, &bytes, &error))
                return QString::fromLatin1(bytes);
            return QString::number(value);
        }
        case FieldKind::Mac:
            return MacText(start + index);
        case FieldKind::Csv: {
            QStringList cells;
            const QStringList& row = table->rows.at(qsizetype(index));
            for (const CsvColumn& column : columns)
                cells << row.value(table->column(column.column));
            return cells.join(' ');
        }
    }
    return {};
}

QString FieldKindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::Counter:
            return "counter";
        case FieldKind::Mac:
            return "mac";
        case FieldKind::Csv:
            return "csv";
    }
    return {};
}

bool FieldKindFromName(const QString& name, FieldKind* kind) {
    for (FieldKind k : {FieldKind::Counter, FieldKind::Mac, FieldKind::Csv}) {
        if (FieldKindName(k) == name) {
            *kind = k;
            return true;
        }
    }
    return false;
}

QString MacText(std::uint64_t mac) {
    QStringList pairs;
    for (int shift = 40; shift >= 0; shift -= 8) {
        pairs << QString("%1").arg((mac >> shift) & 0xFF, 2, 16, QChar('0')).toUpper();
    }
    return pairs.join(':');
}

bool ParseMac(const QString& text, std::uint64_t* mac) {
    static const QRegularExpression pattern("^([0-9A-Fa-f]{2})([:-][0-9A-Fa-f]{2}){5}$");
    if (!pattern.match(text).hasMatch()) return false;
    QString digits = text;
    digits.remove(':').remove('-');
    *mac = digits.toULongLong(nullptr, 16) & kMacMask;
    return true;
}

bool BuildUnitPatches(const QList<SerialField>& fields, const QList<std::uint64_t>& indices,
                      PatchList* patches, QString* error) {
    patches->clear();
    if (indices.size() != fields.size()) {
        *error = QString("%1 values for %2 fields").arg(indices.size()).arg(fields.size());
        return false;
    }
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (!fields[i].AppendPatches(indices[i], patches, error)) return false;
    }
    return true;
}
