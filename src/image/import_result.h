#pragma once

#include <QString>
#include <cstdint>
#include <functional>

// How a load ended. A failure with an empty message ends silently (a
// cancelled dialog, a file that cannot be opened, an unknown extension).
struct ImportResult {
    bool ok = false;
    QString message;
    std::uint32_t imageSize = 0;

    static ImportResult Loaded(std::uint32_t size) { return {true, {}, size}; }
    static ImportResult Failed(QString message = {}) { return {false, std::move(message), 0}; }
};

// Receives the percentages of a parse as they are reached; called on the
// thread that parses.
using ProgressSink = std::function<void(int percent)>;
