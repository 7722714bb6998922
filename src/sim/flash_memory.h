#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// NOR-style flash: erasing sets every byte to 0xFF, programming can only
// clear bits, so writing over data that was not erased gives the AND of old
// and new. Every access is checked against the size; one that does not fit
// is refused and changes nothing.
class FlashMemory {
  public:
    explicit FlashMemory(std::size_t size) : bytes_(size, 0xFF) {}

    std::size_t size() const { return bytes_.size(); }
    bool Fits(std::uint64_t offset, std::size_t length) const;

    bool Erase(std::size_t offset, std::size_t length);
    void EraseAll() { Erase(0, bytes_.size()); }
    bool Program(std::size_t offset, std::span<const std::uint8_t> data);
    bool Read(std::size_t offset, std::span<std::uint8_t> out) const;
    // Puts bytes in place as they are, erased or not (a chip that came programmed).
    bool Preset(std::size_t offset, std::span<const std::uint8_t> data);

  private:
    std::vector<std::uint8_t> bytes_;
};
