#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// How a load ended. A failure carries the reason the log names, and, for the
// faults in a file's content the user is told of at once, a message box text.
// A load that was stopped carries neither: nobody is waiting for it.
struct ImportResult {
    bool ok = false;
    QString message;  // for a message box; empty for none
    QString reason;   // for the log; empty only for a cancelled or stopped load
    std::uint32_t imageSize = 0;
    bool stopped = false;

    static ImportResult Loaded(std::uint32_t size) { return {true, {}, {}, size}; }
    // A fault the user sees in a message box, and the log names too.
    static ImportResult Failed(const QString& message) { return {false, message, message, 0}; }
    // A failure only the log names.
    static ImportResult Refused(QString reason) { return {false, {}, std::move(reason), 0}; }
    static ImportResult Stopped() { return {false, {}, {}, 0, true}; }
};

// Receives the percentages of a parse as they are reached; called on the
// thread that parses.
using ProgressSink = std::function<void(int percent)>;
