// Feeds image files and read-range texts to the import code.
//
// Input: one selector byte, then the payload.
//   selector & 3 == 0 or 1: the payload is Intel HEX text read in memory.
//   selector & 3 == 2: the payload is a file on disk named by bits 2..3
//     (".hex", ".LDR", ".bin", ".txt"); with bit 4 a ".bin" is stretched to a
//     length near 4 MiB (bits 5..7 pick which), zeros after the payload.
//   selector & 3 == 3: the payload is up to four read-range texts split at
//     line feeds, the read mode in bits 2..3.
#include <QByteArray>
#include <QFile>
#include <QList>
#include <cstring>

#include "blank_image.h"
#include "fuzz_check.h"
#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "image/intel_hex_reader.h"
#include "image/read_range.h"
#include "reference_hex_reader.h"
#include "scratch_dir.h"

namespace {

using Verdict = ReferenceHexReader::Verdict;

void CheckHex(const ImportResult& result, const std::uint8_t* text, std::size_t length,
              const std::uint8_t* image) {
    if (result.ok) {
        FUZZ_CHECK(result.imageSize % 128 == 0 && result.imageSize <= ImageBuffer::kSize);
    }
    ReferenceHexReader reference;
    switch (reference.Read(text, length)) {
        case Verdict::Loaded:
            FUZZ_CHECK(result.ok && result.imageSize == reference.imageSize());
            for (const auto& [address, value] : reference.stored())
                FUZZ_CHECK(image[address] == value);
            break;
        case Verdict::UnexpectedEnd:
            FUZZ_CHECK(!result.ok && result.message == "Unexcepted End file, Format Error!");
            break;
        case Verdict::ChecksumError:
            FUZZ_CHECK(!result.ok && result.message == QString::asprintf("Checksum Error: line %d",
                                                                         reference.line()));
            break;
        case Verdict::Silent:
            FUZZ_CHECK(!result.ok && result.message.isEmpty());
            break;
        case Verdict::Damaged:
            break;  // how a damaged line is reported is the reader's choice
    }
}

void ImportInMemory(const std::uint8_t* text, std::size_t length, BlankImage& image) {
    ProgressCheck progress;
    const ImportResult result = ReadIntelHex(text, length, image.data(), progress.Sink());
    CheckHex(result, text, length, image.data());
}

void ImportFile(std::uint8_t selector, const std::uint8_t* bytes, std::size_t length,
                BlankImage& image) {
    static const char* const kNames[] = {"image.hex", "image.LDR", "image.bin", "image.txt"};
    const int kind = (selector >> 2) & 3;
    const QString path =
        ScratchDir::Write(kNames[kind], reinterpret_cast<const char*>(bytes), qint64(length));
    qint64 fileLength = qint64(length);
    if (kind == 2 && (selector & 0x10)) {
        fileLength =
            std::max<qint64>(fileLength, qint64(ImageBuffer::kSize) - 64 + 32 * (selector >> 5));
        FUZZ_CHECK(QFile::resize(path, fileLength));
    }
    ProgressCheck progress;
    const FileLoadOutcome outcome = loadImageFile(path, image.data(), progress.Sink());
    FUZZ_CHECK(outcome.opened && outcome.path == path);
    const ImportResult& result = outcome.result;
    // Bytes that plainly hold another format than the name says are refused
    // unread, naming both; any bytes but an ELF file's are a binary image.
    const ImageFormat held = FormatOfContent(bytes, length);
    const bool mismatch = kind == 2 ? held == ImageFormat::Elf
                                    : kind != 3 && held != ImageFormat::Unknown && held != ImageFormat::IntelHex;
    if (result.ok) FUZZ_CHECK(result.format == (kind == 2 ? ImageFormat::Binary : ImageFormat::IntelHex));
    if (mismatch) {
        FUZZ_CHECK(progress.last == 1);
        FUZZ_CHECK(!result.ok && (result.message.contains(" but the file holds ") ||
                                  (kind == 2 && fileLength > qint64(ImageBuffer::kSize))));
    } else if (kind == 3) {
        FUZZ_CHECK(!result.ok && result.message.isEmpty());
    } else if (kind == 2) {
        FUZZ_CHECK(progress.last == 1);
        if (fileLength <= qint64(ImageBuffer::kSize)) {
            FUZZ_CHECK(result.ok && result.imageSize == std::uint32_t(fileLength));
            FUZZ_CHECK(length == 0 || std::memcmp(image.data(), bytes, length) == 0);
        } else {
            FUZZ_CHECK(!result.ok || result.imageSize == ImageBuffer::kSize);
        }
    } else {
        CheckHex(result, bytes, length, image.data());
    }
}

// The digits a text holds, read the slow way: characters that are not hex
// digits are counted, and the value stops at the largest 32-bit number.
std::uint32_t SlowHex(const QString& text, int& bad) {
    static const QString kDigits = "0123456789abcdef";
    std::uint64_t value = 0;
    for (QChar c : text) {
        const qsizetype v = c.unicode() < 128 ? kDigits.indexOf(c, 0, Qt::CaseInsensitive) : -1;
        if (v < 0) {
            ++bad;
            continue;
        }
        value = std::min<std::uint64_t>(value * 16 + std::uint64_t(v), 0xFFFFFFFFu);
    }
    return std::uint32_t(value);
}

void CheckRange(std::uint8_t selector, const std::uint8_t* bytes, std::size_t length) {
    const QList<QByteArray> parts =
        QByteArray(reinterpret_cast<const char*>(bytes), qsizetype(length)).split('\n');
    auto text = [&parts](int i) {
        return i < parts.size() ? QString::fromUtf8(parts[i]) : QString();
    };
    ReadOptions options;
    options.mode = ReadRangeMode((selector >> 2) & 3);
    options.fromToStart = text(0);
    options.fromToEnd = text(1);
    options.fromBeginToEnd = text(2);
    options.fromToEndStart = text(3);
    const ReadRangeCheck check = CheckReadRange(options);

    int bad = 0;
    std::uint32_t start = 0, end = kLastAddress;
    bool fits = true;
    switch (options.mode) {
        case ReadRangeMode::FromTo:
            start = SlowHex(options.fromToStart, bad);
            end = std::min(SlowHex(options.fromToEnd, bad), kLastAddress);
            fits = end > start;
            break;
        case ReadRangeMode::FromBeginTo:
            end = std::min(SlowHex(options.fromBeginToEnd, bad), kLastAddress);
            fits = end != 0;
            break;
        case ReadRangeMode::FromToEnd:
            start = SlowHex(options.fromToEndStart, bad);
            fits = !options.fromToEndStart.isEmpty() && start <= kLastAddress;
            break;
        case ReadRangeMode::WholeChip:
        case ReadRangeMode::Inclusive:  // the command line's own; the dialog's four are fuzzed here
            break;
    }
    FUZZ_CHECK(check.badDigits == bad);
    FUZZ_CHECK(check.accepted == (fits && bad == 0));
    if (check.accepted)
        FUZZ_CHECK(check.start == start && check.end == end && check.refusal.isEmpty());
    if (!check.accepted && bad == 0) FUZZ_CHECK(!check.refusal.isEmpty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    static BlankImage image;
    const std::uint8_t selector = data[0];
    const std::uint8_t* payload = data + 1;
    const std::size_t length = size - 1;
    switch (selector & 3) {
        case 0:
        case 1:
            ImportInMemory(payload, length, image);
            break;
        case 2:
            ImportFile(selector, payload, length, image);
            break;
        default:
            CheckRange(selector, payload, length);
            break;
    }
    image.Reset();
    return 0;
}
