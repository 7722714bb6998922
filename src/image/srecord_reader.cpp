#include "image/srecord_reader.h"

#include <cstring>
#include <string>

#include "image/hex_pairs.h"
#include "image/image_buffer.h"
#include "image/page_extent.h"
#include "image/parse_progress.h"

namespace {

constexpr char kUnexpectedEnd[] = "Unexcepted End file, Format Error!";

// The address bytes of S0 to S9; S4 is no record type.
constexpr int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

inline int Byte(const std::uint8_t* p) { return HexPair(p); }

class SRecordReader {
public:
    explicit SRecordReader(std::uint8_t* image) : image_(image), extent_(image) {}

    // 1 = start record reached, 0 = go on, -1 = failed (result() says how).
    int Record(const std::uint8_t* line, std::size_t length, int lineNumber);
    // How many characters of the line the last record read.
    std::size_t consumed() const { return consumed_; }
    ImportResult result() const { return result_; }
    ImportResult Loaded() const;
    int FormatError(int lineNumber) { return Fail(QString::asprintf("Format Error: line %d", lineNumber)); }

private:
    int Data(const std::uint8_t* p, int count, int addressBytes, int lineNumber);
    int Other(const std::uint8_t* p, int count, int type, int addressBytes, int lineNumber);
    int Fail(QString message) {
        result_ = ImportResult::Failed(std::move(message));
        return -1;
    }
    // A record the program has no use for ends the load without a message box.
    int Refuse(QString reason) {
        result_ = ImportResult::Refused(std::move(reason));
        return -1;
    }

