#include "cli/recipe_command.h"

#include <QFileInfo>

#include "cli/cli_runner.h"
#include "cli/console.h"
#include "image/checksum.h"
#include "production/recipe_builder.h"
#include "production/recipe_file.h"
#include "production/serial_field_json.h"

namespace {

RecipeOptions OptionsOf(const CliOptions& o, QStringList* problems) {
    RecipeOptions r;
    r.name = o.recipeName.isEmpty() ? QFileInfo(o.file).completeBaseName() : o.recipeName;
    r.imageFile = o.image;
    r.chip = o.chip;
    r.expectedChip = o.expectedChip;
    r.access = o.access;
    r.verify = o.verify;
    for (const QString& json : o.fields) {
        SerialField field;
        if (ParseSerialField(json.toUtf8(), &field, problems)) r.fields << field;
    }
    return r;
}

}  // namespace

int RunRecipeNew(const CliOptions& options, Console& console) {
    QStringList problems;
    const RecipeOptions given = OptionsOf(options, &problems);
    Recipe recipe;
    if (problems.isEmpty()) NewRecipe(options.file, given, &recipe, &problems);
    QString error;
    if (problems.isEmpty() && !WriteRecipe(options.file, recipe, &error))
        problems << "cannot write " + options.file + ": " + error;
    for (const QString& problem : problems) console.Err("brellix-cli: " + problem);
    if (!problems.isEmpty()) return EXIT_USAGE;
    if (!options.quiet)
        console.Out(QString("recipe %1: %2, %3 bytes, CRC-32 %4, %5 serial field(s)")
                        .arg(options.file, recipe.imagePath)
                        .arg(recipe.imageSize)
                        .arg(Crc32Text(recipe.imageCrc))
                        .arg(recipe.fields.size()));
    return EXIT_OK;
}
