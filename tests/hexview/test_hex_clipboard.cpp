#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "hexview/hex_clipboard.h"

namespace {

const std::uint8_t kBytes[] = {0x00, 0xFF, 0x41};

const QMimeData* Content() {
    return QGuiApplication::clipboard()->mimeData();
}

TEST(HexClipboardPlace, OffersTheRawBytesFirstAndTheirHexText) {
    ASSERT_TRUE(HexClipboard::Place(kBytes, 3, false));
    const QMimeData* mime = Content();
    ASSERT_NE(mime, nullptr);
    ASSERT_GE(mime->formats().size(), 2);
    EXPECT_EQ(mime->formats().first(), HexClipboard::BinaryDataMime());
    EXPECT_EQ(mime->data(HexClipboard::BinaryDataMime()), QByteArray("\x00\xFF\x41", 3));
    EXPECT_EQ(mime->text(), QStringLiteral("00 FF 41 "));
}

TEST(HexClipboardPlace, TextColumnCopiesCharactersWithDots) {
    ASSERT_TRUE(HexClipboard::Place(kBytes, 3, true));
    EXPECT_EQ(Content()->text(), QStringLiteral("..A"));
}

TEST(HexClipboardTake, PrefersTheRawBytesAndFallsBackToTextAsItIs) {
    HexClipboard::Place(kBytes, 3, false);
    EXPECT_EQ(HexClipboard::Take(), QByteArray("\x00\xFF\x41", 3));
    QGuiApplication::clipboard()->setText(QStringLiteral("12 AB"));
    EXPECT_EQ(HexClipboard::Take(), QByteArray("12 AB")) << "text is not read as hex";
    QGuiApplication::clipboard()->setMimeData(new QMimeData);
    EXPECT_EQ(HexClipboard::Take(), std::nullopt);
}

}  // namespace
