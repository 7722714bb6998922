#pragma once

#include <QString>

#include "engine/image_keeper.h"
#include "engine/job_context.h"

// Writes what the last read gave to a file the user names, as Intel HEX or
// as binary, on the user-interface thread. Nothing read, nothing written: a
// dump must not claim bytes the chip never gave.
class SaveJob {
public:
    SaveJob(JobContext& context, const ImageKeeper& images) : ctx_(context), images_(images) {}

    // true when the file was written.
    bool saveReadBack();

    // The name as saved: it keeps a ".hex" or ".bin" ending (letter case
    // counts), else gets the ending of the chosen filter entry.
    static QString CompleteName(const QString& path, int filterIndex);

private:
    JobContext& ctx_;
    const ImageKeeper& images_;
};
