#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "production/recipe.h"

// A recipe file, e.g.
//   {"name": "line", "version": "1.0",
//    "image": {"path": "fw.hex", "size": 4096, "crc32": "89ABCDEF"},
//    "chip": {"name": "auto", "expect": "MX25L3208"},
//    "access": "jtag", "verify": true,
//    "fields": [ ...serial fields... ],
//    "stop": {"after_failures": 3, "units": 500}}
// "access", "verify", "fields" and "stop" may be left out (JTAG, verify on,
// none, never).

// Reads a recipe from JSON text; directory is where its relative paths
// start (CSV files are loaded from there). Every problem is appended, one
// line each, named by its key path; true only when there was none.
bool ParseRecipe(const QByteArray& json, const QString& directory, Recipe* recipe,
                 QStringList* problems);

// Reads the file at path; each problem line starts with the file's name
// ("line.json: fields[0].address: missing").
bool LoadRecipe(const QString& path, Recipe* recipe, QStringList* problems);

QJsonObject RecipeToJson(const Recipe& recipe);
// Writes the file whole or not at all.
bool WriteRecipe(const QString& path, const Recipe& recipe, QString* error);

// The chip list's index for a name (letter case ignored), -1 for "auto", -2 for none.
int RecipeChipIndex(const QString& name);