    std::uint8_t* image_;
    PageExtent extent_;
    std::uint64_t dataRecords_ = 0;
    QString header_;
    bool hasStart_ = false;
    std::uint32_t start_ = 0;
    ImportResult result_;
    std::size_t consumed_ = 0;
};

int SRecordReader::Record(const std::uint8_t* line, std::size_t length, int lineNumber) {
    if (length < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') return FormatError(lineNumber);
    const int type = line[1] - '0';
    const int count = Byte(line + 2);
    if (count < 0) return FormatError(lineNumber);
    const int addressBytes = kAddressBytes[type];
    if (addressBytes == 0) return Refuse(QString::asprintf("Record Type Error: line %d", lineNumber));
    // The count covers the address, the data and the checksum, and the line
    // must hold all of them.
    if (count < addressBytes + 1 || length < 4 + 2 * std::size_t(count)) return FormatError(lineNumber);
    consumed_ = 4 + 2 * std::size_t(count);
    if (type >= 1 && type <= 3) return Data(line + 4, count, addressBytes, lineNumber);
    return Other(line + 4, count, type, addressBytes, lineNumber);
}

int SRecordReader::Data(const std::uint8_t* p, int count, int addressBytes, int lineNumber) {
    unsigned sum = unsigned(count);
    std::uint64_t first = 0;
    for (int i = 0; i < addressBytes; ++i, p += 2) {
        const int v = Byte(p);
        if (v < 0) return FormatError(lineNumber);
        first = first << 8 | unsigned(v);
        sum += unsigned(v);
    }
    const int n = count - addressBytes - 1;
    if (first + std::uint64_t(n) > ImageBuffer::kSize) {
        return Fail(QString::asprintf("Address Error: line %d", lineNumber));
    }
    const bool digits = DecodeHexPairs(p, n, image_ + first, &sum);
    const int checksum = Byte(p + 2 * n);
    if (!digits || checksum < 0) return FormatError(lineNumber);
    extent_.Stored(first, n);
    // The checksum is the one's complement of the sum of the bytes before it.
    if (((sum + unsigned(checksum)) & 0xFF) != 0xFF) {
        return Fail(QString::asprintf("Checksum Error: line %d", lineNumber));
    }
    extent_.MarkPage();
    ++dataRecords_;
    return 0;
}

// Header, count and start records: read whole and checked, then used.
int SRecordReader::Other(const std::uint8_t* p, int count, int type, int addressBytes, int lineNumber) {
    std::uint8_t bytes[256];
    unsigned sum = unsigned(count);
    if (!DecodeHexPairs(p, count, bytes, &sum)) return FormatError(lineNumber);
    if ((sum & 0xFF) != 0xFF) return Fail(QString::asprintf("Checksum Error: line %d", lineNumber));
    std::uint32_t address = 0;
    for (int i = 0; i < addressBytes; ++i) address = address << 8 | bytes[i];
    const int n = count - addressBytes - 1;
    const std::uint8_t* data = bytes + addressBytes;
    switch (type) {
        case 0: {
            // Text for the log: what cannot be shown is left out.
            std::string text;
            for (int i = 0; i < n; ++i)
                if (data[i] >= 0x20 && data[i] < 0x7F) text += char(data[i]);
            header_ = QString::fromLatin1(text);
            return 0;
        }
        case 5:
        case 6: {
            // The field holds only the count's low 16 or 24 bits: a tool that
            // writes S5 after more than 65535 records wraps it.
            const std::uint64_t held = dataRecords_ & ((std::uint64_t(1) << (8 * addressBytes)) - 1);
            if (address != held) return Fail(QString::asprintf("Record Count Error: line %d", lineNumber));
            return 0;
        }
        default:
            hasStart_ = true;
            start_ = address;
            return 1;
    }
}

ImportResult SRecordReader::Loaded() const {
    ImportResult loaded = ImportResult::Loaded(extent_.ImageSize());
    loaded.header = header_;
    loaded.hasStart = hasStart_;
    loaded.start = start_;
    return loaded;
}

// What follows a record on its line: nothing, a line feed, or a carriage
// return before either. Anything else means the count is not the record's.
bool EndsTheLine(const std::uint8_t* p, std::size_t rest) {
    return rest == 0 || p[0] == '\n' || (p[0] == '\r' && (rest == 1 || p[1] == '\n'));
}

ImportResult Read(const std::uint8_t* text, std::size_t length, std::uint8_t* image,
                  const ProgressSink& progress, const std::atomic<bool>* stop) {
    SRecordReader reader(image);
    ParseProgress steps(length, progress);
    std::size_t pos = 0;
    for (int lineNumber = 1;; ++lineNumber) {
        // Looked at once a line: a relaxed load costs next to nothing beside
        // the record, and a stop is seen within one line.
        if (stop && stop->load(std::memory_order_relaxed)) return ImportResult::Stopped();
        const std::uint8_t* start = text + pos;
        const std::size_t left = length - pos;
        // The start record is often left out (srec_cat writes none unless
        // told a start address), so the file's end after a line ends it too.
        if (left == 0 && pos > 0) return reader.Loaded();
        // A record that reads well is all hex digits after its type, so its
        // line cannot end inside it: only what follows it is looked at. Any
        // other line is found and read again within its true end.
        int outcome = -1;
        std::size_t lineLength = 0;
        if (left > 0 && start[0] != '\n') {
            outcome = reader.Record(start, left, lineNumber);
            if (outcome >= 0) {
                const std::size_t used = reader.consumed();
                if (EndsTheLine(start + used, left - used)) {
                    lineLength = used + (used < left && start[used] == '\r' ? 1 : 0);
                } else {
                    outcome = -2;
                }
            }
        }
        if (outcome < 0) {
            const void* feed = std::memchr(start, '\n', left);
            lineLength = feed ? std::size_t(static_cast<const std::uint8_t*>(feed) - start) : left;
        }
        steps.Add(lineLength);
        // An empty line, and an empty file, both read as a line with nothing
        // before its line feed.
        if (lineLength == 0) return ImportResult::Failed(kUnexpectedEnd);
        if (outcome == -1 && lineLength != left) outcome = reader.Record(start, lineLength, lineNumber);
        if (outcome == -2) outcome = reader.FormatError(lineNumber);
        if (outcome < 0) return reader.result();
        if (outcome > 0) return reader.Loaded();
        pos += lineLength + (lineLength < left ? 1 : 0);
    }
}

}  // namespace

ImportResult ReadSRecord(const std::uint8_t* text, std::size_t length, std::uint8_t* image,
                         const ProgressSink& progress, const std::atomic<bool>* stop) {
    ImportResult result = Read(text, length, image, progress, stop);
    result.format = ImageFormat::SRecord;
    return result;
}
