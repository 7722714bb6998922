#include <gtest/gtest.h>

#include <QList>

#include "image/image_buffer.h"
#include "image/read_back_writer.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"

namespace {

std::vector<std::uint8_t> Blank() { return std::vector<std::uint8_t>(ImageBuffer::kSize, 0xFF); }

QList<QByteArray> Lines(const QByteArray& text) { return text.split('\n'); }

}  // namespace

TEST(ReadBackWriter, ByteToHexIsUpperCaseHighNibbleFirst) {
    char out[2];
    byteToHex(0xA5, out);
    EXPECT_EQ(std::string(out, 2), "A5");
    byteToHex(0x0F, out);
    EXPECT_EQ(std::string(out, 2), "0F");
}

TEST(ReadBackWriter, DataRecordAndItsChecksum) {
    auto image = Blank();
    for (int i = 0; i < 16; ++i) image[0x10 + std::size_t(i)] = std::uint8_t(i);
    EXPECT_EQ(IntelHexText(image.data()), ":10001000000102030405060708090A0B0C0D0E0F68\r\n:00000001FF\n");
}

TEST(ReadBackWriter, SegmentRecordPrecedesTheFirstLineOfANewSegment) {
    auto image = Blank();
    for (int i = 0; i < 16; ++i) image[std::size_t(i)] = image[0x200000 + std::size_t(i)] = 0x11;
    const QByteArray data = ":10000000" + QByteArray(32, '1') + "E0\r\n";
    EXPECT_EQ(IntelHexText(image.data()), data + ":020000040020DA\r\n" + data + ":00000001FF\n");
}

TEST(ReadBackWriter, BlankLinesAreLeftOutButOneByteKeepsALine) {
    auto image = Blank();
    EXPECT_EQ(IntelHexText(image.data()), ":00000001FF\n");
    image[0x3FFFFF] = 0x00;
    EXPECT_EQ(IntelHexText(image.data()),
              ":02000004003FBB\r\n:10FFF000FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF0010\r\n:00000001FF\n");
}

TEST(ReadBackWriter, AllZeroImageWritesEveryLine) {
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0);
    const QList<QByteArray> lines = Lines(IntelHexText(image.data()));
    ASSERT_EQ(lines.size(), 262144 + 63 + 2);  // the last split piece is the empty rest
    EXPECT_EQ(lines[0], ":10000000" + QByteArray(32, '0') + "F0\r");
    EXPECT_EQ(lines[4096], ":020000040001F9\r");
    EXPECT_EQ(lines[lines.size() - 2], ":00000001FF");
    EXPECT_TRUE(lines.back().isEmpty());
}

// Independent readers give back the same 4 MiB.
TEST(ReadBackWriter, SrecCatAndObjcopyReadItBack) {
    TempFiles files;
    auto image = Blank();
    std::uint32_t seed = 99;
    for (std::size_t i = 0; i < image.size(); ++i) {
        seed = seed * 1664525 + 1013904223;
        if ((i / 4096) % 5 == 0) image[i] = std::uint8_t(seed >> 24);
    }
    const QString hex = files.Write("out.hex", IntelHexText(image.data()));
    const QString bySrec = files.Path("srec.bin"), byObjcopy = files.Path("objcopy.bin");
    if (!RunTool("srec_cat", {hex, "-intel", "-fill", "0xFF", "0", "0x400000", "-o", bySrec, "-binary"}))
        GTEST_SKIP() << "srec_cat is not installed";
    if (!RunTool("objcopy", {"-I", "ihex", "-O", "binary", "--gap-fill", "0xFF", hex, byObjcopy}))
        GTEST_SKIP() << "objcopy is not installed";
    const QByteArray expected(reinterpret_cast<const char*>(image.data()), qsizetype(image.size()));
    EXPECT_TRUE(TempFiles::Read(bySrec) == expected);
    // objcopy starts at the first address written and ends at the last.
    const QByteArray fromObjcopy = TempFiles::Read(byObjcopy);
    EXPECT_TRUE(expected.mid(0, fromObjcopy.size()) == fromObjcopy);
    EXPECT_GT(fromObjcopy.size(), 0x3F0000);
}
