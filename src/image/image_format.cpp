#include "image/image_format.h"

QString ImageFormatName(ImageFormat format) {
    switch (format) {
        case ImageFormat::IntelHex: return "Intel HEX";
        case ImageFormat::SRecord: return "Motorola S-record";
        case ImageFormat::Elf: return "ELF";
        case ImageFormat::Binary: return "binary";
        case ImageFormat::Unknown: break;
    }
    return "unknown";
}
