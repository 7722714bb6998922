#include <gtest/gtest.h>

#include <QStandardPaths>
#include <random>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "image/read_back_writer.h"
#include "image/srecord_reader.h"
#include "image/srecord_writer.h"
#include "support/temp_files.h"

namespace {

// One record with its checksum; fix is added to the right checksum.
QByteArray Rec(int type, std::uint32_t address, const QByteArray& data, int fix = 0) {
    static const int kAddressBytes[] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const int width = kAddressBytes[type];
    const int count = width + int(data.size()) + 1;
    unsigned sum = unsigned(count);
    QByteArray line = QString::asprintf("S%d%02X", type, count).toLatin1();
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8) sum += (address >> shift) & 0xFF;
    line += QString::asprintf("%0*X", 2 * width, address).toLatin1() + data.toHex().toUpper();
    for (char c : data) sum += std::uint8_t(c);
    return line + QString::asprintf("%02X", (~sum + unsigned(fix)) & 0xFF).toLatin1() + "\r\n";
}

struct Parsed {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(ImageBuffer::kSize, 0xFF);
    ImportResult result;
    explicit Parsed(const QByteArray& text) {
        result = ReadSRecord(reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size()),
                             image.data(), {});
    }
};

QByteArray Bytes(const std::vector<std::uint8_t>& image, std::uint32_t from, std::uint32_t to) {
    return QByteArray(reinterpret_cast<const char*>(image.data()) + from, qsizetype(to - from));
}

QByteArray Text(const std::vector<std::uint8_t>& image, std::uint32_t from, std::uint32_t to, const QString& name) {
    QByteArray text;
    WriteSRecordRange(image.data(), from, to, name, [&text](const char* piece, std::size_t length) {
        text.append(piece, qsizetype(length));
        return true;
    });
    return text;
}

}  // namespace

TEST(SRecord, ReadsDataHeaderCountAndStart) {
    const QByteArray text = Rec(0, 0, "boot\x01 v2") + Rec(1, 0x10, "\x11\x12") + Rec(2, 0x12345, "\x22") +
                            Rec(3, 0x3FFFFE, "\x33\x34") + Rec(5, 3, {}) + Rec(8, 0x123456, {}) + "S1 not read";
    Parsed p(text);
    ASSERT_TRUE(p.result.ok) << p.result.message.toStdString();
    EXPECT_EQ(p.result.format, ImageFormat::SRecord);
    EXPECT_EQ(p.result.header, "boot v2");
    EXPECT_TRUE(p.result.hasStart);
    EXPECT_EQ(p.result.start, 0x123456u);
    EXPECT_EQ(Bytes(p.image, 0x0F, 0x13), "\xFF\x11\x12\xFF");
    EXPECT_EQ(p.image[0x12345], 0x22);
    EXPECT_EQ(Bytes(p.image, 0x3FFFFE, 0x400000), "\x33\x34");
    EXPECT_EQ(p.result.imageSize, ImageBuffer::kSize);

    // Line feeds alone, no count and no start record: the file's end ends it.
    Parsed plain(Rec(1, 0x100, "\x01").replace("\r\n", "\n") + Rec(1, 0x80, "\x02").chopped(2));
    ASSERT_TRUE(plain.result.ok);
    EXPECT_FALSE(plain.result.hasStart);
    EXPECT_EQ(plain.result.imageSize, 0x180u);  // the page of 0x100 holds data, though 0x80 came last

    // Past 65535 records an S5 can hold only the count's low 16 bits.
    QByteArray many;
    for (std::uint32_t a = 0; a <= 0x10000; ++a) many += Rec(3, a, "\x01");
    EXPECT_TRUE(Parsed(many + Rec(5, 1, {})).result.ok);
    EXPECT_EQ(Parsed(many + Rec(5, 2, {})).result.message, "Record Count Error: line 65538");
}

