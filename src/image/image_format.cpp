#include "image/image_format.h"

#include <cstring>

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

ImageFormat FormatOfName(const QString& path) {
    struct Ending {
        const char* text;
        ImageFormat format;
    };
    static const Ending kEndings[] = {
        {".hex", ImageFormat::IntelHex}, {".ldr", ImageFormat::IntelHex}, {".bin", ImageFormat::Binary},
        {".srec", ImageFormat::SRecord}, {".s19", ImageFormat::SRecord},  {".s28", ImageFormat::SRecord},
        {".s37", ImageFormat::SRecord},  {".mot", ImageFormat::SRecord},  {".elf", ImageFormat::Elf},
        {".axf", ImageFormat::Elf},      {".out", ImageFormat::Elf},
    };
    for (const Ending& e : kEndings)
        if (path.endsWith(QLatin1String(e.text), Qt::CaseInsensitive)) return e.format;
    return ImageFormat::Unknown;
}

ImageFormat FormatOfContent(const std::uint8_t* bytes, std::size_t length) {
    if (length >= 4 && std::memcmp(bytes, "\x7F" "ELF", 4) == 0) return ImageFormat::Elf;
    std::size_t i = 0;
    // A blank, or a tab, line feed, vertical tab, form feed or carriage return.
    while (i < length && (bytes[i] == ' ' || (bytes[i] >= '\t' && bytes[i] <= '\r'))) ++i;
    if (i < length && bytes[i] == ':') return ImageFormat::IntelHex;
    if (i + 1 < length && bytes[i] == 'S' && bytes[i + 1] >= '0' && bytes[i + 1] <= '9')
        return ImageFormat::SRecord;
    return ImageFormat::Unknown;
}
