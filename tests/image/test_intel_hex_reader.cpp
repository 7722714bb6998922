#include <gtest/gtest.h>

#include <random>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "support/temp_files.h"

namespace {

// Loads a file into a blank image, as the load worker does.
struct Load {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(ImageBuffer::kSize, 0xFF);
    std::vector<int> percents;
    FileLoadOutcome outcome;

    explicit Load(const QString& path) {
        outcome = loadImageFile(path, image.data(), [this](int p) { percents.push_back(p); });
    }
    bool ok() const { return outcome.result.ok; }
    QString message() const { return outcome.result.message; }
    std::uint32_t size() const { return outcome.result.imageSize; }
};

QByteArray Record(int count, int address, int type, const std::vector<int>& data, int fixSum = 0) {
    unsigned sum = unsigned(count + (address >> 8) + (address & 0xFF) + type);
    QByteArray line = QByteArray(":") + QByteArray::number(count, 16).rightJustified(2, '0') +
                      QByteArray::number(address, 16).rightJustified(4, '0') +
                      QByteArray::number(type, 16).rightJustified(2, '0');
    for (int b : data) {
        line += QByteArray::number(b, 16).rightJustified(2, '0');
        sum += unsigned(b);
    }
    line += QByteArray::number(int((0x100 - (sum & 0xFF) + fixSum) & 0xFF), 16).rightJustified(2, '0');
    return line.toUpper() + "\r\n";
}

QByteArray DataRecord(int address, int count, int value) {
    return Record(count, address, 0, std::vector<int>(std::size_t(count), value));
}

const QByteArray kEnd = ":00000001FF\r\n";

}  // namespace

TEST(IntelHexReader, ExtendedAddressRecordsMoveTheBase) {
    TempFiles files;
    Load linear(files.Write("a.hex", ":020000040001F9\r\n" + DataRecord(0, 4, 0x11) + kEnd));
    ASSERT_TRUE(linear.ok());
    EXPECT_EQ(linear.image[0x10000], 0x11);
    EXPECT_EQ(linear.image[0], 0xFF);

    Load segment(files.Write("b.hex", ":020000021000EC\r\n" + DataRecord(0, 4, 0x22) + kEnd));
    ASSERT_TRUE(segment.ok());
    EXPECT_EQ(segment.image[0x10000], 0x22);
}

TEST(IntelHexReader, ImageSizeCoversWholePagesUpToTheLastByte) {
    TempFiles files;
    QByteArray eight;
    for (int a = 0; a < 0x80; a += 16) eight += DataRecord(a, 16, 0);
    EXPECT_EQ(Load(files.Write("a.hex", eight + DataRecord(0x80, 1, 0) + kEnd)).size(), 0x100u);
    EXPECT_EQ(Load(files.Write("b.hex", eight + kEnd)).size(), 0x80u);
    EXPECT_EQ(Load(files.Write("c.hex", kEnd)).size(), 0u);
    // A last record of only 0xFF on a higher page still counts.
    EXPECT_EQ(Load(files.Write("d.hex", DataRecord(0, 16, 0) + DataRecord(0x400, 16, 0xFF) + kEnd)).size(),
              0x480u);
    // The last record in file order decides, not the highest address.
    EXPECT_EQ(Load(files.Write("e.hex", DataRecord(0x400, 16, 0xFF) + DataRecord(0, 16, 0) + kEnd)).size(),
              0x80u);
}

TEST(IntelHexReader, ChecksumErrorNamesTheLineAfterStoringIt) {
    TempFiles files;
    QByteArray text;
    for (int i = 0; i < 6; ++i) text += DataRecord(16 * i, 16, i);
    text += Record(16, 0x60, 0, std::vector<int>(16, 0x77), 1) + kEnd;
    Load load(files.Write("a.hex", text));
    EXPECT_FALSE(load.ok());
    EXPECT_EQ(load.message(), "Checksum Error: line 7");
    EXPECT_EQ(load.image[0x60], 0x77);
}

TEST(IntelHexReader, EmptyLinesAndMissingEndRecordAreUnexpectedEnds) {
    TempFiles files;
    const QString unexpected = "Unexcepted End file, Format Error!";
    EXPECT_EQ(Load(files.Write("a.hex", DataRecord(0, 16, 1))).message(), unexpected);
    EXPECT_EQ(Load(files.Write("b.hex", DataRecord(0, 16, 1) + "\n" + kEnd)).message(), unexpected);
    Load empty(files.Write("c.hex", QByteArray()));
    EXPECT_EQ(empty.message(), unexpected);
    EXPECT_TRUE(empty.percents.empty());
    // Plain line feeds work as well as CR LF; the last line needs none.
    EXPECT_TRUE(Load(files.Write("d.hex", ":0100000011EE\n:00000001FF")).ok());
}

TEST(IntelHexReader, StartAddressRecordsArePassedOverUnchecked) {
    TempFiles files;
    Load load(files.Write("a.hex", ":0400000300001234B0\r\n:04000005000012340F\r\n" + DataRecord(0, 2, 9) + kEnd));
    EXPECT_TRUE(load.ok());
    EXPECT_EQ(load.image[1], 9);
    EXPECT_FALSE(Load(files.Write("b.hex", ":00000006FA\r\n" + kEnd)).ok());
    EXPECT_TRUE(Load(files.Write("c.hex", ":00000006FA\r\n" + kEnd)).message().isEmpty());
}

