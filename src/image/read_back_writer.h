#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "image/image_format.h"

// One byte as two upper-case hex digits, high nibble first.
void byteToHex(std::uint8_t value, char* out);

// The whole 4 MiB image as Intel HEX: 16-byte data records in ascending
// order, lines of sixteen 0xFF bytes left out, an extended linear address
// record before the first line of each new 64 KiB segment, CR LF after every
// record and a lone LF after the end record.
QByteArray IntelHexText(const std::uint8_t* image);

// The same text, handed out in pieces of at most 64 KiB as it is made, so a
// save never holds the whole text at once. Stops when sink returns false.
bool WriteIntelHex(const std::uint8_t* image, const std::function<bool(const char*, std::size_t)>& sink);

// Bytes [from, to) of the image, every one of them, as Intel HEX records of
// at most 16 bytes at their own addresses: what a read of that range gave.
bool WriteIntelHexRange(const std::uint8_t* image, std::uint32_t from, std::uint32_t to,
                        const std::function<bool(const char*, std::size_t)>& sink);

// The format a save writes for a name: binary for a .bin, Motorola S-record
// for the S-record endings the loader takes, Intel HEX for any other.
ImageFormat SavedFormat(const QString& path);

using TextSink = std::function<bool(const char*, std::size_t)>;

// Writes a file aside and renames it into place once it is whole, so that a
// failed save leaves the old file: write gets the format the name asks for
// and where to put the bytes. On failure *error says why.
bool SaveImageFile(const QString& path, const std::function<bool(ImageFormat, const TextSink&)>& write,
                   QString* error);

// The addresses one read covered, both ends inclusive.
struct ReadBackRange {
    std::uint32_t start = 0;
    std::uint32_t end = 0;
};

// What a read gave, written aside and renamed into place. A name ending in
// ".bin" (any letter case) gets the bytes from address 0 to the range's end,
// those before the range as 0xFF, so that the file loads back with every
// byte at its address and programs nothing where nothing was read; a name
// ending in ".srec", ".s19", ".s28" or ".s37" gets Motorola S-record of
// exactly the range; any other name gets Intel HEX of exactly the range. On failure *error says why.
bool SaveReadRange(const QString& path, const std::uint8_t* image, ReadBackRange range, QString* error);
