#include "production/field_encoding.h"

#include <array>

namespace {

struct FormatNameRow {
    EncodingFormat format;
    const char* name;
};

constexpr std::array<FormatNameRow, 6> kFormatNames = {{
    {EncodingFormat::LittleEndian, "le"},
    {EncodingFormat::BigEndian, "be"},
    {EncodingFormat::AsciiDecimal, "ascii-dec"},
    {EncodingFormat::AsciiHex, "ascii-hex"},
    {EncodingFormat::Bytes, "bytes"},
    {EncodingFormat::Text, "text"},
}};

bool IsAscii(const QByteArray& bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) > 0x7E || static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    return true;
}

bool IsAsciiFormat(EncodingFormat format) {
    return format == EncodingFormat::AsciiDecimal || format == EncodingFormat::AsciiHex;
}

QByteArray Binary(std::uint64_t value, int width, bool bigEndian) {
    QByteArray out(width, '\0');
    for (int i = 0; i < width; ++i) {
        const int at = bigEndian ? width - 1 - i : i;
        out[at] = char((value >> (8 * i)) & 0xFF);
    }
    return out;
}

bool Text(const QString& cell, const FieldEncoding& encoding, QByteArray* out, QString* error) {
    const QByteArray bytes = cell.toUtf8();
    if (bytes.size() > encoding.width) {
        *error = QString("\"%1\" is longer than %2 bytes").arg(cell).arg(encoding.width);
        return false;
    }
    *out = bytes + QByteArray(encoding.width - bytes.size(), '\0');
    return true;
}

bool HexBytes(const QString& cell, const FieldEncoding& encoding, QByteArray* out, QString* error) {
    QString digits = cell;
    digits.remove(' ').remove(':').remove('-');
    const QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
    const bool allHex = digits.size() % 2 == 0 &&
                        bytes.toHex().compare(digits.toLatin1(), Qt::CaseInsensitive) == 0;
    if (!allHex || bytes.size() != encoding.width) {
        *error = QString("\"%1\" is not %2 bytes in hex").arg(cell).arg(encoding.width);
        return false;
    }
    *out = bytes;
    return true;
}

}  // namespace

int FieldEncoding::length() const {
    return IsAsciiFormat(format) ? int(prefix.size()) + width + int(suffix.size()) : width;
}

QString FormatName(EncodingFormat format) {
    for (const FormatNameRow& row : kFormatNames) {
        if (row.format == format) return row.name;
    }
    return {};
}

bool FormatFromName(const QString& name, EncodingFormat* format) {
    for (const FormatNameRow& row : kFormatNames) {
        if (name == row.name) {
            *format = row.format;
            return true;
        }
    }
    return false;
}

QString EncodingProblem(const FieldEncoding& encoding) {
    const bool binary = encoding.format == EncodingFormat::LittleEndian ||
                        encoding.format == EncodingFormat::BigEndian;
    if (binary && (encoding.width < 1 || encoding.width > 8)) return "width must be 1 to 8 bytes";
    if (IsAsciiFormat(encoding.format) && (encoding.width < 1 || encoding.width > 20))
        return "width must be 1 to 20 digits";
    if (encoding.width < 1 || encoding.width > 4096) return "width must be 1 to 4096 bytes";
    if (!IsAsciiFormat(encoding.format) &&
        !(encoding.prefix.isEmpty() && encoding.suffix.isEmpty()))
        return "prefix and suffix go only with ascii-dec and ascii-hex";
    if (!IsAscii(encoding.prefix) || !IsAscii(encoding.suffix))
        return "prefix and suffix must be printable ASCII";
    return {};
}

bool EncodeNumber(std::uint64_t value, const FieldEncoding& encoding, QByteArray* out,
                  QString* error) {
    const int width = encoding.width;
    switch (encoding.format) {
        case EncodingFormat::LittleEndian:
        case EncodingFormat::BigEndian:
            if (width < 8 && (value >> (8 * width)) != 0) {
                *error = QString("%1 does not fit in %2 byte(s)").arg(value).arg(width);
                return false;
            }
            *out = Binary(value, width, encoding.format == EncodingFormat::BigEndian);
            return true;
        case EncodingFormat::AsciiDecimal:
        case EncodingFormat::AsciiHex: {
            const int base = encoding.format == EncodingFormat::AsciiHex ? 16 : 10;
            const QByteArray digits = QByteArray::number(qulonglong(value), base).toUpper();
            if (digits.size() > width) {
                *error = QString("%1 does not fit in %2 digit(s)")
                             .arg(QString::fromLatin1(digits))
                             .arg(width);
                return false;
            }
            *out =
                encoding.prefix + QByteArray(width - digits.size(), '0') + digits + encoding.suffix;
            return true;
        }
        case EncodingFormat::Bytes:
        case EncodingFormat::Text:
            break;
    }
    *error = FormatName(encoding.format) + " takes a CSV cell, not a number";
    return false;
}

bool EncodeCell(const QString& cell, const FieldEncoding& encoding, QByteArray* out,
                QString* error) {
    if (encoding.format == EncodingFormat::Text) return Text(cell, encoding, out, error);
    if (encoding.format == EncodingFormat::Bytes) return HexBytes(cell, encoding, out, error);
    std::uint64_t value = 0;
    if (!ParseUnsigned(cell.trimmed(), &value)) {
        *error = QString("\"%1\" is not a number").arg(cell);
        return false;
    }
    return EncodeNumber(value, encoding, out, error);
}

bool ParseUnsigned(const QString& text, std::uint64_t* value) {
    bool ok = false;
    const bool hex = text.startsWith("0x", Qt::CaseInsensitive);
    const QString digits = hex ? text.mid(2) : text;
    // toULongLong takes a sign and blanks; a count or an address has neither.
    for (QChar c : digits) {
        if (!(hex ? c.isLetterOrNumber() : c.isDigit())) return false;
    }
    *value = digits.toULongLong(&ok, hex ? 16 : 10);
    return ok && !digits.isEmpty();
}
