#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hexview/hex_format.h"
#include "support/hex_editor_rig.h"

namespace {

RowSpan Row(const std::vector<std::uint8_t>& bytes, int rowOffset) {
    return RowSpan{bytes.data(), int(bytes.size()), rowOffset, 16};
}

TEST(HexFormatLines, SixteenBytesAtEachDisplayWidth) {
    const std::vector<std::uint8_t> bytes = CountingBytes(16);
    const std::string eight = HexFormat::HexLine(Row(bytes, 0), 8);
    EXPECT_EQ(eight, "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
    EXPECT_EQ(eight.size(), 48u);
    const std::string sixteen = HexFormat::HexLine(Row(bytes, 0), 16);
    EXPECT_EQ(sixteen, "0001 0203 0405 0607 0809 0A0B 0C0D 0E0F ");
    EXPECT_EQ(sixteen.size(), 40u);
    const std::string thirtyTwo = HexFormat::HexLine(Row(bytes, 0), 32);
    EXPECT_EQ(thirtyTwo, "00010203 04050607 08090A0B 0C0D0E0F ");
    EXPECT_EQ(thirtyTwo.size(), 36u);
    EXPECT_EQ(HexFormat::TextLine(Row(bytes, 0)), std::string(16, '.'));
}

TEST(HexFormatLines, BytesAreShownInStorageOrderAtEveryWidth) {
    const std::vector<std::uint8_t> bytes{0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(HexFormat::HexLine(Row(bytes, 0), 8).substr(0, 12), "12 34 56 78 ");
    EXPECT_EQ(HexFormat::HexLine(Row(bytes, 0), 16).substr(0, 10), "1234 5678 ");
    EXPECT_EQ(HexFormat::HexLine(Row(bytes, 0), 32).substr(0, 9), "12345678 ");
}

TEST(HexFormatLines, MissingBytesOfTheLastRowAreBlank) {
    const std::vector<std::uint8_t> bytes = CountingBytes(20);
    const std::string line = HexFormat::HexLine(Row(bytes, 16), 8);
    EXPECT_EQ(line, "10 11 12 13" + std::string(37, ' '));
    EXPECT_EQ(HexFormat::TextLine(Row(bytes, 16)).size(), 4u);
}

TEST(HexFormatLines, TextColumnShowsPrintableAsciiOnly) {
    const std::vector<std::uint8_t> bytes{0x41, 0x7F, 0x80, 0x20};
    EXPECT_EQ(HexFormat::TextLine(Row(bytes, 0)), "A.. ");
}

TEST(HexFormatAddress, WiderWidthsCountWords) {
    EXPECT_EQ(HexFormat::AddressText(0, 8, true), "00000000");
    EXPECT_EQ(HexFormat::AddressText(16, 8, true), "00000010");
    EXPECT_EQ(HexFormat::AddressText(16, 16, true), "00000008");
    EXPECT_EQ(HexFormat::AddressText(16, 32, true), "00000004");
    EXPECT_EQ(HexFormat::AddressText(0x3FFFF0, 8, true), "003FFFF0");
    EXPECT_EQ(HexFormat::AddressText(0x1230, 8, false), "1230");
}

TEST(HexFormatRuns, ASelectionInsideAGroupShadesOnlyItsOwnBytes) {
    const std::vector<std::uint8_t> bytes = CountingBytes(16);
    // Bytes 3 to 5 selected at width 16: the selection starts and ends inside
    // the groups 0203 and 0607, and shows exactly the bytes it holds.
    const std::vector<HexRun> runs = HexFormat::HexRuns(Row(bytes, 0), 16, 3, 6);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].text, "0001 02");
    EXPECT_EQ(runs[0].shade, RunShade::Before);
    EXPECT_EQ(runs[1].cell, 7);
    EXPECT_EQ(runs[1].text, "03 0405 ");
    EXPECT_EQ(runs[1].shade, RunShade::Selected);
    EXPECT_EQ(runs[2].cell, 15);
    EXPECT_EQ(runs[2].shade, RunShade::After);
}

TEST(HexFormatRuns, TextRunsFollowTheSelectionByCharacter) {
    const std::vector<std::uint8_t> bytes(16, 'x');
    const std::vector<HexRun> runs = HexFormat::TextRuns(Row(bytes, 0), 3, 6);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].cell, 3);
    EXPECT_EQ(runs[1].text, "xxx");
    EXPECT_EQ(runs[1].shade, RunShade::Selected);
}

TEST(HexFormatClipboard, HexTextHasABlankAfterEveryByteAndCharactersUseDots) {
    const std::uint8_t bytes[] = {0x00, 0xFF, 0x41};
    std::string hex(HexFormat::ClipboardTextLength(3, false), '?');
    HexFormat::WriteClipboardText(bytes, 3, false, hex.data());
    EXPECT_EQ(hex, "00 FF 41 ");
    std::string text(HexFormat::ClipboardTextLength(3, true), '?');
    HexFormat::WriteClipboardText(bytes, 3, true, text.data());
    EXPECT_EQ(text, "..A");
}

}  // namespace
