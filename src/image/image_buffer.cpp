#include "image/image_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "image/large_block.h"

namespace {

// calloc rather than new and memset: a block this large comes straight from
// the kernel already zero, and its pages take memory only once written, so
// an engine that reads back 1 MiB holds 1 MiB of read-back, and one given a
// shared image never holds its own program image at all.
std::uint8_t* ZeroBlock() {
    void* block = std::calloc(ImageBuffer::kSize, 1);
    if (!block) throw std::bad_alloc();
    return static_cast<std::uint8_t*>(block);
}

}  // namespace

// The staging block is taken at the first load: an engine given a shared
// image never loads one, and a bench of them keeps 4 MiB less each.
ImageBuffer::ImageBuffer()
    : program_(ZeroBlock(), FreeLargeBlock()), readBack_(ZeroBlock()) {}

std::uint8_t* ImageBuffer::ResetStaging() {
    if (!staging_) staging_.reset(AllocateLargeBlock(kSize), FreeLargeBlock());
    std::memset(staging_.get(), kBlank, kSize);
    return staging_.get();
}

void ImageBuffer::ReplaceStaging() {
    staging_.reset();
}

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
