#include "image/srecord_writer.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "image/image_buffer.h"
#include "image/read_back_writer.h"

namespace {

using Sink = std::function<bool(const char*, std::size_t)>;

constexpr std::uint32_t kLine = 32;
// Enough of a long name to tell the file by; loaders keep lines short.
constexpr int kHeaderBytes = 64;

// Records into a buffer handed to the sink in pieces of at most 64 KiB.
class SRecordStream {
public:
    SRecordStream(const Sink& sink, std::uint32_t lastAddress) : sink_(sink) {
        addressBytes_ = lastAddress <= 0xFFFF ? 2 : lastAddress <= 0xFFFFFF ? 3 : 4;
    }

    bool Header(const QString& fileName) {
        const QByteArray name = QFileInfo(fileName).fileName().toUtf8().left(kHeaderBytes);
        Record('0', 2, 0, reinterpret_cast<const std::uint8_t*>(name.constData()), int(name.size()));
        return Room();
    }
    bool Data(std::uint32_t address, const std::uint8_t* bytes, int count) {
        Record(char('1' + addressBytes_ - 2), addressBytes_, address, bytes, count);
        ++records_;
        return Room();
    }
    // The count of data records, then the start address 0.
    bool End() {
        if (records_ <= 0xFFFF) Record('5', 2, records_, nullptr, 0);
        else Record('6', 3, records_, nullptr, 0);
        Record(char('9' - addressBytes_ + 2), addressBytes_, 0, nullptr, 0);
        return Flush();
    }

private:
    static constexpr std::size_t kChunk = 64 * 1024;
    static constexpr std::size_t kLongestRecord = 4 + 2 * (1 + 4 + kHeaderBytes + 1) + 2;

    void Record(char type, int addressBytes, std::uint32_t address, const std::uint8_t* bytes, int count) {
        char* out = out_;
        *out++ = 'S';
        *out++ = type;
        const int length = addressBytes + count + 1;
        byteToHex(std::uint8_t(length), out);
        out += 2;
        unsigned sum = unsigned(length);
        for (int shift = 8 * (addressBytes - 1); shift >= 0; shift -= 8) {
            const std::uint8_t b = std::uint8_t(address >> shift);
            byteToHex(b, out);
            out += 2;
            sum += b;
        }
        for (int i = 0; i < count; ++i) {
            byteToHex(bytes[i], out);
            out += 2;
            sum += bytes[i];
        }
        byteToHex(std::uint8_t(~sum), out);
        out += 2;
        *out++ = '\r';
        *out++ = '\n';
        out_ = out;
    }
    bool Room() { return std::size_t(out_ - buffer_) <= kChunk - kLongestRecord || Flush(); }
    bool Flush() {
        const bool taken = sink_(buffer_, std::size_t(out_ - buffer_));
        out_ = buffer_;
        return taken;
    }

    const Sink& sink_;
    int addressBytes_ = 2;
    std::uint32_t records_ = 0;
    char buffer_[kChunk];
    char* out_ = buffer_;
};

bool Blank(const std::uint8_t* line) {
    return std::all_of(line, line + kLine, [](std::uint8_t b) { return b == ImageBuffer::kBlank; });
}

}  // namespace

bool WriteSRecordRange(const std::uint8_t* image, std::uint32_t from, std::uint32_t to, const QString& fileName,
                       const Sink& sink) {
    to = std::min(to, ImageBuffer::kSize);
    from = std::min(from, to);
    SRecordStream records(sink, to > 0 ? to - 1 : 0);
    if (!records.Header(fileName)) return false;
    for (std::uint32_t address = from; address < to;) {
        // Records stop at 32-byte boundaries, so a range that starts or ends
        // inside a line gives a shorter first or last record.
        const std::uint32_t end = std::min(to, (address & ~(kLine - 1)) + kLine);
        if (!records.Data(address, image + address, int(end - address))) return false;
        address = end;
    }
    return records.End();
}

bool WriteSRecord(const std::uint8_t* image, const QString& fileName, const Sink& sink) {
    std::uint32_t to = ImageBuffer::kSize;
    while (to > 0 && Blank(image + to - kLine)) to -= kLine;
    SRecordStream records(sink, to > 0 ? to - 1 : 0);
    if (!records.Header(fileName)) return false;
    for (std::uint32_t address = 0; address < to; address += kLine) {
        const std::uint8_t* line = image + address;
        if (!Blank(line) && !records.Data(address, line, int(kLine))) return false;
    }
    return records.End();
}
