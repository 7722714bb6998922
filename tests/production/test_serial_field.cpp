#include <gtest/gtest.h>

#include "production/serial_field.h"
#include "support/qt_printers.h"

namespace {

FieldEncoding Enc(EncodingFormat format, int width, const char* prefix = "",
                  const char* suffix = "") {
    return {format, width, prefix, suffix};
}

// A value, or a CSV cell when cell is set, and the bytes it becomes (in hex) or why not.
struct EncodingRow {
    FieldEncoding encoding;
    std::uint64_t value;
    const char* cell;
    const char* bytesOrError;
};

class Encodings : public testing::TestWithParam<EncodingRow> {};

TEST_P(Encodings, WriteTheValueOrSayWhyNot) {
    const EncodingRow& row = GetParam();
    QByteArray bytes;
    QString error;
    const bool ok = row.cell ? EncodeCell(row.cell, row.encoding, &bytes, &error)
                             : EncodeNumber(row.value, row.encoding, &bytes, &error);
    EXPECT_EQ(ok ? QString::fromLatin1(bytes.toHex()) : error, row.bytesOrError);
    if (ok) {
        EXPECT_EQ(bytes.size(), row.encoding.length());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Encodings,
    testing::Values(
        EncodingRow{Enc(EncodingFormat::LittleEndian, 4), 0x12345678, nullptr, "78563412"},
        EncodingRow{Enc(EncodingFormat::BigEndian, 4), 0x12345678, nullptr, "12345678"},
        EncodingRow{Enc(EncodingFormat::LittleEndian, 1), 255, nullptr, "ff"},
        EncodingRow{Enc(EncodingFormat::LittleEndian, 1), 256, nullptr,
                    "256 does not fit in 1 byte(s)"},
        EncodingRow{Enc(EncodingFormat::BigEndian, 8), 0x0102030405060708ull, nullptr,
                    "0102030405060708"},
        EncodingRow{Enc(EncodingFormat::BigEndian, 6), 0x02AABBCCDDEEull, nullptr, "02aabbccddee"},
        EncodingRow{Enc(EncodingFormat::AsciiDecimal, 5, "SN", "\n"), 42, nullptr,
                    "534e30303034320a"},
        EncodingRow{Enc(EncodingFormat::AsciiDecimal, 2), 100, nullptr,
                    "100 does not fit in 2 digit(s)"},
        EncodingRow{Enc(EncodingFormat::AsciiHex, 4, "0x"), 0xBEEF, nullptr, "307842454546"},
        EncodingRow{Enc(EncodingFormat::Text, 4), 7, nullptr,
                    "text takes a CSV cell, not a number"},
        EncodingRow{Enc(EncodingFormat::Bytes, 4), 0, "00:11:22:ff", "001122ff"},
        EncodingRow{Enc(EncodingFormat::Bytes, 4), 0, "0011", "\"0011\" is not 4 bytes in hex"},
        EncodingRow{Enc(EncodingFormat::Bytes, 2), 0, "zz11", "\"zz11\" is not 2 bytes in hex"},
        EncodingRow{Enc(EncodingFormat::Text, 4), 0, "ab", "61620000"},
        EncodingRow{Enc(EncodingFormat::Text, 2), 0, "abc", "\"abc\" is longer than 2 bytes"},
        EncodingRow{Enc(EncodingFormat::LittleEndian, 2), 0, "0x1234", "3412"},
        EncodingRow{Enc(EncodingFormat::LittleEndian, 2), 0, "-5", "\"-5\" is not a number"}));

TEST(Encodings, ProblemsOfTheEncodingItself) {
    EXPECT_EQ(EncodingProblem(Enc(EncodingFormat::LittleEndian, 9)), "width must be 1 to 8 bytes");
    EXPECT_EQ(EncodingProblem(Enc(EncodingFormat::AsciiDecimal, 21)),
              "width must be 1 to 20 digits");
    EXPECT_EQ(EncodingProblem(Enc(EncodingFormat::BigEndian, 2, "S")),
              "prefix and suffix go only with ascii-dec and ascii-hex");
    EXPECT_EQ(EncodingProblem(Enc(EncodingFormat::AsciiHex, 2, "\xC3\xA9")),
              "prefix and suffix must be printable ASCII");
    EXPECT_EQ(EncodingProblem(Enc(EncodingFormat::AsciiHex, 2, "S")), "");
}

TEST(SerialFields, EachUnitGetsItsOwnPatchesFromEveryField) {
    SerialField counter;
    counter.name = "serial";
    counter.address = 0x100;
    counter.encoding = Enc(EncodingFormat::AsciiDecimal, 4, "SN");
    counter.start = 1000;
    counter.step = 10;
    counter.last = 1025;
    SerialField mac;
    mac.name = "mac";
    mac.kind = FieldKind::Mac;
    mac.address = 0x200;
    mac.encoding = Enc(EncodingFormat::BigEndian, 6);
    mac.start = 0x0200000000FFull;
    mac.count = 2;
    SerialField keys;
    keys.name = "keys";
    keys.kind = FieldKind::Csv;
    keys.columns = {{"key", 0x300, Enc(EncodingFormat::Bytes, 2)},
                    {"cal", 0x310, Enc(EncodingFormat::LittleEndian, 2)}};
    auto table = std::make_shared<CsvTable>();
    ASSERT_TRUE(SplitCsvLine("cal,key", &table->header));
    table->rows = {{"1", "aabb"}, {"0x102", "ccdd"}, {"3", "eeff"}};
    keys.table = table;

    EXPECT_EQ(counter.valueCount(), 3u);
    EXPECT_EQ(keys.valueCount(), 3u);
    PatchList patches;
    QString error;
    ASSERT_TRUE(BuildUnitPatches({counter, mac, keys}, {2, 1, 1}, &patches, &error))
        << error.toStdString();
    ASSERT_EQ(patches.size(), 4u);
    EXPECT_EQ(patches[0].address, 0x100u);
    EXPECT_EQ(patches[0].bytes, "SN1020");
    EXPECT_EQ(patches[1].address, 0x200u);
    EXPECT_EQ(patches[1].bytes.toHex(), "020000000100");
    EXPECT_EQ(patches[2].bytes.toHex(), "ccdd");
    EXPECT_EQ(patches[3].address, 0x310u);
    EXPECT_EQ(patches[3].bytes.toHex(), "0201");
    EXPECT_EQ(counter.ValueText(2), "SN1020");
    EXPECT_EQ(mac.ValueText(1), "02:00:00:00:01:00");
    EXPECT_EQ(keys.ValueText(1), "ccdd 0x102");
    EXPECT_FALSE(BuildUnitPatches({counter, mac, keys}, {3, 0, 0}, &patches, &error));
    EXPECT_EQ(error, "serial: value 3 is past the last of 3");
}

TEST(SerialFields, CsvCellsMayBeQuoted) {
    QStringList cells;
    EXPECT_TRUE(SplitCsvLine(R"(a,"b, c","say ""hi""",)", &cells));
    EXPECT_EQ(cells, (QStringList{"a", "b, c", "say \"hi\"", ""}));
    EXPECT_FALSE(SplitCsvLine(R"(a,"b)", &cells));
}

}  // namespace
