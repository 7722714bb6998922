#include "image/image_buffer.h"

#include <algorithm>
#include <cstring>

// memset rather than value-initialisation: an unoptimised build zeroes a
// value-initialised array one byte at a time.
ImageBuffer::ImageBuffer()
    : program_(new std::uint8_t[kSize]), staging_(new std::uint8_t[kSize]), readBack_(new std::uint8_t[kSize]) {
    std::memset(program_.get(), 0, kSize);
    std::memset(readBack_.get(), 0, kSize);
}

std::uint8_t* ImageBuffer::ResetStaging() {
    std::memset(staging_.get(), kBlank, kSize);
    return staging_.get();
}

void ImageBuffer::ReplaceStaging() { staging_.reset(new std::uint8_t[kSize]); }

void ImageBuffer::CommitLoad(std::uint32_t size) {
    std::swap(program_, staging_);
    imageSize_ = std::min(size, kSize);
    // The shared block would be the next load's staging: it must not be.
    if (programShared_) staging_.reset(new std::uint8_t[kSize]);
    programShared_ = false;
}

void ImageBuffer::ShareProgram(std::shared_ptr<std::uint8_t[]> block, std::uint32_t size) {
    program_ = std::move(block);
    imageSize_ = std::min(size, kSize);
    programShared_ = true;
}
