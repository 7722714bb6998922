#pragma once

#include <cstddef>
#include <cstdint>

// Little-endian field access on raw protocol bytes. The caller owns the bounds.

inline std::uint16_t LoadU16(const std::uint8_t* p) {
    return std::uint16_t(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadU32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline void StoreU16(std::uint8_t* p, std::uint16_t value) {
    p[0] = std::uint8_t(value);
    p[1] = std::uint8_t(value >> 8);
}

inline void StoreU32(std::uint8_t* p, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) p[i] = std::uint8_t(value >> (8 * i));
}
