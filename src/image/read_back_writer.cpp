#include "image/read_back_writer.h"

#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cstring>

#include "image/image_buffer.h"
#include "image/srecord_writer.h"

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

namespace {

using Sink = std::function<bool(const char*, std::size_t)>;

// Records into a buffer handed to the sink in pieces of at most 64 KiB, with
// an extended linear address record before the first record of each new
// 64 KiB segment.
class RecordStream {
public:
    explicit RecordStream(const Sink& sink) : sink_(sink) {}

    bool Data(std::uint32_t address, const std::uint8_t* bytes, int count) {
        if (address >> 16 != upper_) {
            upper_ = address >> 16;
            out_ = ExtendedAddress(out_, upper_);
        }
        out_ = DataRecord(out_, address, bytes, count);
        return std::size_t(out_ - buffer_) <= kChunk - kLongestPiece || Flush();
    }
    bool End() {
        std::memcpy(out_, ":00000001FF\n", 12);
        out_ += 12;
        return Flush();
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr std::size_t kLongestPiece = 17 + 45;  // an address record and a data record

    bool Flush() {
        const bool taken = sink_(buffer_, std::size_t(out_ - buffer_));
        out_ = buffer_;
        return taken;
    }

    const Sink& sink_;
    char buffer_[kChunk];
    char* out_ = buffer_;
    std::uint32_t upper_ = 0;
};

}  // namespace

bool WriteIntelHex(const std::uint8_t* image, const Sink& sink) {
    RecordStream records(sink);
    for (std::uint32_t address = 0; address < ImageBuffer::kSize; address += 16) {
        const std::uint8_t* line = image + address;
        if (!Blank(line) && !records.Data(address, line, 16)) return false;
    }
    return records.End();
}

bool WriteIntelHexRange(const std::uint8_t* image, std::uint32_t from, std::uint32_t to, const Sink& sink) {
    RecordStream records(sink);
    to = std::min(to, ImageBuffer::kSize);
    for (std::uint32_t address = from; address < to;) {
        // Records stop at 16-byte boundaries, so a range that starts or ends
        // inside a line gives a shorter first or last record.
        const std::uint32_t end = std::min(to, (address & ~15u) + 16);
        if (!records.Data(address, image + address, int(end - address))) return false;
        address = end;
    }
    return records.End();
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

ImageFormat SavedFormat(const QString& path) {
    const ImageFormat named = FormatOfName(path);
    return named == ImageFormat::Binary || named == ImageFormat::SRecord ? named : ImageFormat::IntelHex;
}

bool SaveImageFile(const QString& path, const std::function<bool(ImageFormat, const TextSink&)>& write,
                   QString* error) {
    QSaveFile file(path);
    const TextSink put = [&file](const char* piece, std::size_t length) {
        return file.write(piece, qint64(length)) == qint64(length);
    };
    const bool saved = file.open(QIODevice::WriteOnly) && write(SavedFormat(path), put) && file.commit();
    if (!saved && error) *error = file.errorString();
    return saved;
}

bool SaveReadRange(const QString& path, const std::uint8_t* image, ReadBackRange range, QString* error) {
    const std::uint32_t to = std::min(range.end, ImageBuffer::kSize - 1) + 1;
    const std::uint32_t from = std::min(range.start, to);
    return SaveImageFile(
        path,
        [&](ImageFormat format, const TextSink& put) {
            switch (format) {
                case ImageFormat::Binary: {
                    const QByteArray unread(qsizetype(from), char(0xFF));
                    return put(unread.constData(), std::size_t(unread.size())) &&
                           put(reinterpret_cast<const char*>(image + from), to - from);
                }
                case ImageFormat::SRecord: return WriteSRecordRange(image, from, to, path, put);
                default: return WriteIntelHexRange(image, from, to, put);
            }
        },
        error);
}
