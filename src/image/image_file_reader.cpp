#include "image/image_file_reader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstring>

#include "image/image_buffer.h"
#include "image/intel_hex_reader.h"
#include "image/srecord_reader.h"

namespace {

enum class Format { IntelHex, SRecord, Binary, Unknown };

// A full 4 MiB image written one byte to a record, the longest form any tool
// writes, is about 60 MiB of text: four times that is more than an image file
// can need, and it keeps a mistaken pick from filling the memory.
constexpr qint64 kHexLimit = qint64(256) << 20;
constexpr char kHexTooLarge[] = "File larger than 256MB, Format Error!";
constexpr char kBinTooLarge[] = "File larger than 4MB, Format Error!";
constexpr char kUnknownEnding[] = "not a .hex, .ldr or .bin file";
constexpr qint64 kChunk = qint64(1) << 20;

Format FormatOf(const QString& path) {
    const QString ending = path.right(4).toLower();
    if (ending == ".hex" || ending == ".ldr") return Format::IntelHex;
    if (ending == ".bin") return Format::Binary;
    for (const char* name : {".srec", ".s19", ".s28", ".s37", ".mot"})
        if (path.endsWith(name, Qt::CaseInsensitive)) return Format::SRecord;
    return Format::Unknown;
}

bool Stopping(const std::atomic<bool>* stop) {
    return stop && stop->load(std::memory_order_relaxed);
}

// The file's bytes as they are read now, never more than limit. The file is
// read, not mapped: another program may cut it short while it is parsed, and
// what was read stays readable. Its size is only a first guess at the buffer,
// since it may change, and a pipe has none.
struct FileText {
    QByteArray bytes;
    qint64 length = 0;
    bool ok = false;
    ImportResult failure;

    FileText(QFile& file, qint64 limit, const QString& tooLarge, const std::atomic<bool>* stop);
    const std::uint8_t* data() const {
        return reinterpret_cast<const std::uint8_t*>(bytes.constData());
    }
};

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
        bytes.resize(capacity);
        while (length < capacity) {
            if (Stopping(stop)) {
                failure = ImportResult::Stopped();
                return;
            }
            const qint64 n = file.read(bytes.data() + length, std::min(kChunk, capacity - length));
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

ImportResult ReadHexFile(QFile& file, std::uint8_t* image, const ProgressSink& progress,
                         const std::atomic<bool>* stop, decltype(&ReadIntelHex) parse = ReadIntelHex) {
    const FileText text(file, kHexLimit, kHexTooLarge, stop);
    if (!text.ok) return text.failure;
    return parse(text.data(), std::size_t(text.length), image, progress, stop);
}

ImportResult ReadBinaryFile(QFile& file, std::uint8_t* image, const std::atomic<bool>* stop) {
    const FileText text(file, ImageBuffer::kSize, kBinTooLarge, stop);
    if (!text.ok) return text.failure;
    if (text.length > 0) std::memcpy(image, text.data(), std::size_t(text.length));
    return ImportResult::Loaded(std::uint32_t(text.length));
}

}  // namespace

QString FileTimeText(const QString& path) {
    const QDateTime t = QFileInfo(path).lastModified().toLocalTime();
    return QString::asprintf("%02d/%02d/%04d  %02d:%02d", t.date().day(), t.date().month(),
                             t.date().year(), t.time().hour(), t.time().minute());
}

FileLoadOutcome loadImageFile(const QString& path, std::uint8_t* image,
                              const ProgressSink& progress, const std::atomic<bool>* stop) {
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

    switch (FormatOf(path)) {
        case Format::IntelHex: outcome.result = ReadHexFile(file, image, progress, stop); break;
        case Format::SRecord: outcome.result = ReadHexFile(file, image, progress, stop, ReadSRecord); break;
        case Format::Binary: outcome.result = ReadBinaryFile(file, image, stop); break;
        case Format::Unknown: outcome.result = ImportResult::Refused(kUnknownEnding); break;
    }
    return outcome;
}

bool IsImageFileName(const QString& path) { return FormatOf(path) != Format::Unknown; }
