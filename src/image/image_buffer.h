#pragma once

#include <QString>
#include <cstdint>
#include <memory>

// The program's memory of target data: the program image a load fills and
// the jobs send from, and the read-back image the read job fills and Save
// writes. Both cover the whole 4 MiB address space and are allocated once.
//
// A load is parsed into a third block, the staging image, and only a load
// that succeeds swaps it in: a failed or cancelled load leaves the program
// image, its size and the view exactly as they were.
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
    std::uint8_t* ResetStaging();
    std::uint8_t* staging() { return staging_.get(); }
    void CommitLoad(std::uint32_t size);

    QString loadedFilePath;
    QString fileTimeText;

private:
    std::unique_ptr<std::uint8_t[]> program_;
    std::unique_ptr<std::uint8_t[]> staging_;
    std::unique_ptr<std::uint8_t[]> readBack_;
    std::uint32_t imageSize_ = 0;
};
