#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// NOR-style flash: erasing sets every byte to 0xFF, programming can only
// clear bits, so writing over data that was not erased gives the AND of old
// and new. Every access is checked against the size; one that does not fit
// is refused and changes nothing.
//
// The bytes are kept in pages taken when something other than 0xFF is first
// written to them, and let go when erased whole: a bench of simulated
// adapters holds only what its units were programmed with, not a whole chip
// each.
class FlashMemory {
  public:
    explicit FlashMemory(std::size_t size)
        : size_(size), pages_((size + kPageSize - 1) / kPageSize) {}

    std::size_t size() const { return size_; }
    bool Fits(std::uint64_t offset, std::size_t length) const;

    bool Erase(std::size_t offset, std::size_t length);
    void EraseAll() { Erase(0, size_); }
    bool Program(std::size_t offset, std::span<const std::uint8_t> data);
    bool Read(std::size_t offset, std::span<std::uint8_t> out) const;
    // Puts bytes in place as they are, erased or not (a chip that came programmed).
    bool Preset(std::size_t offset, std::span<const std::uint8_t> data);

  private:
    friend struct FlashPages;
    static constexpr std::size_t kPageSize = 0x10000;
    using Page = std::unique_ptr<std::uint8_t[]>;
    // The page, taken (all 0xFF) if it had none.
    static std::uint8_t* Take(Page& page);

    std::size_t size_;
    std::vector<Page> pages_;
};