TEST(IntelHexReader, FileNamesChooseTheFormat) {
    TempFiles files;
    const QByteArray text = DataRecord(0, 16, 0x5A) + kEnd;
    Load hex(files.Write("a.hex", text));
    Load ldr(files.Write("a.ldr", text));
    Load upper(files.Write("image.HEX", text));
    EXPECT_TRUE(hex.ok() && ldr.ok() && upper.ok());
    EXPECT_EQ(hex.image, ldr.image);
    EXPECT_EQ(hex.image, upper.image);
    Load txt(files.Write("image.txt", text));
    EXPECT_FALSE(txt.ok());
    EXPECT_TRUE(txt.message().isEmpty());
    EXPECT_FALSE(Load(files.Path("missing.hex")).outcome.opened);
}

TEST(IntelHexReader, BinaryFilesAreCopiedWhole) {
    TempFiles files;
    std::vector<std::uint8_t> bytes(300);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i);
    Load bin(files.Write("a.BIN", bytes));
    ASSERT_TRUE(bin.ok());
    EXPECT_EQ(bin.size(), 300u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), bin.image.begin()));
    EXPECT_EQ(bin.image[300], 0xFF);
    Load empty(files.Write("e.bin", QByteArray()));
    EXPECT_TRUE(empty.ok());
    EXPECT_EQ(empty.size(), 0u);
}

TEST(IntelHexReader, NothingIsStoredOutsideTheImage) {
    TempFiles files;
    Load high(files.Write("a.hex", ":020000040040BA\r\n" + DataRecord(0, 16, 1) + kEnd));
    EXPECT_EQ(high.message(), "Address Error: line 2");
    Load straddle(files.Write("b.hex", ":02000004003FBB\r\n" + DataRecord(0xFFF8, 16, 1) + kEnd));
    EXPECT_EQ(straddle.message(), "Address Error: line 2");
    EXPECT_EQ(straddle.image[0x3FFFF8], 0xFF);
    Load big(files.Write("big.bin", std::vector<std::uint8_t>(ImageBuffer::kSize + 1, 7)));
    EXPECT_FALSE(big.ok());
    EXPECT_FALSE(big.message().isEmpty());
    EXPECT_TRUE(Load(files.Write("full.bin", std::vector<std::uint8_t>(ImageBuffer::kSize, 7))).ok());
}

TEST(IntelHexReader, ShortOrDamagedLinesFailWithTheirLineNumber) {
    TempFiles files;
    EXPECT_EQ(Load(files.Write("a.hex", DataRecord(0, 1, 0) + ":10000000AABB\r\n" + kEnd)).message(),
              "Format Error: line 2");
    EXPECT_EQ(Load(files.Write("b.hex", ":0100000G11EE\r\n" + kEnd)).message(), "Format Error: line 1");
    EXPECT_EQ(Load(files.Write("c.hex", ":01000000X1EE\r\n" + kEnd)).message(), "Format Error: line 1");
    EXPECT_EQ(Load(files.Write("d.hex", ":0200000400\r\n" + kEnd)).message(), "Format Error: line 1");
    EXPECT_EQ(Load(files.Write("e.hex", "\r\n" + kEnd)).message(), "Format Error: line 1");
}

TEST(IntelHexReader, ProgressIsPostedAtMostAHundredTimesInOrder) {
    TempFiles files;
    QByteArray text;
    for (int a = 0; a < 0x10000; a += 16) text += DataRecord(a, 16, a & 0xFF);
    Load load(files.Write("a.hex", text + kEnd));
    ASSERT_TRUE(load.ok());
    ASSERT_FALSE(load.percents.empty());
    EXPECT_LE(load.percents.size(), 100u);
    EXPECT_EQ(load.percents.front(), 2);
    EXPECT_EQ(load.percents.back(), 100);
    for (std::size_t i = 1; i < load.percents.size(); ++i) EXPECT_EQ(load.percents[i], load.percents[i - 1] + 1);
    // A file of few lines jumps over steps, and posting stops at the first jump.
    Load few(files.Write("b.hex", DataRecord(0, 16, 1) + kEnd));
    EXPECT_TRUE(few.percents.empty());
}

// Files written by independent tools read back to the same bytes.
TEST(IntelHexReader, ReadsWhatSrecCatAndObjcopyWrite) {
    TempFiles files;
    std::mt19937 random(7);
    for (bool sparse : {false, true}) {
        std::vector<std::uint8_t> bytes(0x60000);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = sparse && (i / 4096) % 3 != 0 ? 0xFF : std::uint8_t(random());
        const QString bin = files.Write("in.bin", bytes);
        for (int lineLength : {16, 32}) {
            const QString hex = files.Path(QString("srec%1.hex").arg(lineLength));
            if (!RunTool("srec_cat", {bin, "-binary", "-unfill", "0xFF", "16", "-o", hex, "-intel",
                                      "-output_block_size", QString::number(lineLength)}))
                GTEST_SKIP() << "srec_cat is not installed";
            Load load(hex);
            ASSERT_TRUE(load.ok()) << load.message().toStdString();
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), load.image.begin()));
        }
        const QString objHex = files.Path("obj.hex");
        if (!RunTool("objcopy", {"-I", "binary", "-O", "ihex", bin, objHex})) GTEST_SKIP() << "no objcopy";
        Load load(objHex);
        ASSERT_TRUE(load.ok()) << load.message().toStdString();
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), load.image.begin()));
        EXPECT_EQ(load.size(), bytes.size());
    }
}
