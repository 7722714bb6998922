#include "sim/flash_memory.h"

#include <algorithm>

bool FlashMemory::Fits(std::uint64_t offset, std::size_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
}

bool FlashMemory::Erase(std::size_t offset, std::size_t length) {
    if (!Fits(offset, length)) return false;
    std::fill_n(bytes_.begin() + std::ptrdiff_t(offset), length, std::uint8_t(0xFF));
    return true;
}

bool FlashMemory::Program(std::size_t offset, std::span<const std::uint8_t> data) {
    if (!Fits(offset, data.size())) return false;
    for (std::size_t i = 0; i < data.size(); ++i) bytes_[offset + i] &= data[i];
    return true;
}

bool FlashMemory::Read(std::size_t offset, std::span<std::uint8_t> out) const {
    if (!Fits(offset, out.size())) return false;
    std::copy_n(bytes_.begin() + std::ptrdiff_t(offset), out.size(), out.begin());
    return true;
}

bool FlashMemory::Preset(std::size_t offset, std::span<const std::uint8_t> data) {
    if (!Fits(offset, data.size())) return false;
    std::copy(data.begin(), data.end(), bytes_.begin() + std::ptrdiff_t(offset));
    return true;
}
