#include "image/read_back_writer.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/image_buffer.h"

namespace {

struct HexPairs {
    std::array<char, 512> text;
    HexPairs() {
        const char digits[] = "0123456789ABCDEF";
        for (int v = 0; v < 256; ++v) {
            text[std::size_t(2 * v)] = digits[v >> 4];
            text[std::size_t(2 * v + 1)] = digits[v & 15];
        }
    }
};
const HexPairs kHex;

inline char* Put(char* out, std::uint8_t value) {
    std::memcpy(out, &kHex.text[std::size_t(2 * value)], 2);
    return out + 2;
}

bool Blank(const std::uint8_t* line) {
    std::uint64_t a, b;
    std::memcpy(&a, line, 8);
    std::memcpy(&b, line + 8, 8);
    return (a & b) == ~std::uint64_t(0);
}

char* ExtendedAddress(char* out, std::uint32_t upper) {
    std::memcpy(out, ":02000004", 9);
    out += 9;
    const std::uint8_t hi = std::uint8_t(upper >> 8), lo = std::uint8_t(upper);
    out = Put(Put(out, hi), lo);
    out = Put(out, std::uint8_t(0x100 - ((0x06 + hi + lo) & 0xFF)));
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

char* DataRecord(char* out, std::uint32_t address, const std::uint8_t* line, int count = 16) {
    *out++ = ':';
    out = Put(out, std::uint8_t(count));
    const std::uint8_t hi = std::uint8_t(address >> 8), lo = std::uint8_t(address);
    out = Put(Put(out, hi), lo);
    *out++ = '0';
    *out++ = '0';
    unsigned sum = unsigned(count) + hi + lo;
    for (int i = 0; i < count; ++i) {
        out = Put(out, line[i]);
        sum += line[i];
    }
    out = Put(out, std::uint8_t(0x100 - (sum & 0xFF)));
    *out++ = '\r';
    *out++ = '\n';
    return out;
}

}  // namespace

void byteToHex(std::uint8_t value, char* out) { Put(out, value); }

bool WriteIntelHex(const std::uint8_t* image, const std::function<bool(const char*, std::size_t)>& sink) {
    constexpr std::size_t kChunk = 64 * 1024;
    constexpr std::size_t kLongestPiece = 17 + 45;  // an address record and a data record
    char buffer[kChunk];
    char* out = buffer;
    std::uint32_t upper = 0;
    for (std::uint32_t address = 0; address < ImageBuffer::kSize; address += 16) {
        const std::uint8_t* line = image + address;
        if (Blank(line)) continue;
        if (address >> 16 != upper) {
            upper = address >> 16;
            out = ExtendedAddress(out, upper);
        }
        out = DataRecord(out, address, line);
        if (std::size_t(out - buffer) > kChunk - kLongestPiece) {
            if (!sink(buffer, std::size_t(out - buffer))) return false;
            out = buffer;
        }
    }
    std::memcpy(out, ":00000001FF\n", 12);
    out += 12;
    return sink(buffer, std::size_t(out - buffer));
}

bool WriteIntelHexRange(const std::uint8_t* image, std::uint32_t from, std::uint32_t to,
                        const std::function<bool(const char*, std::size_t)>& sink) {
    constexpr std::size_t kChunk = 64 * 1024;
    constexpr std::size_t kLongestPiece = 17 + 45;
    char buffer[kChunk];
    char* out = buffer;
    std::uint32_t upper = 0;
    to = std::min(to, ImageBuffer::kSize);
    for (std::uint32_t address = from; address < to;) {
        // Records stop at 16-byte boundaries, so a range that starts or ends
        // inside a line gives a shorter first or last record.
        const std::uint32_t end = std::min(to, (address & ~15u) + 16);
        if (address >> 16 != upper) {
            upper = address >> 16;
            out = ExtendedAddress(out, upper);
        }
        out = DataRecord(out, address, image + address, int(end - address));
        address = end;
        if (std::size_t(out - buffer) > kChunk - kLongestPiece) {
            if (!sink(buffer, std::size_t(out - buffer))) return false;
            out = buffer;
        }
    }
    std::memcpy(out, ":00000001FF\n", 12);
    out += 12;
    return sink(buffer, std::size_t(out - buffer));
}

QByteArray IntelHexText(const std::uint8_t* image) {
    QByteArray text;
    text.reserve(12 << 20);
    WriteIntelHex(image, [&text](const char* piece, std::size_t length) {
        text.append(piece, qsizetype(length));
        return true;
    });
    return text;
}
