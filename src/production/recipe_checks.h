#pragma once

#include <QStringList>

#include "production/recipe.h"

// The checks that need more than one key: every value a field can hand out
// fits its encoding, a CSV field's file loads (into the field) and every cell
// encodes, each field lies inside the image and overlaps no other, and no two
// fields share a name. Each problem is appended with its key path.
void CheckRecipeFields(Recipe* recipe, QStringList* problems);
