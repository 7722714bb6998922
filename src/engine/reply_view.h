#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "link/adapter_report.h"

// Reads the fields of one adapter reply. Every field is bounded by the reply's
// own length (at most 272 bytes): a field that does not fit reads as 0, and
// the variable-length fields (detected chip types, the 78K0R name) are cut at
// the end of the reply, whatever count or missing terminator the adapter sent.
// The view does not copy: the reply must outlive it.
class ReplyView {
  public:
    explicit ReplyView(const Payload& reply) : bytes_(reply) {}
    explicit ReplyView(const Payload&& reply) = delete;
    // A view of fewer bytes (a damaged or partial reply); more than 272 are ignored.
    explicit ReplyView(std::span<const std::uint8_t> bytes)
        : bytes_(bytes.first(std::min(bytes.size(), kPayloadSize))) {}

    std::uint8_t command() const { return at(0); }
    std::uint16_t chipCount() const { return u16(1); }
    std::uint8_t chipIndex() const { return at(3); }
    std::uint32_t blockAddress() const;
    std::uint16_t bootVersion() const { return u16(8); }
    std::uint16_t bootId() const { return u16(10); }
    std::uint8_t status() const { return at(12); }
    std::uint16_t picVersion() const { return u16(14); }
    // Bytes 16..271, or as many of them as the reply holds.
    std::span<const std::uint8_t> data() const;
    // One chip-type byte per chip found: chipCount() of them, cut at the reply's end.
    std::span<const std::uint8_t> chipTypes() const;
    // The 78K0R device name at byte 144, up to its zero or the reply's end.
    std::string deviceName() const;

    std::uint8_t at(std::size_t index) const { return index < bytes_.size() ? bytes_[index] : 0; }
    std::size_t size() const { return bytes_.size(); }

  private:
    std::uint16_t u16(std::size_t offset) const;
    std::span<const std::uint8_t> tail(std::size_t offset, std::size_t maxLength) const;

    std::span<const std::uint8_t> bytes_;
};

// Whether reply answers request: the adapter repeats the command code, and a
// read block names the block it read. Anything else is a stale answer to an
// earlier request.
bool AnswersRequest(const Payload& request, const Payload& reply);
