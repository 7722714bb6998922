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

// Reads the file at path into image (which the caller has blanked): Intel HEX
// for names ending ".hex" or ".ldr", a byte-for-byte copy for ".bin", letter
// case ignored; any other name fails. The file is read in pieces with the
// stop flag looked at between them, and the parse looks at it on every line.
FileLoadOutcome loadImageFile(const QString& path, std::uint8_t* image,
                              const ProgressSink& progress,
                              const std::atomic<bool>* stop = nullptr);

// The file's last-write time in local time, "dd/mm/yyyy  hh:mm".
QString FileTimeText(const QString& path);

// Whether the name ends in one of the endings a load takes (.hex, .ldr, .bin).
bool IsImageFileName(const QString& path);
