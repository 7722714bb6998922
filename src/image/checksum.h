#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

// The CRC-32 of zip, PNG and Ethernet, as zlib computes it.
std::uint32_t Crc32(const std::uint8_t* bytes, std::size_t length);

// How a checksum is shown: eight upper-case hex digits.
QString Crc32Text(std::uint32_t crc);
