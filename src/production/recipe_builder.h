#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

#include "production/recipe.h"

// What `recipe new` is told: everything but the image's size and CRC-32,
// which are read from the image itself.
struct RecipeOptions {
    QString name;
    QString version = "1";
    QString imageFile;  // as given: absolute, or relative to the working folder
    int chip = -1;
    int expectedChip = -1;
    std::uint8_t access = 1;
    bool verify = true;
    QList<SerialField> fields;
    StopRules stop;
};

// An image as loaded, for comparing it with a recipe.
struct LoadedImage {
    std::uint32_t size = 0;
    std::uint32_t crc = 0;
};

// Loads an image file the way a job does and measures it; false with the
// load's reason.
bool MeasureImage(const QString& path, LoadedImage* image, QString* error);

// A recipe to be written at recipePath: the image loaded, its size and
// CRC-32 taken, its path made relative to the recipe's folder, and the
// fields checked as a loaded recipe's are. Problems come one line each.
bool NewRecipe(const QString& recipePath, const RecipeOptions& options, Recipe* recipe,
               QStringList* problems);

// Why the loaded image is not the recipe's ("fw.hex: CRC-32 1234ABCD, the
// recipe expects 89ABCDEF"), or empty when it is.
QString ImageMismatch(const Recipe& recipe, const LoadedImage& image);

// Loads the recipe's image again and compares it; empty when it matches,
// else the load's failure or the mismatch.
QString CheckRecipeImage(const Recipe& recipe);
