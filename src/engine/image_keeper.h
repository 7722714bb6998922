#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "engine/job_context.h"
#include "image/read_back_writer.h"

// What the views and the status bar show of the two images, and the edits
// made in the views. An edit of the program image is what Program and Auto
// Program write next; an edit of the read-back image is what Save writes.
// Checksums are made once per load, read or edit, never in a paint.
class ImageKeeper {
public:
    explicit ImageKeeper(JobContext& context) : ctx_(context) {}

    // The program image becomes these bytes (at most 4 MiB), as the view
    // holding them shows them.
    void ReplaceProgram(const std::uint8_t* bytes, std::size_t length);
    // The read-back image from address 0 becomes these bytes.
    void ReplaceReadBack(const std::uint8_t* bytes, std::size_t length);

    // A load, a read or a compare replaced an image: checksums anew, and the
    // image that came from the file or the chip is no longer edited. A
    // program image that is not an edit is compared with nothing yet.
    void OnProgramLoaded();
    void OnReadBackRead();
    // A read has begun to overwrite the read-back image: until it completes,
    // the image holds no one read.
    void OnReadBackStarted();
    void MarkProgramSaved() { programModified_ = false; }
    void MarkReadBackSaved() { readBackModified_ = false; }

    std::uint32_t programCrc() const { return programCrc_; }
    std::uint32_t readBackCrc() const { return readBackCrc_; }
    bool programModified() const { return programModified_; }
    bool readBackModified() const { return readBackModified_; }
    // The range of the read-back image that holds what was read.
    std::uint32_t readBackLength() const { return readBackLength_; }
    // What the last completed read covered (a Read's range, or the image's
    // range read back by a compare); none before one, or while one runs.
    // An edit of the read-back image keeps it.
    const std::optional<ReadBackRange>& readRange() const { return readRange_; }

    // The program image written to a file the user names: Intel HEX or
    // Motorola S-record (by the name's ending) of the whole space, blank lines
    // left out, or the image's own bytes as binary.
    bool SaveProgram(const QString& path, QString* error) const;

private:
    void RefreshProgram();
    void RefreshReadBack();
    void CompareAgain();
    std::uint32_t ReadFrom() const;

    JobContext& ctx_;
    std::uint32_t programCrc_ = 0;
    std::uint32_t readBackCrc_ = 0;
    std::uint32_t readBackLength_ = 0;
    std::optional<ReadBackRange> readRange_;
    bool readStarted_ = false;
    bool programModified_ = false;
    bool readBackModified_ = false;
};
