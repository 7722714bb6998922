#pragma once

#include <cstddef>
#include <cstdint>

// The CRC-32 of zip, PNG and Ethernet, as zlib computes it.
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t length);
