#pragma once

#include <QElapsedTimer>
#include <QStringList>
#include <memory>

#include "cli/cli_options.h"
#include "production/patch_list.h"
#include "production/recipe.h"
#include "production/record_store.h"

// One unit of a recipe's run, from its reservation to its row.
struct RecipeUnit {
    UnitStart start;
    PatchList patches;
    QStringList values;  // each field's value as the log shows it
    QString fieldsJson;  // the same as the record keeps it
    QElapsedTimer clock;
};

// A recipe run at one station: the recipe checked against the command line,
// the record opened and the run started; then each unit reserved before its
// first request and closed after its last. The record decides which values a
// unit carries; the station only asks and reports.
class RecipeStation {
  public:
    enum class Begin { Started, Exhausted, Unreachable, Failed };

    // Loads the recipe named by --recipe and makes the options its own (the
    // image file, chip, access, verify). An option that contradicts it is a
    // problem, one line each, as is every problem of the recipe itself.
    static bool Prepare(CliOptions& options, Recipe* recipe, QStringList* problems);
    // Where the record is when --db does not say: an SQLite file beside the recipe.
    static QString DefaultDatabase(const QString& recipePath);
    // Opens the record and starts the run; nullptr with one line saying why.
    static std::unique_ptr<RecipeStation> Open(const CliOptions& options, const Recipe& recipe,
                                               std::uint32_t imageCrc, QString* error);

    Begin BeginUnit(RecipeUnit* unit, QString* why);
    // The unit's row; false when it reached neither the record nor the spool.
    bool CloseUnit(const RecipeUnit& unit, UnitRecord record);
    bool Finish(QString* error);
    // The units the values left would serve: the fewest left of any field's
    // counter; -1 without fields, or when the record cannot say.
    std::int64_t ValuesLeft();

    const Recipe& recipe() const { return recipe_; }
    QStringList FieldNames() const;
    std::int64_t runId() const { return store_->runId(); }
    QString location() const { return store_->location().Describe(); }

  private:
    RecipeStation(const Recipe& recipe, std::unique_ptr<RecordStore> store);
    bool Describe(RecipeUnit* unit, QString* why) const;

    Recipe recipe_;
    std::unique_ptr<RecordStore> store_;
    QStringList counters_;
};
