#include "cli/recipe_station.h"

#include <QDir>
#include <algorithm>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include "brellix_version.h"
#include "engine/chip_catalogue.h"
#include "image/checksum.h"
#include "production/recipe_file.h"

namespace {

QString ChipName(int chip) {
    if (chip < 0) return "auto";
    const std::string_view text = ChipCatalogue::listText(chip);
    return QString::fromLatin1(text.data(), int(text.size()));
}

QString AccessName(std::uint8_t access) { return access == 0 ? "direct" : "jtag"; }

// What the command line says that the recipe says otherwise.
void Contradictions(const CliOptions& o, const Recipe& r, QStringList* problems) {
    const int chip = r.chip >= 0 ? r.chip : r.expectedChip;
    if (o.chipGiven && o.chip != r.chip && o.chip != chip)
        *problems << "--chip " + ChipName(o.chip) + " contradicts the recipe's chip " + ChipName(chip);
    if (o.accessGiven && o.access != r.access)
        *problems << "--access " + AccessName(o.access) + " contradicts the recipe's access " +
                         AccessName(r.access);
    if (o.verify && !r.verify) *problems << "--verify contradicts the recipe, which does not verify";
    // A run asked for more units than a field has values for would stop part way.
    const int units = o.count > 0 ? o.count : r.stop.units;
    for (qsizetype i = 0; i < r.fields.size(); ++i) {
        const SerialField& field = r.fields[i];
        if (units <= 0 || field.valueCount() >= std::uint64_t(units)) continue;
        *problems << QString("%1: fields[%2]: %3 has %4 %5, fewer than the %6 units asked for")
                         .arg(QFileInfo(o.recipe).fileName())
                         .arg(i)
                         .arg(field.kind == FieldKind::Csv ? field.csvFile : field.name)
                         .arg(field.valueCount())
                         .arg(field.kind == FieldKind::Csv ? "rows" : "values")
                         .arg(units);
    }
    if (o.stopAfterFailuresGiven && r.stop.afterFailures > 0 && o.stopAfterFailures != r.stop.afterFailures)
        *problems << QString("--stop-after-failures %1 contradicts the recipe's stop.after_failures %2")
                         .arg(o.stopAfterFailures)
                         .arg(r.stop.afterFailures);
}

}  // namespace

bool RecipeStation::Prepare(CliOptions& options, Recipe* recipe, QStringList* problems) {
    if (!LoadRecipe(options.recipe, recipe, problems)) return false;
    Contradictions(options, *recipe, problems);
    if (!problems->isEmpty()) return false;
    options.file = recipe->ImageFilePath();
    // Auto with a chip expected: the chip is asked for by its id, and any other chip fails the unit.
    options.chip = recipe->chip >= 0 ? recipe->chip : recipe->expectedChip;
    options.access = recipe->access;
    options.verify = recipe->verify;
    if (!options.stopAfterFailuresGiven) options.stopAfterFailures = recipe->stop.afterFailures;
    if (options.db.isEmpty()) options.db = DefaultDatabase(options.recipe);
    return true;
}

QString RecipeStation::DefaultDatabase(const QString& recipePath) {
    const QFileInfo file(recipePath);
    return file.dir().filePath(file.completeBaseName() + ".sqlite");
}

std::unique_ptr<RecipeStation> RecipeStation::Open(const CliOptions& options, const Recipe& recipe,
                                                   std::uint32_t imageCrc, QString* error) {
    // The spool stays on the station, beside the recipe, whichever database the record is on.
    const QFileInfo file(options.recipe);
    const QString spool = file.dir().filePath(file.completeBaseName() + ".spool.sqlite");
    std::unique_ptr<RecordStore> store = RecordStore::Open(options.db, spool, error);
    if (!store) return nullptr;
    const RunInfo run{options.station.isEmpty() ? QSysInfo::machineHostName() : options.station,
                      options.operatorName, recipe.name, recipe.version, Crc32Text(imageCrc),
                      BRELLIX_VERSION};
    std::unique_ptr<RecipeStation> station(new RecipeStation(recipe, std::move(store)));
    for (const SerialField& field : recipe.fields)
        if (!station->store_->DefineCounter(recipe.CounterName(field), field.valueCount(), error))
            return nullptr;
    if (!station->store_->StartRun(run, error)) return nullptr;
    return station;
}

RecipeStation::RecipeStation(const Recipe& recipe, std::unique_ptr<RecordStore> store)
    : recipe_(recipe), store_(std::move(store)) {
    for (const SerialField& field : recipe_.fields) counters_ << recipe_.CounterName(field);
}

QStringList RecipeStation::FieldNames() const {
    QStringList names;
    for (const SerialField& field : recipe_.fields) names << field.name;
    return names;
}

RecipeStation::Begin RecipeStation::BeginUnit(RecipeUnit* unit, QString* why) {
    *unit = {};
    switch (store_->ReserveUnit(counters_, &unit->start, why)) {
        case RecordStore::ReserveStatus::Reserved: break;
        case RecordStore::ReserveStatus::Exhausted: return Begin::Exhausted;
        case RecordStore::ReserveStatus::Unreachable: return Begin::Unreachable;
        case RecordStore::ReserveStatus::Failed: return Begin::Failed;
    }
    unit->clock.start();
    if (Describe(unit, why)) return Begin::Started;
    // Values that do not encode program nothing: they go back at once.
    UnitRecord record;
    record.result = UnitResult::Cancelled;
    record.step = "serial fields";
    record.detail = *why;
    CloseUnit(*unit, record);
    return Begin::Failed;
}

// The unit's patches and its values as the log and the record show them.
bool RecipeStation::Describe(RecipeUnit* unit, QString* why) const {
    const QList<std::uint64_t> values = unit->start.values();
    if (!BuildUnitPatches(recipe_.fields, values, &unit->patches, why)) return false;
    QJsonObject fields;
    for (qsizetype i = 0; i < recipe_.fields.size() && i < values.size(); ++i) {
        const QString text = recipe_.fields[i].ValueText(values[i]);
        unit->values << text;
        fields[recipe_.fields[i].name] = text;
    }
    unit->fieldsJson = QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact));
    return true;
}

bool RecipeStation::CloseUnit(const RecipeUnit& unit, UnitRecord record) {
    record.unitNumber = unit.start.unitNumber;
    record.fields = unit.fieldsJson;
    record.durationMs = unit.clock.isValid() ? unit.clock.elapsed() : 0;
    record.utc = QDateTime::currentDateTimeUtc();
    return store_->CloseUnit(record, unit.start.reservations) != RecordStore::CloseStatus::Failed;
}

std::int64_t RecipeStation::ValuesLeft() {
    std::int64_t left = -1;
    for (const QString& counter : counters_) {
        const std::int64_t n = store_->ValuesLeft(counter);
        if (n < 0) return -1;
        left = left < 0 ? n : std::min(left, n);
    }
    return left;
}

bool RecipeStation::Finish(QString* error) {
    // Ending the run sends the spool first.
    return store_->FinishRun(error);
}
