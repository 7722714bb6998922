#pragma once

#include <QList>
#include <QString>
#include <cstdint>

#include "production/serial_field.h"

// When a run stops on its own.
struct StopRules {
    int afterFailures = 0;  // failures in a row that take a place out of the run; 0 never
    int units = 0;          // units passed after which the run ends; 0 when the values run out
};

// One production job, fixed in one file: which image (and exactly which, by
// size and CRC-32), on which chip, how, with which data of each unit's own.
struct Recipe {
    QString name;
    QString version;
    QString imagePath;            // as written in the file: relative to the recipe
    std::uint32_t imageSize = 0;  // what the image must load to
    std::uint32_t imageCrc = 0;   // CRC-32 of those bytes
    int chip = -1;                // the chip list's index; -1 detect ("auto")
    int expectedChip = -1;        // with auto: the chip the detection must find
    std::uint8_t access = 1;      // 0 Direct, 1 JTAG
    bool verify = true;
    QList<SerialField> fields;
    StopRules stop;

    QString directory;  // the folder of the recipe file; relative paths start there

    // The image file and a CSV file as paths that can be opened.
    QString ImageFilePath() const;
    QString FilePath(const QString& relative) const;
    // The record's counter a field draws its values from: a field keeps its
    // counter, and so its place in the sequence, from one run to the next.
    QString CounterName(const SerialField& field) const { return name + "/" + field.name; }
};
