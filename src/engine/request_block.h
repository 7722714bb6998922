#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "link/adapter_report.h"

// The main panel's one request block, kept for the panel's whole life. Each
// writer touches only its own field, so everything not written rides along to
// the next request: the chip index and access mode set once reach every later
// command, and a verify or erase carries the last block that was written.
class RequestBlock {
  public:
    RequestBlock() { bytes_.fill(0); }

    void SetCommand(std::uint8_t code);
    // Bytes 1..2 as a whole: 256 for a read, 0 before the first block of a write job.
    void SetBlockLength(std::uint16_t length);
    void ClearBlockLength() { SetBlockLength(0); }
    // A write block sets bit 0 of byte 2, so a cleared field reads 256.
    void MarkWriteLength();
    // Bit 7 of byte 2: the block is the last of a program job.
    void SetLastBlockFlag(bool last);
    void SetChipIndex(std::uint8_t index);
    void SetBlockAddress(std::uint32_t address);
    void SetImageSize(std::uint32_t size);
    void SetAccessMode(std::uint8_t mode);
    void SetAddressHigh(std::uint8_t bits8to15);
    // Bytes 16..271. Fewer than 256 source bytes leave the rest blank (0xFF),
    // as erased memory reads.
    void SetData(std::span<const std::uint8_t> block);

    std::uint8_t command() const { return bytes_[0]; }
    std::uint16_t blockLength() const;
    bool lastBlockFlag() const;
    std::uint8_t chipIndex() const;
    std::uint32_t blockAddress() const;
    std::uint32_t imageSize() const;
    std::uint8_t accessMode() const;
    std::uint8_t addressHigh() const;
    std::span<const std::uint8_t> data() const;

    // One byte; 0 for an index past the block.
    std::uint8_t at(std::size_t index) const { return index < bytes_.size() ? bytes_[index] : 0; }
    const Payload& bytes() const { return bytes_; }
    const std::uint8_t* raw() const { return bytes_.data(); }
    static constexpr std::size_t size() { return kPayloadSize; }

  private:
    Payload bytes_;
};
