#pragma once

#include "cli/cli_options.h"

class Console;

// `report --db ... [--run ID | --last] [--json | --csv]`: what the record
// holds of one run or of every run: counts and yield, failures by step,
// values spent, per place and per station. Returns the exit code.
int RunReport(const CliOptions& options, Console& console);
