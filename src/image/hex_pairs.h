#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Every pair of characters read as two hex digits, or -1: one lookup per byte
// of data keeps a record parse at memory speed.
struct HexPairTable {
    std::array<std::int16_t, 65536> value;
    HexPairTable();
};
extern const HexPairTable kHexPairs;

// Two hex digits; a negative result marks a character that is not a digit.
inline int HexPair(const std::uint8_t* p) { return kHexPairs.value[std::size_t(p[0] | p[1] << 8)]; }
