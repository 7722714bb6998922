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

// Reads n bytes of hex pairs at p into out, adding each to *sum. False when
// any pair is not two digits; out then holds bytes that mean nothing, so a
// caller writes into staging only.
inline bool DecodeHexPairs(const std::uint8_t* p, int n, std::uint8_t* out, unsigned* sum) {
    int bad = 0;
    unsigned total = 0;
    for (int i = 0; i < n; ++i, p += 2) {
        const int v = HexPair(p);
        bad |= v;
        out[i] = std::uint8_t(v);
        total += unsigned(v);
    }
    *sum += total;
    return bad >= 0;
}
