#include "production/recipe_checks.h"

#include <QFileInfo>
#include <vector>

#include "production/json_reader.h"

namespace {

constexpr std::uint64_t kMacLimit = 0xFFFFFFFFFFFFull;

// The bytes one field (or one CSV column) takes in the image.
struct Span {
    QString path;
    std::uint64_t address;
    std::uint64_t length;
};

QString Hex(std::uint64_t value) {
    return "0x" + QString("%1").arg(value, 6, 16, QChar('0')).toUpper();
}

QString SpanText(const Span& span) {
    return Hex(span.address) + ".." + Hex(span.address + span.length - 1);
}

QString FieldPath(qsizetype index) {
    return JsonReader::Index("fields", index);
}

void CheckNumbered(const SerialField& field, const QString& path, QStringList* problems) {
    if (field.kind == FieldKind::Counter && field.step == 0)
        problems->append(path + ".step: must be 1 or more");
    if (field.kind == FieldKind::Counter && field.last < field.start)
        problems->append(path + ".last: below start");
    if (field.kind == FieldKind::Mac && field.count == 0)
        problems->append(path + ".count: must be 1 or more");
    if (field.kind == FieldKind::Mac && field.count > 0 &&
        field.count - 1 > kMacLimit - field.start)
        problems->append(path + ".count: the range runs past FF:FF:FF:FF:FF:FF");
    const std::uint64_t count = field.valueCount();
    if (count == 0 || (field.kind == FieldKind::Mac && field.count - 1 > kMacLimit - field.start))
        return;
    // Every encoding grows with the value, so the last value fitting means all do.
    QByteArray bytes;
    QString error;
    const std::uint64_t largest = field.kind == FieldKind::Counter
                                      ? field.start + (count - 1) * field.step
                                      : field.start + count - 1;
    if (!EncodeNumber(largest, field.encoding, &bytes, &error))
        problems->append(path + (field.kind == FieldKind::Counter ? ".last: " : ".count: ") +
                         error);
}

void CheckTable(Recipe* recipe, SerialField& field, const QString& path, QStringList* problems) {
    auto table = std::make_shared<CsvTable>();
    QString error;
    if (!LoadCsvTable(recipe->FilePath(field.csvFile), table.get(), &error)) {
        problems->append(path + ".file: " + error);
        return;
    }
    const QString name = QFileInfo(field.csvFile).fileName();
    if (table->rows.isEmpty()) problems->append(QString("%1.file: %2 has no rows").arg(path, name));
    for (qsizetype c = 0; c < field.columns.size(); ++c) {
        const CsvColumn& column = field.columns[c];
        const QString at = JsonReader::Index(path + ".columns", c);
        const int index = table->column(column.column);
        if (index < 0) {
            problems->append(
                QString("%1.column: %2 has no column \"%3\"").arg(at, name, column.column));
            continue;
        }
        QByteArray bytes;
        for (qsizetype r = 0; r < table->rows.size(); ++r) {
            if (EncodeCell(table->rows[r].at(index), column.encoding, &bytes, &error)) continue;
            problems->append(QString("%1: %2 row %3: %4").arg(at, name).arg(r + 1).arg(error));
            break;
        }
    }
    field.table = table;
}

std::vector<Span> Spans(const Recipe& recipe) {
    std::vector<Span> spans;
    for (qsizetype i = 0; i < recipe.fields.size(); ++i) {
        const SerialField& field = recipe.fields[i];
        if (field.kind != FieldKind::Csv) {
            spans.push_back({FieldPath(i), field.address, std::uint64_t(field.encoding.length())});
            continue;
        }
        for (qsizetype c = 0; c < field.columns.size(); ++c) {
            const CsvColumn& column = field.columns[c];
            spans.push_back({JsonReader::Index(FieldPath(i) + ".columns", c), column.address,
                             std::uint64_t(column.encoding.length())});
        }
    }
    return spans;
}

void CheckPlacement(const Recipe& recipe, QStringList* problems) {
    const std::vector<Span> spans = Spans(recipe);
    for (std::size_t i = 0; i < spans.size(); ++i) {
        const Span& span = spans[i];
        if (span.address + span.length > recipe.imageSize) {
            problems->append(QString("%1: %2 lies outside the image (%3 bytes)")
                                 .arg(span.path, SpanText(span))
                                 .arg(recipe.imageSize));
        }
        for (std::size_t j = 0; j < i; ++j) {
            const Span& other = spans[j];
            if (span.address < other.address + other.length &&
                other.address < span.address + span.length) {
                problems->append(QString("%1: %2 overlaps %3 (%4)")
                                     .arg(span.path, SpanText(span), other.path, SpanText(other)));
            }
        }
    }
}

}  // namespace

void CheckRecipeFields(Recipe* recipe, QStringList* problems) {
    for (qsizetype i = 0; i < recipe->fields.size(); ++i) {
        SerialField& field = recipe->fields[i];
        for (qsizetype j = 0; j < i; ++j) {
            if (recipe->fields[j].name == field.name)
                problems->append(QString("%1.name: \"%2\" is the name of %3")
                                     .arg(FieldPath(i), field.name, FieldPath(j)));
        }
        if (field.kind == FieldKind::Csv) {
            CheckTable(recipe, field, FieldPath(i), problems);
        } else {
            CheckNumbered(field, FieldPath(i), problems);
        }
    }
    // Without the image's size every field would be named as outside it.
    if (recipe->imageSize > 0) CheckPlacement(*recipe, problems);
}
