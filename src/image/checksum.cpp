#include "image/checksum.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t length) {
    uLong crc = crc32(0L, Z_NULL, 0);
    while (length > 0) {
        const std::size_t piece = std::min<std::size_t>(length, UINT_MAX);
        crc = crc32(crc, bytes, uInt(piece));
        bytes += piece;
        length -= piece;
    }
    return std::uint32_t(crc);
}

QString Crc32Text(std::uint32_t crc) { return QString::asprintf("%08X", unsigned(crc)); }
