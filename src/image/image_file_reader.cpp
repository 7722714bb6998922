#include "image/image_file_reader.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cstring>

#include "image/image_buffer.h"
#include "image/intel_hex_reader.h"

namespace {

enum class Format { IntelHex, Binary, Unknown };

Format FormatOf(const QString& path) {
    const QString ending = path.right(4).toLower();
    if (ending == ".hex" || ending == ".ldr") return Format::IntelHex;
    if (ending == ".bin") return Format::Binary;
    return Format::Unknown;
}

ImportResult CopyBinary(const std::uint8_t* bytes, qint64 length, std::uint8_t* image) {
    if (length > qint64(ImageBuffer::kSize)) {
        return ImportResult::Failed("File larger than 4MB, Format Error!");
    }
    if (length > 0) std::memcpy(image, bytes, std::size_t(length));
    return ImportResult::Loaded(std::uint32_t(length));
}

}  // namespace

QString FileTimeText(const QString& path) {
    const QDateTime t = QFileInfo(path).lastModified().toLocalTime();
    return QString::asprintf("%02d/%02d/%04d  %02d:%02d", t.date().day(), t.date().month(),
                             t.date().year(), t.time().hour(), t.time().minute());
}

FileLoadOutcome loadImageFile(const QString& path, std::uint8_t* image, const ProgressSink& progress) {
    FileLoadOutcome outcome;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return outcome;
    outcome.opened = true;
    outcome.path = path;
    outcome.timeText = FileTimeText(path);

    const Format format = FormatOf(path);
    if (format == Format::Unknown) return outcome;
    const qint64 length = file.size();
    // Mapping the file spares a copy of what may be twelve megabytes of text.
    const std::uint8_t* bytes = length > 0 ? file.map(0, length) : nullptr;
    QByteArray fallback;
    if (length > 0 && !bytes) {
        fallback = file.readAll();
        bytes = reinterpret_cast<const std::uint8_t*>(fallback.constData());
    }
    const std::size_t size = length > 0 ? std::size_t(length) : 0;
    outcome.result = format == Format::IntelHex ? ReadIntelHex(bytes, size, image, progress)
                                                : CopyBinary(bytes, qint64(size), image);
    return outcome;
}
