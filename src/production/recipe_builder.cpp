#include "production/recipe_builder.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

#include "image/checksum.h"
#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "production/recipe_checks.h"

bool MeasureImage(const QString& path, LoadedImage* image, QString* error) {
    // The load writes anywhere in the 4 MiB space, blank where the file says nothing.
    auto bytes = std::make_unique<std::uint8_t[]>(ImageBuffer::kSize);
    std::fill_n(bytes.get(), ImageBuffer::kSize, ImageBuffer::kBlank);
    const FileLoadOutcome outcome = loadImageFile(path, bytes.get(), [](int) {});
    if (!outcome.result.ok) {
        const QString reason =
            outcome.result.reason.isEmpty() ? "not loaded" : outcome.result.reason.trimmed();
        *error = QFileInfo(path).fileName() + ": " + reason;
        return false;
    }
    image->size = outcome.result.imageSize;
    image->crc = Crc32(bytes.get(), image->size);
    return true;
}

bool NewRecipe(const QString& recipePath, const RecipeOptions& options, Recipe* recipe,
               QStringList* problems) {
    *recipe = {};
    recipe->directory = QFileInfo(recipePath).absolutePath();
    recipe->name = options.name.isEmpty() ? QFileInfo(recipePath).completeBaseName() : options.name;
    recipe->version = options.version;
    recipe->chip = options.chip;
    recipe->expectedChip = options.expectedChip;
    recipe->access = options.access;
    recipe->verify = options.verify;
    recipe->fields = options.fields;
    recipe->stop = options.stop;
    const QString imageFile = QFileInfo(options.imageFile).absoluteFilePath();
    recipe->imagePath = QDir(recipe->directory).relativeFilePath(imageFile);
    LoadedImage image;
    QString error;
    if (!MeasureImage(imageFile, &image, &error)) {
        problems->append(error);
        return false;
    }
    recipe->imageSize = image.size;
    recipe->imageCrc = image.crc;
    const qsizetype before = problems->size();
    if (recipe->chip == -1 && recipe->expectedChip < 0) problems->append("chip.expect: missing");
    CheckRecipeFields(recipe, problems);
    return problems->size() == before;
}

QString ImageMismatch(const Recipe& recipe, const LoadedImage& image) {
    const QString name = QFileInfo(recipe.imagePath).fileName();
    if (image.size != recipe.imageSize)
        return QString("%1: %2 bytes, the recipe expects %3")
            .arg(name)
            .arg(image.size)
            .arg(recipe.imageSize);
    if (image.crc != recipe.imageCrc)
        return QString("%1: CRC-32 %2, the recipe expects %3")
            .arg(name, Crc32Text(image.crc), Crc32Text(recipe.imageCrc));
    return {};
}

QString CheckRecipeImage(const Recipe& recipe) {
    LoadedImage image;
    QString error;
    if (!MeasureImage(recipe.ImageFilePath(), &image, &error)) return error;
    return ImageMismatch(recipe, image);
}
