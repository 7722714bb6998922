#include "image/intel_hex_reader.h"

#include <cstring>

#include "image/hex_pairs.h"
#include "image/image_buffer.h"
#include "image/page_extent.h"
#include "image/parse_progress.h"

namespace {

constexpr char kUnexpectedEnd[] = "Unexcepted End file, Format Error!";

inline int Byte(const std::uint8_t* p) { return HexPair(p); }

class HexReader {
public:
    HexReader(std::uint8_t* image) : image_(image), extent_(image) {}

    // 1 = end record reached, 0 = go on, -1 = failed (result_ says how).
    int Record(const std::uint8_t* line, std::size_t length, int lineNumber);
    // How many characters of the line the last record read.
    std::size_t consumed() const { return consumed_; }
    ImportResult result() const { return result_; }
    std::uint32_t ImageSize() const { return extent_.ImageSize(); }

private:
    int Data(const std::uint8_t* line, std::size_t length, int count, int address, int lineNumber);
    int Base(const std::uint8_t* line, std::size_t length, int count, int type, int lineNumber);
    int Fail(QString message) {
        result_ = ImportResult::Failed(std::move(message));
        return -1;
    }
    // A record the program has no use for ends the load without a message box.
    int Refuse(QString reason) {
        result_ = ImportResult::Refused(std::move(reason));
        return -1;
    }
    int FormatError(int lineNumber) { return Fail(QString::asprintf("Format Error: line %d", lineNumber)); }

    std::uint8_t* image_;
    PageExtent extent_;
    std::uint64_t base_ = 0;
    ImportResult result_;
    std::size_t consumed_ = 0;
};

int HexReader::Record(const std::uint8_t* line, std::size_t length, int lineNumber) {
    // The first character (normally ':') is passed over unread.
    if (length < 9) return FormatError(lineNumber);
    const int count = Byte(line + 1);
    const int high = Byte(line + 3), low = Byte(line + 5);
    const int type = Byte(line + 7);
    if (count < 0 || high < 0 || low < 0 || type < 0) return FormatError(lineNumber);
    consumed_ = 9;
    switch (type) {
        case 0: return Data(line, length, count, high << 8 | low, lineNumber);
        case 1: return 1;
        case 2:
        case 4: return Base(line, length, count, type, lineNumber);
        case 3:
        case 5: return 0;
        default: return Refuse(QString::asprintf("Record Type Error: line %d", lineNumber));
    }
}

int HexReader::Data(const std::uint8_t* line, std::size_t length, int count, int address,
                    int lineNumber) {
    if (length < 9 + 2 * std::size_t(count) + 2) return FormatError(lineNumber);
    const std::uint64_t first = base_ + std::uint64_t(address);
    if (first + std::uint64_t(count) > ImageBuffer::kSize) {
        return Fail(QString::asprintf("Address Error: line %d", lineNumber));
    }
    consumed_ = 9 + 2 * std::size_t(count) + 2;
    const std::uint8_t* p = line + 9;
    unsigned sum = unsigned(count) + unsigned(address >> 8) + unsigned(address & 0xFF);
    const bool digits = DecodeHexPairs(p, count, image_ + first, &sum);
    const int checksum = Byte(p + 2 * count);
    if (!digits || checksum < 0) return FormatError(lineNumber);
    extent_.Stored(first, count);
    if (((sum + unsigned(checksum)) & 0xFF) != 0) {
        return Fail(QString::asprintf("Checksum Error: line %d", lineNumber));
    }
    extent_.MarkPage();
    return 0;
}

int HexReader::Base(const std::uint8_t* line, std::size_t length, int count, int type, int lineNumber) {
    if (length < 15) return FormatError(lineNumber);
    consumed_ = 15;
    const int high = Byte(line + 9), low = Byte(line + 11), checksum = Byte(line + 13);
    if ((high | low | checksum) < 0) return FormatError(lineNumber);
    if (((count + high + low + type + checksum) & 0xFF) != 0) {
        return Fail(QString::asprintf("Checksum Error: line %d", lineNumber));
    }
    const std::uint64_t value = std::uint64_t(high << 8 | low);
    base_ = type == 2 ? value * 16 : value * 65536;
    return 0;
}

}  // namespace

ImportResult ReadIntelHex(const std::uint8_t* text, std::size_t length, std::uint8_t* image,
                          const ProgressSink& progress, const std::atomic<bool>* stop) {
    HexReader reader(image);
    ParseProgress steps(length, progress);
    std::size_t pos = 0;
    for (int lineNumber = 1;; ++lineNumber) {
        // Looked at once a line: a relaxed load costs next to nothing beside
        // the record, and a stop is seen within one line.
        if (stop && stop->load(std::memory_order_relaxed)) return ImportResult::Stopped();
        const std::uint8_t* start = text + pos;
        const std::size_t left = length - pos;
        // A record that reads well is all hex digits after its first
        // character, so its line cannot end inside it: the line feed is looked
        // for only after it. Anything else is read again within its true line.
        int outcome = -1;
        std::size_t scanFrom = 0;
        if (left > 0 && start[0] != '\n') {
            outcome = reader.Record(start, left, lineNumber);
            if (outcome >= 0) scanFrom = reader.consumed();
        }
        const void* feed = scanFrom < left ? std::memchr(start + scanFrom, '\n', left - scanFrom) : nullptr;
        const std::size_t lineLength =
            feed ? std::size_t(static_cast<const std::uint8_t*>(feed) - start) : left;
        steps.Add(lineLength);
        // An empty line, and the end of the file before an end record, both
        // read as a line with nothing before its line feed.
        if (lineLength == 0) return ImportResult::Failed(kUnexpectedEnd);
        if (outcome < 0 && lineLength != left) outcome = reader.Record(start, lineLength, lineNumber);
        if (outcome < 0) return reader.result();
        if (outcome > 0) return ImportResult::Loaded(reader.ImageSize());
        pos += lineLength + (feed ? 1 : 0);
    }
}
