#pragma once

#include <QString>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "image/large_block.h"

// The program's memory of target data: the program image a load fills and
// the jobs send from, and the read-back image the read job fills and Save
// writes. Both cover the whole 4 MiB address space and are allocated once.
//
// A load is parsed into a third block, the staging image, and only a load
// that succeeds swaps it in: a failed or cancelled load leaves the program
// image, its size and the view exactly as they were. The staging block is
// shared with the worker that fills it: a worker let go at exit keeps its
// block alive and to itself, and the next load allocates a fresh one. The
// staging block is allocated at the first load, not before.
class ImageBuffer {
  public:
    static constexpr std::uint32_t kSize = 0x400000;
    static constexpr std::uint8_t kBlank = 0xFF;

    ImageBuffer();

    const std::uint8_t* program() const { return program_.get(); }
    std::uint8_t* readBack() { return readBack_.get(); }
    const std::uint8_t* readBack() const { return readBack_.get(); }
    std::uint32_t imageSize() const { return imageSize_; }

    // The load side: blank the staging image, fill it, then commit it.
    // staging() and ShareStaging() hold a block only after ResetStaging().
    std::uint8_t* ResetStaging();
    std::uint8_t* staging() { return staging_.get(); }
    std::shared_ptr<std::uint8_t[]> ShareStaging() const { return staging_; }
    // Leaves the staging block to a worker that may still write it.
    void ReplaceStaging();
    void CommitLoad(std::uint32_t size);
    // Makes a block of kSize bytes, loaded elsewhere and shared by every
    // adapter's image, the program image: nobody writes it, and a later
    // load or edit leaves it to the others and takes a block of its own.
    void ShareProgram(std::shared_ptr<std::uint8_t[]> block, std::uint32_t size);

    QString loadedFilePath;
    QString fileTimeText;

  private:
    std::shared_ptr<std::uint8_t[]> program_;
    std::shared_ptr<std::uint8_t[]> staging_;
    std::unique_ptr<std::uint8_t[], FreeLargeBlock> readBack_;
    std::uint32_t imageSize_ = 0;
    bool programShared_ = false;
};
