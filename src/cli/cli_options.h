#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

#include "image/read_range.h"

// What one run of the command line was asked to do.
struct CliOptions {
    QString command;  // list, detect, erase, program, verify, read, auto, firmware, production
    QString file;     // the image (program, verify, auto, production) or firmware file
    bool verify = false;      // program: compare what was written
    std::uint32_t binOffset = 0;  // program, verify, auto, production: where a .bin file's first byte goes
    QString range;            // read: START-END in hex, both ends inclusive; empty for the whole chip
    QString output;           // read: the file to write
    bool yes = false;         // firmware: the user has confirmed
    int count = 0;            // production: units to program; 0 until Ctrl+C
    QString unitLog;          // production: the CSV log
    QString adapter;          // one adapter, by path or serial
    bool all = false;         // every attached adapter at once
    int simulate = 0;         // simulated adapters; 0 for the real ones
    int simLatencyMs = 3;
    QStringList simFaults;    // N:KIND@REQUEST, a fault on simulated adapter N (from 1)
    std::uint8_t access = 1;  // 0 Direct, 1 JTAG
    int chip = -1;            // the chip list's index, or -1 for detection
    int expectedChip = -1;    // recipe new: with --chip auto, the chip detection must find
    bool json = false;
    bool quiet = false;
    // Which of the options above were given, for a recipe to refuse those it contradicts.
    bool chipGiven = false;
    bool accessGiven = false;
    bool stopAfterFailuresGiven = false;
    bool binOffsetGiven = false;

    QString subcommand;       // recipe: new
    QString recipe;           // production: the recipe to run
    QString db;               // production, report: the record (an SQLite file or postgresql://...)
    QString operatorName;     // production
    QString station;          // production: the host name when not given
    int stopAfterFailures = 0;  // production: failures in a row that take a place out; 0 never
    bool nextOnKey = false;     // production: the next unit on Enter, not on the adapter's re-plug
    bool keysFromInput = true;  // with nextOnKey: Enter read from standard input; a window passes its own
    QString image;            // recipe new: the image file
    QString recipeName;       // recipe new: the recipe's name (the file's base name when not given)
    QStringList fields;       // recipe new: serial fields, each as JSON
    qint64 runId = 0;         // report: one run
    bool lastRun = false;     // report: the station's or the record's last run
    bool csv = false;         // report
};

enum class CliParse { Run, Help, Version, Error };

// Reads the arguments (without the program name); on Error, error says why.
CliParse ParseCliOptions(const QStringList& arguments, CliOptions& options, QString& error);

// The --help text, exit codes included.
QString CliHelpText();

// --range START-END: hex, both ends inclusive, inside the chip's space; an
// empty answer when it is sound, else why not.
QString ParseReadRange(const QString& range, std::uint32_t& start, std::uint32_t& end);

// The read dialog's answer that --range stands for (the whole chip without it).
ReadOptions ReadOptionsFor(const QString& range);

