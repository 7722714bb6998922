#pragma once

#include <QString>

#include "engine/job_context.h"

// Writes the whole read-back image to a file the user names, as Intel HEX or
// as a raw 4 MiB binary, on the user-interface thread.
class SaveJob {
public:
    explicit SaveJob(JobContext& context) : ctx_(context) {}

    // true when the file was written.
    bool saveReadBack();

    // The name as saved: it keeps a ".hex" or ".bin" ending (letter case
    // counts), else gets the ending of the chosen filter entry.
    static QString CompleteName(const QString& path, int filterIndex);

private:
    JobContext& ctx_;
};
