#pragma once

#include "cli/cli_options.h"

class Console;

// `recipe new FILE.json --image IMAGE ...`: writes a recipe from the options,
// the image's size and CRC-32 read from the image itself. Returns the exit code.
int RunRecipeNew(const CliOptions& options, Console& console);
