#pragma once

#include <QString>

// The kinds of image file a load takes and a save can write.
enum class ImageFormat { Unknown, IntelHex, SRecord, Elf, Binary };

// The format's name as the log and --json give it ("Intel HEX", "Motorola
// S-record", "ELF", "binary").
QString ImageFormatName(ImageFormat format);
