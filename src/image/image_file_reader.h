#pragma once

#include <QString>
#include <atomic>

#include "image/import_result.h"

// What reading one image file gave: the result, the path asked for, and
// whether the file could be opened at all (then it becomes the file to
// reload, with its time).
struct FileLoadOutcome {
    ImportResult result;
    bool opened = false;
    QString path;
    QString timeText;
};

// Reads the file at path into image (which the caller has blanked), in the
// format its name's ending gives (FormatOfName): Intel HEX, Motorola
// S-record, the loadable segments of an ELF file, or a byte-for-byte copy of
// a binary file placed at binOffset; any other name fails, and so does a file
// whose bytes plainly hold another format than its name says. The file is
// read in pieces with the stop flag looked at between them, and the parse
// looks at it on every line. A load that succeeds names its format.
FileLoadOutcome loadImageFile(const QString& path, std::uint8_t* image,
                              const ProgressSink& progress,
                              const std::atomic<bool>* stop = nullptr,
                              std::uint32_t binOffset = 0);

// The file's last-write time in local time, "dd/mm/yyyy  hh:mm".
QString FileTimeText(const QString& path);

// Whether the name ends in one of the endings a load takes (.hex, .ldr, .bin,
// .srec, .s19, .s28, .s37, .mot, .elf, .axf, .out).
bool IsImageFileName(const QString& path);
