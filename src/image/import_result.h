#pragma once

#include <QString>
#include <cstdint>
#include <functional>

#include "image/image_format.h"

// How a load ended. A failure carries the reason the log names, and, for the
// faults in a file's content the user is told of at once, a message box text.
// A load that was stopped carries neither: nobody is waiting for it.
struct ImportResult {
    bool ok = false;
    QString message;  // for a message box; empty for none
    QString reason;   // for the log; empty only for a cancelled or stopped load
    std::uint32_t imageSize = 0;
    bool stopped = false;
    // What the file turned out to hold, set by the file reader; a text header
    // (an S-record file's S0) and a start address, where the file names them.
    ImageFormat format = ImageFormat::Unknown;
    QString header;
    bool hasStart = false;
    std::uint32_t start = 0;

    static ImportResult Loaded(std::uint32_t size) {
        ImportResult r;
        r.ok = true;
        r.imageSize = size;
        return r;
    }
    // A fault the user sees in a message box, and the log names too.
    static ImportResult Failed(const QString& message) {
        ImportResult r;
        r.message = r.reason = message;
        return r;
    }
    // A failure only the log names.
    static ImportResult Refused(QString reason) {
        ImportResult r;
        r.reason = std::move(reason);
        return r;
    }
    static ImportResult Stopped() {
        ImportResult r;
        r.stopped = true;
        return r;
    }
};

// Receives the percentages of a parse as they are reached; called on the
// thread that parses.
using ProgressSink = std::function<void(int percent)>;
