#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// The clipboard as the hex view uses it: raw bytes under the private format
// "BinaryData", and beside them the same bytes as plain text.
class HexClipboard {
public:
    // Qt names a Windows clipboard format registered by name this way, so
    // the format is "BinaryData" there and the same private type elsewhere.
    static QString BinaryDataMime() {
        return QStringLiteral("application/x-qt-windows-mime;value=\"BinaryData\"");
    }

    // Replaces the clipboard's content with both forms of count bytes: the
    // text holds characters when copied from the text column, hex digits
    // otherwise. false, with the clipboard untouched, when memory is short.
    static bool Place(const std::uint8_t* bytes, std::size_t count, bool textColumn);
    // The bytes to paste: "BinaryData" when offered, else the plain text's
    // bytes as they are; nothing when the clipboard holds neither.
    static std::optional<QByteArray> Take();
};
