#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// How a value becomes the bytes written into a unit's image.
enum class EncodingFormat {
    LittleEndian,  // width bytes, lowest first
    BigEndian,     // width bytes, highest first
    AsciiDecimal,  // width decimal digits, zero-padded, between prefix and suffix
    AsciiHex,      // width upper-case hex digits, zero-padded, between prefix and suffix
    Bytes,         // a CSV cell of hex digits giving exactly width bytes
    Text,          // a CSV cell's text, at most width bytes, padded with zero bytes
};

struct FieldEncoding {
    EncodingFormat format = EncodingFormat::LittleEndian;
    int width = 4;
    QByteArray prefix;
    QByteArray suffix;

    // How many bytes the field takes in the image.
    int length() const;
    bool isNumeric() const {
        return format != EncodingFormat::Bytes && format != EncodingFormat::Text;
    }
};

// The recipe's names for the formats: "le", "be", "ascii-dec", "ascii-hex",
// "bytes", "text". FormatFromName returns false for any other name.
QString FormatName(EncodingFormat format);
bool FormatFromName(const QString& name, EncodingFormat* format);

// Why this encoding cannot be used (width out of range, a non-ASCII prefix),
// or empty when it can.
QString EncodingProblem(const FieldEncoding& encoding);

// A number as the encoding writes it; false with the reason when it does not
// fit the width.
bool EncodeNumber(std::uint64_t value, const FieldEncoding& encoding, QByteArray* out,
                  QString* error);

// A CSV cell as the encoding writes it: numeric formats take a decimal or
// 0x-hex number, Bytes takes hex digits, Text the cell's own characters.
bool EncodeCell(const QString& cell, const FieldEncoding& encoding, QByteArray* out,
                QString* error);

// A non-negative integer written in decimal or with a 0x prefix in hex.
bool ParseUnsigned(const QString& text, std::uint64_t* value);
