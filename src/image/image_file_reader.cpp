#include "image/image_file_reader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <memory>

#include "image/elf_reader.h"
#include "image/image_buffer.h"
#include "image/intel_hex_reader.h"
#include "image/large_block.h"
#include "image/srecord_reader.h"

namespace {

// A full 4 MiB image written one byte to a record, the longest form any tool
// writes, is about 60 MiB of text: four times that is more than an image file
// can need, and it keeps a mistaken pick from filling the memory. An ELF file
// may carry debugging sections many times its loadable data, and is held to
// the same bound.
constexpr qint64 kTextLimit = qint64(256) << 20;
constexpr char kTextTooLarge[] = "File larger than 256MB, Format Error!";
constexpr char kBinTooLarge[] = "File larger than 4MB, Format Error!";
constexpr char kUnknownEnding[] =
    "not a .hex, .ldr, .bin, .srec, .s19, .s28, .s37, .mot, .elf, .axf or .out file";
constexpr qint64 kChunk = qint64(1) << 20;

bool Stopping(const std::atomic<bool>* stop) {
    return stop && stop->load(std::memory_order_relaxed);
}

// The file's bytes as they are read now, never more than limit. The file is
// read, not mapped: another program may cut it short while it is parsed, and
// what was read stays readable. Its size is only a first guess at the buffer,
// since it may change, and a pipe has none.
struct FileText {
    std::unique_ptr<std::uint8_t[], FreeLargeBlock> bytes;
    qint64 length = 0;
    bool ok = false;
    ImportResult failure;

    FileText(QFile& file, qint64 limit, const QString& tooLarge, const std::atomic<bool>* stop);
    const std::uint8_t* data() const { return bytes.get(); }

private:
    void Grow(qint64 capacity);
};

void FileText::Grow(qint64 capacity) {
    std::unique_ptr<std::uint8_t[], FreeLargeBlock> larger(AllocateLargeBlock(std::size_t(capacity)));
    if (length > 0) std::memcpy(larger.get(), bytes.get(), std::size_t(length));
    bytes = std::move(larger);
}

FileText::FileText(QFile& file, qint64 limit, const QString& tooLarge,
                   const std::atomic<bool>* stop) {
    if (file.size() > limit) {
        failure = ImportResult::Failed(tooLarge);
        return;
    }
    // One byte beyond the guess, so that a file of the size it claims ends
    // with a short read and needs no second buffer.
    qint64 capacity = std::clamp(file.size() + 1, kChunk, limit + 1);
    for (;;) {
        Grow(capacity);
        while (length < capacity) {
            if (Stopping(stop)) {
                failure = ImportResult::Stopped();
                return;
            }
            const qint64 n = file.read(reinterpret_cast<char*>(bytes.get()) + length, std::min(kChunk, capacity - length));
            if (n < 0) {
                failure = ImportResult::Refused(file.errorString());
                return;
            }
            if (n == 0) {
                ok = true;
                return;
            }
            length += n;
        }
        if (length > limit) {
            failure = ImportResult::Failed(tooLarge);
            return;
        }
        capacity = std::min(2 * capacity, limit + 1);
    }
}

// A file whose name says one format while its bytes plainly hold another is
// refused before it is parsed: read as its name says, it would give a
// misleading parse error or, worse, a wrong image. Any bytes make a binary
// image, so a .bin is refused only when it holds an ELF file, the likeliest
// slip when a build's output is picked.
QString ContentMismatch(const QString& path, ImageFormat named, const FileText& text) {
    const ImageFormat held = FormatOfContent(text.data(), std::size_t(text.length));
    if (held == ImageFormat::Unknown || held == named) return {};
    if (named == ImageFormat::Binary && held != ImageFormat::Elf) return {};
    return QString("%1: the name says %2 but the file holds %3")
        .arg(QFileInfo(path).fileName(), ImageFormatName(named), ImageFormatName(held));
}

// The formats a file is read whole for before it is parsed.
ImportResult ReadWholeFile(const QString& path, ImageFormat format, QFile& file, std::uint8_t* image,
                      const ProgressSink& progress, const std::atomic<bool>* stop) {
    const FileText text(file, kTextLimit, kTextTooLarge, stop);
    if (!text.ok) return text.failure;
    if (const QString why = ContentMismatch(path, format, text); !why.isEmpty())
        return ImportResult::Failed(why);
    const std::size_t length = std::size_t(text.length);
    switch (format) {
        case ImageFormat::IntelHex: return ReadIntelHex(text.data(), length, image, progress, stop);
        case ImageFormat::SRecord: return ReadSRecord(text.data(), length, image, progress, stop);
        case ImageFormat::Elf: return ReadElf(text.data(), length, image, stop);
        case ImageFormat::Binary:
        case ImageFormat::Unknown: break;
    }
    return ImportResult::Refused(kUnknownEnding);
}

ImportResult ReadBinaryFile(const QString& path, QFile& file, std::uint8_t* image, std::uint32_t offset,
                            const std::atomic<bool>* stop) {
    if (offset >= ImageBuffer::kSize)
        return ImportResult::Failed(QString::asprintf("the offset %06X lies outside the 4 MiB image", offset));
    const qint64 room = qint64(ImageBuffer::kSize) - offset;
    const QString tooLarge =
        offset == 0 ? QString(kBinTooLarge)
                    : QString::asprintf("the file does not fit in the 4 MiB image at %06X: %lld bytes fit there",
                                        offset, room);
    const FileText text(file, room, tooLarge, stop);
    if (!text.ok) return text.failure;
    if (const QString why = ContentMismatch(path, ImageFormat::Binary, text); !why.isEmpty())
        return ImportResult::Failed(why);
    if (text.length == 0) return ImportResult::Loaded(0);
    std::memcpy(image + offset, text.data(), std::size_t(text.length));
    return ImportResult::Loaded(offset + std::uint32_t(text.length));
}

}  // namespace

QString FileTimeText(const QString& path) {
    const QDateTime t = QFileInfo(path).lastModified().toLocalTime();
    return QString::asprintf("%02d/%02d/%04d  %02d:%02d", t.date().day(), t.date().month(),
                             t.date().year(), t.time().hour(), t.time().minute());
}

FileLoadOutcome loadImageFile(const QString& path, std::uint8_t* image, const ProgressSink& progress,
                              const std::atomic<bool>* stop, std::uint32_t binOffset) {
    FileLoadOutcome outcome;
    outcome.path = path;
    QFile file(path);
    // Unbuffered: the chunks go straight from the system into the buffer.
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        outcome.result = ImportResult::Refused(file.errorString());
        return outcome;
    }
    outcome.opened = true;
    outcome.timeText = FileTimeText(path);

    const ImageFormat format = FormatOfName(path);
    if (format == ImageFormat::Unknown) {
        outcome.result = ImportResult::Refused(kUnknownEnding);
        return outcome;
    }
    if (binOffset != 0 && format != ImageFormat::Binary) {
        outcome.result = ImportResult::Refused("an offset places a binary (.bin) file only");
        return outcome;
    }
    outcome.result = format == ImageFormat::Binary
                         ? ReadBinaryFile(path, file, image, binOffset, stop)
                         : ReadWholeFile(path, format, file, image, progress, stop);
    // A failed load names no format, whichever reader failed.
    outcome.result.format = outcome.result.ok ? format : ImageFormat::Unknown;
    return outcome;
}

bool IsImageFileName(const QString& path) { return FormatOfName(path) != ImageFormat::Unknown; }