TEST(SRecord, DamagedFilesFailNamingTheLine) {
    const QByteArray one = Rec(1, 0, "\x01\x02");
    const struct {
        const char* name;
        QByteArray text;
        QString message;
    } cases[] = {
        {"checksum", one + Rec(1, 2, "\x03", 1), "Checksum Error: line 2"},
        {"header checksum", Rec(0, 0, "x", 5) + one, "Checksum Error: line 1"},
        {"short record", one + "S1130000AABB\r\n", "Format Error: line 2"},
        {"short at the end", one + "S10", "Format Error: line 2"},
        {"count below the address", "S1020000FD\r\n", "Format Error: line 1"},
        {"odd digits", one.chopped(2) + "0\r\n", "Format Error: line 1"},
        {"longer than its count", one.chopped(2) + "00\r\n", "Format Error: line 1"},
        {"non-hex digit", "S1050000G1EE\r\n", "Format Error: line 1"},
        {"not a record", one + ":0100000011EE\r\n", "Format Error: line 2"},
        {"carriage return alone", "\r\n" + one, "Format Error: line 1"},
        {"count mismatch", one + one + Rec(5, 3, {}), "Record Count Error: line 3"},
        {"24-bit count mismatch", one + Rec(6, 0, {}), "Record Count Error: line 2"},
        {"beyond 4 MiB", one + Rec(3, 0x400000, "\x01"), "Address Error: line 2"},
        {"across the end", Rec(2, 0x3FFFF8, QByteArray(16, 1)), "Address Error: line 1"},
        {"lone line feed", one + "\n" + one, "Unexcepted End file, Format Error!"},
        {"empty", "", "Unexcepted End file, Format Error!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed p(c.text);
        EXPECT_FALSE(p.result.ok);
        EXPECT_EQ(p.result.message, c.message);
    }
    // A record type there is none of ends the load without a message box.
    Parsed s4("S4030000FC\r\n");
    EXPECT_FALSE(s4.result.ok);
    EXPECT_TRUE(s4.result.message.isEmpty());
    EXPECT_EQ(s4.result.reason, "Record Type Error: line 1");
}

TEST(SRecord, FileEndingsChooseTheReaderAndAStopEndsIt) {
    TempFiles files;
    const QByteArray text = Rec(1, 0, "\x5A") + Rec(9, 0, {});
    for (const char* name : {"a.srec", "a.S19", "a.s28", "a.s37", "a.MOT"}) {
        std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
        const FileLoadOutcome o = loadImageFile(files.Write(name, text), image.data(), {});
        EXPECT_TRUE(o.result.ok) << name;
        EXPECT_EQ(o.result.format, ImageFormat::SRecord) << name;
        EXPECT_EQ(image[0], 0x5A) << name;
    }
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
    const std::atomic<bool> stop{true};
    EXPECT_TRUE(ReadSRecord(reinterpret_cast<const std::uint8_t*>(text.constData()), std::size_t(text.size()),
                            image.data(), {}, &stop)
                    .stopped);
}

TEST(SRecord, WriterPicksTheRecordKindByTheLastAddress) {
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
    for (std::size_t i = 0; i < image.size(); i += 7) image[i] = std::uint8_t(i);
    EXPECT_EQ(Text(image, 0x18, 0x48, "/some/dir/dump.s19"),
              Rec(0, 0, "dump.s19") + Rec(1, 0x18, Bytes(image, 0x18, 0x20)) + Rec(1, 0x20, Bytes(image, 0x20, 0x40)) +
                  Rec(1, 0x40, Bytes(image, 0x40, 0x48)) + Rec(5, 3, {}) + Rec(9, 0, {}));
    EXPECT_EQ(Text(image, 0xFFFF, 0x10001, "d.s28"),
              Rec(0, 0, "d.s28") + Rec(2, 0xFFFF, Bytes(image, 0xFFFF, 0x10000)) +
                  Rec(2, 0x10000, Bytes(image, 0x10000, 0x10001)) + Rec(5, 2, {}) + Rec(8, 0, {}));
    EXPECT_TRUE(Text(image, 0, ImageBuffer::kSize, "all.s28").endsWith(Rec(6, 0x20000, {}) + Rec(8, 0, {})));

    // The whole image leaves blank lines out.
    std::vector<std::uint8_t> blank(ImageBuffer::kSize, 0xFF);
    blank[0x21] = 0;
    QByteArray whole;
    WriteSRecord(blank.data(), "w.srec", [&whole](const char* piece, std::size_t length) {
        whole.append(piece, qsizetype(length));
        return true;
    });
    EXPECT_EQ(whole, Rec(0, 0, "w.srec") + Rec(1, 0x20, Bytes(blank, 0x20, 0x40)) + Rec(5, 1, {}) + Rec(9, 0, {}));
    EXPECT_TRUE(SavedFormat("X.S37") == ImageFormat::SRecord && SavedFormat("a.mot") == ImageFormat::SRecord &&
                SavedFormat("a.ldr") == ImageFormat::IntelHex && SavedFormat("a.BIN") == ImageFormat::Binary);
}

// Sparse images written by srec_cat in each record kind load to the bytes
// srec_cat itself reads from them; what Brellix writes of the same image,
// srec_cat reads back to the same bytes.
TEST(SRecord, SrecCatAndBrellixReadEachOthersFiles) {
    if (QStandardPaths::findExecutable("srec_cat").isEmpty()) GTEST_SKIP() << "srec_cat is not installed";
    TempFiles files;
    const struct {
        const char* ending;
        int addressLength;
        std::uint32_t space;
    } kinds[] = {{"s19", 2, 0x10000}, {"s28", 3, ImageBuffer::kSize}, {"s37", 4, ImageBuffer::kSize}};
    for (int seed = 0; seed < 200; ++seed) {
        SCOPED_TRACE(seed);
        const auto& kind = kinds[seed % 3];
        std::mt19937 random{std::uint32_t(seed)};
        // Up to six blocks in a span somewhere in the kind's space; the
        // binaries compared hold the span only, so the table stays quick.
        const std::uint32_t span = std::min(kind.space, 1024u << (random() % 10));
        const std::uint32_t base = random() % (kind.space - span + 1);
        const int blocks = 1 + int(random() % 6);
        const std::uint32_t slot = span / std::uint32_t(blocks);
        std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
        QStringList args;
        std::uint32_t first = 0, top = 0;
        for (int b = 0; b < blocks; ++b) {
            const std::uint32_t longest = std::min<std::uint32_t>(slot, 1u << (random() % 14));
            const std::uint32_t length = 1 + random() % longest;
            const std::uint32_t at = base + std::uint32_t(b) * slot + random() % (slot - length + 1);
            for (std::uint32_t i = at; i < at + length; ++i) image[i] = std::uint8_t(random());
            args << files.Write(QString("b%1.bin").arg(b), Bytes(image, at, at + length)) << "-binary" << "-offset"
                 << QString::number(at);
            if (b == 0) first = at;
            top = at + length;
        }
        const QString theirs = files.Path(QString("x.") + kind.ending);
        args << "-o" << theirs << "-motorola" << QString("-address-length=%1").arg(kind.addressLength);
        ASSERT_TRUE(RunTool("srec_cat", args));
        std::vector<std::uint8_t> loaded(ImageBuffer::kSize, 0xFF);
        const FileLoadOutcome o = loadImageFile(theirs, loaded.data(), {});
        ASSERT_TRUE(o.result.ok) << o.result.message.toStdString();
        EXPECT_EQ(o.result.imageSize, ((top - 1) / 128 + 1) * 128);

        // Ours: the range a read gave, or the whole image as the program save
        // writes it (whole lines, so srec_cat is told to keep to the range).
        const QString ours = files.Path("ours.s37");
        QByteArray text;
        if (seed % 2 == 0) {
            text = Text(loaded, first, top, ours);
        } else {
            WriteSRecord(loaded.data(), ours, [&text](const char* piece, std::size_t length) {
                text.append(piece, qsizetype(length));
                return true;
            });
        }
        files.Write("ours.s37", text);

        // What srec_cat reads from both files, [first, top) of each with 0xFF
        // where a file holds nothing, side by side in one binary.
        const QString from = QString::number(first), to = QString::number(top), bin = files.Path("read.bin");
        ASSERT_TRUE(RunTool("srec_cat", {theirs, "-crop", from, to, "-fill", "0xFF", from, to, "-offset", "-" + from,
                                         ours, "-crop", from, to, "-fill", "0xFF", from, to, "-offset",
                                         QString::number(qint64(top) - 2 * qint64(first)), "-o", bin, "-binary"}));
        const QByteArray both = TempFiles::Read(bin);
        const QByteArray expected = both.left(top - first);
        ASSERT_EQ(expected, Bytes(image, first, top));
        EXPECT_TRUE(loaded == image);
        EXPECT_TRUE(both.mid(top - first) == expected);
    }
}
