#include "hexview/hex_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <memory>
#include <new>

#include "hexview/hex_format.h"

bool HexClipboard::Place(const std::uint8_t* bytes, std::size_t count, bool textColumn) {
    auto mime = std::make_unique<QMimeData>();
    try {
        // Each form is built in one pass, so a whole image costs no more
        // than a few copies of itself.
        const QByteArray binary(reinterpret_cast<const char*>(bytes), qsizetype(count));
        QByteArray text(qsizetype(HexFormat::ClipboardTextLength(count, textColumn)),
                        Qt::Uninitialized);
        HexFormat::WriteClipboardText(bytes, count, textColumn, text.data());
        mime->setData(BinaryDataMime(), binary);
        mime->setData(QStringLiteral("text/plain"), text);
    } catch (const std::bad_alloc&) {
        return false;
    }
    QGuiApplication::clipboard()->setMimeData(mime.release());
    return true;
}

std::optional<QByteArray> HexClipboard::Take() {
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    if (!mime) return std::nullopt;
    if (mime->hasFormat(BinaryDataMime())) return mime->data(BinaryDataMime());
    // Plain text is taken as the bytes it came in, never decoded and encoded
    // again: a paste must not change a byte the other program offered.
    if (mime->hasFormat(QStringLiteral("text/plain")))
        return mime->data(QStringLiteral("text/plain"));
    for (const QString& format : mime->formats())
        if (format.startsWith(QStringLiteral("text/plain;"))) return mime->data(format);
    return std::nullopt;
}
