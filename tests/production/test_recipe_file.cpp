#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "image/checksum.h"
#include "production/recipe_builder.h"
#include "production/recipe_file.h"
#include "production/serial_field_json.h"
#include "support/qt_printers.h"

namespace {

// A recipe whose image is 4096 bytes; each row changes one part of it.
QByteArray RecipeText(const QString& fields, const QString& extra = {}) {
    return QString(R"({"name": "line", "version": "1.0",
        "image": {"path": "fw.bin", "size": 4096, "crc32": "89ABCDEF"},
        "chip": {"name": "MX25L3208"}, %1 "fields": [%2]})")
        .arg(extra, fields)
        .toUtf8();
}

const char kCounter[] =
    R"({"name": "serial", "kind": "counter", "address": "0x100", "start": 1, "last": 9999,
                            "encoding": {"format": "ascii-dec", "width": 4, "prefix": "SN"}})";

struct ValidationRow {
    const char* what;
    QByteArray json;
    QStringList problems;
};

class RecipeValidation : public testing::TestWithParam<ValidationRow> {};

TEST_P(RecipeValidation, NamesEveryProblemByItsKeyPath) {
    QTemporaryDir dir;
    QFile csv(dir.filePath("keys.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("key,cal\n00112233,7\n\"44556677\",300\n");
    csv.close();
    Recipe recipe;
    QStringList problems;
    const bool ok = ParseRecipe(GetParam().json, dir.path(), &recipe, &problems);
    EXPECT_EQ(problems, GetParam().problems);
    EXPECT_EQ(ok, GetParam().problems.isEmpty());
}

const QString kMac =
    R"({"name": "mac", "kind": "mac", "address": 512, "start": "02:00:00:00:00:FE", "count": 4})";
const QString kCsv = R"({"name": "keys", "kind": "csv", "file": "keys.csv", "columns": [
    {"column": "key", "address": "0x200", "encoding": {"format": "bytes", "width": 4}},
    {"column": "cal", "address": "0x210", "encoding": {"format": "le", "width": 1}}]})";

INSTANTIATE_TEST_SUITE_P(
    Rows, RecipeValidation,
    testing::Values(
        ValidationRow{"good", RecipeText(kCounter), {}},
        ValidationRow{"good mac and csv",
                      RecipeText(kMac + "," + R"({"name": "k", "kind": "csv", "file": "keys.csv",
        "columns": [{"column": "key", "address": 1024, "encoding": {"format": "text", "width": 8}}]})"),
                      {}},
        ValidationRow{"not JSON", "{\"name\": ", {"not JSON: unterminated object at offset 9"}},
        ValidationRow{"not an object", "[1]", {"not a recipe: the document is not an object"}},
        ValidationRow{
            "unknown keys",
            RecipeText(QString(kCounter).replace("\"last\"", "\"lats\""), R"("colour": 1,)"),
            {"colour: unknown key", "fields[0].lats: unknown key", "fields[0].last: missing"}},
        ValidationRow{
            "wrong types",
            RecipeText(QString(kCounter).replace("\"0x100\"", "true"), R"("verify": "yes",)"),
            {"verify: expected true or false",
             "fields[0].address: expected a whole number (or a string in decimal or 0x-hex)"}},
        ValidationRow{"missing",
                      R"({"version": "1", "chip": {"name": "auto"}})",
                      {"name: missing", "image: missing", "chip.expect: missing"}},
        ValidationRow{"bad chip and access",
                      RecipeText("", R"("access": "usb",)").replace("MX25L3208", "Z80"),
                      {"chip.name: no chip \"Z80\"", "access: \"usb\" is neither direct nor jtag"}},
        ValidationRow{"outside",
                      RecipeText(QString(kCounter).replace("0x100", "0xFFE")),
                      {"fields[0]: 0x000FFE..0x001003 lies outside the image (4096 bytes)"}},
        ValidationRow{"csv cell too large",
                      RecipeText(QString(kCounter) + "," + kCsv),
                      {"fields[1].columns[1]: keys.csv row 2: 300 does not fit in 1 byte(s)"}},
        ValidationRow{
            "overlapping fields",
            RecipeText(QString(kCounter) + "," + QString(kMac).replace("512", "\"0x104\"")),
            {"fields[1]: 0x000104..0x000109 overlaps fields[0] (0x000100..0x000105)"}},
        ValidationRow{"counter past its width",
                      RecipeText(QString(kCounter).replace("9999", "10000")),
                      {"fields[0].last: 10000 does not fit in 4 digit(s)"}},
        ValidationRow{"mac past the end",
                      RecipeText(QString(kMac).replace("02:00:00:00:00:FE", "FF:FF:FF:FF:FF:FE")),
                      {"fields[0].count: the range runs past FF:FF:FF:FF:FF:FF"}},
        ValidationRow{"csv column and file",
                      RecipeText(QString(kCsv).replace("\"cal\"", "\"gain\"") + "," +
                                 R"({"name": "k2", "kind": "csv", "file": "none.csv", "columns":
                                                        [{"column": "x", "address": 2048, "encoding": {"format": "text", "width": 2}}]})"),
                      {"fields[0].columns[1].column: keys.csv has no column \"gain\"",
                       "fields[1].file: none.csv: No such file or directory"}},
        ValidationRow{"bad encoding",
                      RecipeText(QString(kCounter).replace("ascii-dec", "bcd")),
                      {"fields[0].encoding.format: \"bcd\" is none of le, be, ascii-dec, "
                       "ascii-hex, bytes, text"}},
        ValidationRow{
            "same name twice",
            RecipeText(QString(kCounter) + "," + QString(kCounter).replace("0x100", "0x300")),
            {"fields[1].name: \"serial\" is the name of fields[0]"}}),
    [](const testing::TestParamInfo<ValidationRow>& info) {
        return QString(info.param.what).replace(' ', '_').toStdString();
    });

