#pragma once

#include <cstddef>
#include <cstdint>

// A 4 MiB image of 0xFF that is blank again after Reset at the cost of the
// pages written since, not of the whole image: it is a private mapping of a
// file of 0xFF bytes, and dropping the written copies shows the file again.
// An inaccessible page on either side stops any access that strays past it.
class BlankImage {
  public:
    static constexpr std::size_t kSize = 0x400000;

    BlankImage();
    BlankImage(const BlankImage&) = delete;
    BlankImage& operator=(const BlankImage&) = delete;

    std::uint8_t* data() { return image_; }
    void Reset();

  private:
    std::uint8_t* image_ = nullptr;
};
