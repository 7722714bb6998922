#pragma once

#include <QString>

#include "engine/image_keeper.h"
#include "engine/job_context.h"

// Writes what the last read gave to a file the user names, as Intel HEX,
// Motorola S-record or binary, on the user-interface thread. Nothing read, nothing written: a
// dump must not claim bytes the chip never gave.
class SaveJob {
public:
    SaveJob(JobContext& context, const ImageKeeper& images) : ctx_(context), images_(images) {}

    // true when the file was written.
    bool saveReadBack();

    // The name as saved: it keeps a ".hex" or ".bin" ending (letter case
    // counts) or an S-record ending (any case), else gets the ending of the
    // chosen filter entry (".srec" for the third).
    static QString CompleteName(const QString& path, int filterIndex);

    // The save dialog's entries, for the read-back and the program image.
    static constexpr char kFilter[] = "Inter Hex(*.hex)|*.hex|Binary(*.bin)|*.bin|"
                                      "Motorola S-record (*.srec *.s19 *.s28 *.s37)|*.srec;*.s19;*.s28;*.s37||";

private:
    JobContext& ctx_;
    const ImageKeeper& images_;
};
