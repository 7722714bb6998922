#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The kinds of image file a load takes and a save can write.
enum class ImageFormat { Unknown, IntelHex, SRecord, Elf, Binary };

// The format's name as the log and --json give it ("Intel HEX", "Motorola
// S-record", "ELF", "binary").
QString ImageFormatName(ImageFormat format);

// The format a file's name promises, from its ending, letter case ignored:
// .hex and .ldr Intel HEX; .srec, .s19, .s28, .s37 and .mot Motorola
// S-record; .elf, .axf and .out ELF; .bin binary; anything else Unknown.
ImageFormat FormatOfName(const QString& path);

// The format the bytes plainly hold, or Unknown when they hold none of them
// for certain: the ELF magic number at the start, or, after any leading
// white space, a ':' (Intel HEX) or an 'S' and a digit (S-record). Any bytes
// at all are a binary image, so binary is never the answer.
ImageFormat FormatOfContent(const std::uint8_t* bytes, std::size_t length);
