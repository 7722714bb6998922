#include "production/serial_field_json.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

constexpr std::uint64_t kAddressLimit = 0xFFFFFFFFu;
constexpr std::uint64_t kMacLimit = 0xFFFFFFFFFFFFull;

QString HexAddress(std::uint32_t address) {
    return "0x" + QString::number(address, 16).toUpper();
}

bool ReadEncoding(JsonReader& reader, const QJsonObject& parent, const QString& path,
                  FieldEncoding* encoding, bool required) {
    QJsonObject object;
    if (!reader.Object(parent, path, "encoding", &object, required))
        return !required && !parent.contains("encoding");
    const QString at = JsonReader::Join(path, "encoding");
    reader.CheckKeys(object, at, {"format", "width", "prefix", "suffix"});
    QString name, prefix, suffix;
    std::uint64_t width = 0;
    // Both are read whatever the first gives, so that every problem is named.
    const bool named = reader.String(object, at, "format", &name);
    const bool sized = reader.Unsigned(object, at, "width", &width, true, 4096);
    bool ok = named && sized;
    if (reader.String(object, at, "prefix", &prefix, false)) encoding->prefix = prefix.toUtf8();
    if (reader.String(object, at, "suffix", &suffix, false)) encoding->suffix = suffix.toUtf8();
    if (ok && !FormatFromName(name, &encoding->format)) {
        reader.Problem(JsonReader::Join(at, "format"),
                       "\"" + name + "\" is none of le, be, ascii-dec, ascii-hex, bytes, text");
        return false;
    }
    if (!ok) return false;
    encoding->width = int(width);
    const QString problem = EncodingProblem(*encoding);
    if (!problem.isEmpty()) reader.Problem(at, problem);
    return problem.isEmpty();
}

bool ReadNumbered(JsonReader& reader, const QJsonObject& object, const QString& path,
                  SerialField* field) {
    std::uint64_t address = 0;
    bool ok = reader.Unsigned(object, path, "address", &address, true, kAddressLimit);
    field->address = std::uint32_t(address);
    if (field->kind == FieldKind::Counter) {
        reader.CheckKeys(object, path,
                         {"name", "kind", "address", "start", "step", "last", "encoding"});
        ok &= reader.Unsigned(object, path, "start", &field->start);
        ok &= reader.Unsigned(object, path, "last", &field->last);
        reader.Unsigned(object, path, "step", &field->step, false);
        ok &= ReadEncoding(reader, object, path, &field->encoding, true);
        return ok;
    }
    reader.CheckKeys(object, path, {"name", "kind", "address", "start", "count", "encoding"});
    QString mac;
    if (reader.String(object, path, "start", &mac) && !ParseMac(mac, &field->start)) {
        reader.Problem(JsonReader::Join(path, "start"),
                       "\"" + mac + "\" is not a MAC address like 02:00:00:00:00:00");
        ok = false;
    }
    ok &= reader.Unsigned(object, path, "count", &field->count, true, kMacLimit + 1);
    field->encoding = {EncodingFormat::BigEndian, 6, {}, {}};
    ok &= ReadEncoding(reader, object, path, &field->encoding, false);
    return ok;
}

bool ReadColumns(JsonReader& reader, const QJsonObject& object, const QString& path,
                 SerialField* field) {
    reader.CheckKeys(object, path, {"name", "kind", "file", "columns"});
    bool ok = reader.String(object, path, "file", &field->csvFile);
    QJsonArray columns;
    if (!reader.Array(object, path, "columns", &columns)) return false;
    if (columns.isEmpty()) reader.Problem(JsonReader::Join(path, "columns"), "no column");
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const QString at = JsonReader::Index(JsonReader::Join(path, "columns"), i);
        if (!columns.at(i).isObject()) {
            reader.Problem(at, "expected an object");
            ok = false;
            continue;
        }
        const QJsonObject item = columns.at(i).toObject();
        reader.CheckKeys(item, at, {"column", "address", "encoding"});
        CsvColumn column;
        std::uint64_t address = 0;
        const bool named = reader.String(item, at, "column", &column.column);
        const bool placed = reader.Unsigned(item, at, "address", &address, true, kAddressLimit);
        const bool encoded = ReadEncoding(reader, item, at, &column.encoding, true);
        ok = ok && named && placed && encoded;
        column.address = std::uint32_t(address);
        field->columns.append(column);
    }
    return ok && !columns.isEmpty();
}

QJsonObject EncodingToJson(const FieldEncoding& encoding) {
    QJsonObject object{{"format", FormatName(encoding.format)}, {"width", encoding.width}};
    if (!encoding.prefix.isEmpty()) object["prefix"] = QString::fromUtf8(encoding.prefix);
    if (!encoding.suffix.isEmpty()) object["suffix"] = QString::fromUtf8(encoding.suffix);
    return object;
}

// Large values go out as strings, which a JSON reader keeps exactly.
QJsonValue Number(std::uint64_t value) {
    return value < (1ull << 53) ? QJsonValue(double(value)) : QJsonValue(QString::number(value));
}

}  // namespace

bool ReadSerialField(JsonReader& reader, const QJsonObject& object, const QString& path,
                     SerialField* field) {
    const bool named = reader.String(object, path, "name", &field->name);
    QString kind;
    if (!reader.String(object, path, "kind", &kind)) return false;
    if (!FieldKindFromName(kind, &field->kind)) {
        reader.Problem(JsonReader::Join(path, "kind"),
                       "\"" + kind + "\" is none of counter, mac, csv");
        return false;
    }
    const bool read = field->kind == FieldKind::Csv ? ReadColumns(reader, object, path, field)
                                                    : ReadNumbered(reader, object, path, field);
    return read && named;
}

QJsonObject SerialFieldToJson(const SerialField& field) {
    QJsonObject object{{"name", field.name}, {"kind", FieldKindName(field.kind)}};
    switch (field.kind) {
        case FieldKind::Counter:
            object["address"] = HexAddress(field.address);
            object["start"] = Number(field.start);
            object["step"] = Number(field.step);
            object["last"] = Number(field.last);
            object["encoding"] = EncodingToJson(field.encoding);
            break;
        case FieldKind::Mac:
            object["address"] = HexAddress(field.address);
            object["start"] = MacText(field.start);
            object["count"] = Number(field.count);
            object["encoding"] = EncodingToJson(field.encoding);
            break;
        case FieldKind::Csv: {
            QJsonArray columns;
            for (const CsvColumn& column : field.columns) {
                columns.append(QJsonObject{{"column", column.column},
                                           {"address", HexAddress(column.address)},
                                           {"encoding", EncodingToJson(column.encoding)}});
            }
            object["file"] = field.csvFile;
            object["columns"] = columns;
            break;
        }
    }
    return object;
}

bool ParseSerialField(const QByteArray& json, SerialField* field, QStringList* problems) {
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (!document.isObject()) {
        problems->append(document.isNull() ? "field: not JSON: " + error.errorString()
                                           : QString("field: expected an object"));
        return false;
    }
    const qsizetype before = problems->size();
    JsonReader reader(problems);
    return ReadSerialField(reader, document.object(), "field", field) && problems->size() == before;
}
