#pragma once

#include <QByteArray>
#include <cstdint>

// One byte as two upper-case hex digits, high nibble first.
void byteToHex(std::uint8_t value, char* out);

// The whole 4 MiB image as Intel HEX: 16-byte data records in ascending
// order, lines of sixteen 0xFF bytes left out, an extended linear address
// record before the first line of each new 64 KiB segment, CR LF after every
// record and a lone LF after the end record.
QByteArray IntelHexText(const std::uint8_t* image);
