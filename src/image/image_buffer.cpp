#include "image/image_buffer.h"

#include <algorithm>
#include <cstring>

// memset rather than value-initialisation: an unoptimised build zeroes a
// value-initialised array one byte at a time.
// The staging block is taken at the first load: an engine given a shared
// image never loads one, and a bench of them keeps 4 MiB less each.
ImageBuffer::ImageBuffer() : program_(new std::uint8_t[kSize]), readBack_(new std::uint8_t[kSize]) {
    std::memset(program_.get(), 0, kSize);
    std::memset(readBack_.get(), 0, kSize);
}

std::uint8_t* ImageBuffer::ResetStaging() {
    if (!staging_) staging_.reset(new std::uint8_t[kSize]);
    std::memset(staging_.get(), kBlank, kSize);
    return staging_.get();
}

void ImageBuffer::ReplaceStaging() { staging_.reset(); }

void ImageBuffer::CommitLoad(std::uint32_t size) {
    std::swap(program_, staging_);
    imageSize_ = std::min(size, kSize);
    // The shared block would be the next load's staging: it must not be.
    if (programShared_) staging_.reset();
    programShared_ = false;
}

void ImageBuffer::ShareProgram(std::shared_ptr<std::uint8_t[]> block, std::uint32_t size) {
    program_ = std::move(block);
    imageSize_ = std::min(size, kSize);
    programShared_ = true;
}