TEST(RecipeFile, WrittenRecipeReadsBackTheSame) {
    QTemporaryDir dir;
    Recipe recipe;
    QStringList problems;
    ASSERT_TRUE(ParseRecipe(RecipeText(QString(kCounter) + "," + kMac,
                                       R"("access": "direct", "stop": {"after_failures": 3},)"),
                            dir.path(), &recipe, &problems))
        << problems.join('\n').toStdString();
    QString error;
    ASSERT_TRUE(WriteRecipe(dir.filePath("line.json"), recipe, &error)) << error.toStdString();
    Recipe again;
    ASSERT_TRUE(LoadRecipe(dir.filePath("line.json"), &again, &problems))
        << problems.join('\n').toStdString();
    EXPECT_EQ(RecipeToJson(again), RecipeToJson(recipe));
    EXPECT_EQ(again.access, 0);
    EXPECT_EQ(again.stop.afterFailures, 3);
    EXPECT_EQ(again.fields.at(1).start, 0x0200000000FEull);
}

TEST(RecipeFile, AFieldGivenOnItsOwn) {
    SerialField field;
    QStringList problems;
    EXPECT_TRUE(ParseSerialField(kCounter, &field, &problems));
    EXPECT_EQ(field.valueCount(), 9999u);
    EXPECT_FALSE(
        ParseSerialField(R"({"name": "mac", "kind": "mac", "count": -1})", &field, &problems));
    EXPECT_EQ(
        problems,
        (QStringList{"field.address: missing", "field.start: missing",
                     "field.count: expected a whole number (or a string in decimal or 0x-hex)"}));
}

TEST(RecipeFile, ProblemsOfAFileStartWithItsName) {
    QTemporaryDir dir;
    QFile file(dir.filePath("line.json"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"name": 1})");
    file.close();
    Recipe recipe;
    QStringList problems;
    EXPECT_FALSE(LoadRecipe(file.fileName(), &recipe, &problems));
    EXPECT_EQ(problems.first(), "line.json: name: expected a string");
}

TEST(RecipeBuilder, NewRecipeMeasuresTheImageAndARecipeRefusesAChangedOne) {
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("images"));
    QFile image(dir.filePath("images/fw.bin"));
    ASSERT_TRUE(image.open(QIODevice::WriteOnly));
    const QByteArray bytes(4096, '\x5A');
    image.write(bytes);
    image.close();
    RecipeOptions options;
    options.imageFile = image.fileName();
    options.chip = RecipeChipIndex("mx25l3208");
    Recipe recipe;
    QStringList problems;
    ASSERT_TRUE(NewRecipe(dir.filePath("line.json"), options, &recipe, &problems))
        << problems.join('\n').toStdString();
    EXPECT_EQ(recipe.name, "line");
    EXPECT_EQ(recipe.imagePath, "images/fw.bin");
    EXPECT_EQ(recipe.imageSize, 4096u);
    EXPECT_EQ(recipe.imageCrc, Crc32(reinterpret_cast<const std::uint8_t*>(bytes.data()), 4096));
    EXPECT_EQ(CheckRecipeImage(recipe), "");

    const QString actual = Crc32Text(recipe.imageCrc);
    recipe.imageCrc = 0x89ABCDEF;
    EXPECT_EQ(CheckRecipeImage(recipe),
              "fw.bin: CRC-32 " + actual + ", the recipe expects 89ABCDEF");
    EXPECT_EQ(ImageMismatch(recipe, {8192, 0}), "fw.bin: 8192 bytes, the recipe expects 4096");
    options.imageFile = dir.filePath("none.bin");
    EXPECT_FALSE(NewRecipe(dir.filePath("line.json"), options, &recipe, &problems));
}

}  // namespace
