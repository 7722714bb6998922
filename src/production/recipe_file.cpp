#include "production/recipe_file.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>

#include "engine/chip_catalogue.h"
#include "image/checksum.h"
#include "production/json_reader.h"
#include "production/recipe_checks.h"
#include "production/serial_field_json.h"

namespace {

QString ChipName(int index) {
    if (index < 0) return "auto";
    const std::string_view text = ChipCatalogue::listText(index);
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

void ReadImage(JsonReader& reader, const QJsonObject& root, Recipe* recipe) {
    QJsonObject image;
    if (!reader.Object(root, {}, "image", &image)) return;
    reader.CheckKeys(image, "image", {"path", "size", "crc32"});
    reader.String(image, "image", "path", &recipe->imagePath);
    std::uint64_t size = 0;
    if (reader.Unsigned(image, "image", "size", &size, true, 0x400000))
        recipe->imageSize = std::uint32_t(size);
    QString crc;
    if (!reader.String(image, "image", "crc32", &crc)) return;
    bool ok = false;
    recipe->imageCrc = crc.toUInt(&ok, 16);
    if (!ok || crc.size() != 8)
        reader.Problem("image.crc32", "\"" + crc + "\" is not eight hex digits");
}

void ReadChip(JsonReader& reader, const QJsonObject& root, Recipe* recipe) {
    QJsonObject chip;
    if (!reader.Object(root, {}, "chip", &chip)) return;
    reader.CheckKeys(chip, "chip", {"name", "expect"});
    QString name, expect;
    if (reader.String(chip, "chip", "name", &name)) {
        recipe->chip = RecipeChipIndex(name);
        if (recipe->chip == -2) reader.Problem("chip.name", "no chip \"" + name + "\"");
    }
    const bool detect = recipe->chip == -1;
    if (!reader.String(chip, "chip", "expect", &expect, detect)) return;
    recipe->expectedChip = RecipeChipIndex(expect);
    if (!detect)
        reader.Problem("chip.expect", "goes only with the name \"auto\"");
    else if (recipe->expectedChip < 0)
        reader.Problem("chip.expect", "no chip \"" + expect + "\"");
}

void ReadAccess(JsonReader& reader, const QJsonObject& root, Recipe* recipe) {
    QString access;
    if (!reader.String(root, {}, "access", &access, false)) return;
    if (access == "direct" || access == "jtag")
        recipe->access = access == "jtag" ? 1 : 0;
    else
        reader.Problem("access", "\"" + access + "\" is neither direct nor jtag");
}

void ReadFields(JsonReader& reader, const QJsonObject& root, Recipe* recipe) {
    QJsonArray fields;
    if (!reader.Array(root, {}, "fields", &fields, false)) return;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString path = JsonReader::Index("fields", i);
        SerialField field;
        if (!fields.at(i).isObject())
            reader.Problem(path, "expected an object");
        else if (ReadSerialField(reader, fields.at(i).toObject(), path, &field))
            recipe->fields.append(field);
    }
}

void ReadStop(JsonReader& reader, const QJsonObject& root, Recipe* recipe) {
    QJsonObject stop;
    if (!reader.Object(root, {}, "stop", &stop, false)) return;
    reader.CheckKeys(stop, "stop", {"after_failures", "units"});
    std::uint64_t value = 0;
    if (reader.Unsigned(stop, "stop", "after_failures", &value, false, 1000000))
        recipe->stop.afterFailures = int(value);
    if (reader.Unsigned(stop, "stop", "units", &value, false, 1000000000))
        recipe->stop.units = int(value);
}

}  // namespace

int RecipeChipIndex(const QString& name) {
    if (name.compare("auto", Qt::CaseInsensitive) == 0) return -1;
    for (int i = 0; ChipCatalogue::isSelectable(i); ++i) {
        if (name.compare(ChipName(i), Qt::CaseInsensitive) == 0) return i;
    }
    return -2;
}

bool ParseRecipe(const QByteArray& json, const QString& directory, Recipe* recipe,
                 QStringList* problems) {
    *recipe = {};
    recipe->directory = directory;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (document.isNull()) {
        problems->append(
            QString("not JSON: %1 at offset %2").arg(error.errorString()).arg(error.offset));
        return false;
    }
    if (!document.isObject()) {
        problems->append("not a recipe: the document is not an object");
        return false;
    }
    const QJsonObject root = document.object();
    const qsizetype before = problems->size();
    JsonReader reader(problems);
    reader.CheckKeys(root, {},
                     {"name", "version", "image", "chip", "access", "verify", "fields", "stop"});
    reader.String(root, {}, "name", &recipe->name);
    reader.String(root, {}, "version", &recipe->version);
    ReadImage(reader, root, recipe);
    ReadChip(reader, root, recipe);
    ReadAccess(reader, root, recipe);
    reader.Bool(root, {}, "verify", &recipe->verify, false);
    ReadFields(reader, root, recipe);
    ReadStop(reader, root, recipe);
    CheckRecipeFields(recipe, problems);
    return problems->size() == before;
}

bool LoadRecipe(const QString& path, Recipe* recipe, QStringList* problems) {
    const QFileInfo info(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        problems->append(info.fileName() + ": " + file.errorString());
        return false;
    }
    QStringList found;
    const bool ok = ParseRecipe(file.readAll(), info.absolutePath(), recipe, &found);
    for (const QString& line : found) problems->append(info.fileName() + ": " + line);
    return ok;
}

QJsonObject RecipeToJson(const Recipe& recipe) {
    QJsonObject chip{{"name", ChipName(recipe.chip)}};
    if (recipe.chip < 0) chip["expect"] = ChipName(recipe.expectedChip);
    QJsonArray fields;
    for (const SerialField& field : recipe.fields) fields.append(SerialFieldToJson(field));
    QJsonObject root{
        {"name", recipe.name},
        {"version", recipe.version},
        {"image", QJsonObject{{"path", recipe.imagePath},
                              {"size", double(recipe.imageSize)},
                              {"crc32", Crc32Text(recipe.imageCrc)}}},
        {"chip", chip},
        {"access", recipe.access ? "jtag" : "direct"},
        {"verify", recipe.verify},
        {"fields", fields},
    };
    if (recipe.stop.afterFailures || recipe.stop.units) {
        root["stop"] = QJsonObject{{"after_failures", recipe.stop.afterFailures},
                                   {"units", recipe.stop.units}};
    }
    return root;
}

bool WriteRecipe(const QString& path, const Recipe& recipe, QString* error) {
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QJsonDocument(RecipeToJson(recipe)).toJson(QJsonDocument::Indented));
        if (file.commit()) return true;
    }
    *error = QFileInfo(path).fileName() + ": " + file.errorString();
    return false;
}
