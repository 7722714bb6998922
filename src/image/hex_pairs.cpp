#include "image/hex_pairs.h"

namespace {

constexpr std::array<std::int8_t, 256> MakeDigitTable() {
    std::array<std::int8_t, 256> t{};
    for (auto& v : t) v = -1;
    for (int c = '0'; c <= '9'; ++c) t[std::size_t(c)] = std::int8_t(c - '0');
    for (int c = 'A'; c <= 'F'; ++c) t[std::size_t(c)] = std::int8_t(c - 'A' + 10);
    for (int c = 'a'; c <= 'f'; ++c) t[std::size_t(c)] = std::int8_t(c - 'a' + 10);
    return t;
}
constexpr std::array<std::int8_t, 256> kDigit = MakeDigitTable();

}  // namespace

HexPairTable::HexPairTable() {
    for (int first = 0; first < 256; ++first)
        for (int second = 0; second < 256; ++second) {
            const int high = kDigit[std::size_t(first)], low = kDigit[std::size_t(second)];
            value[std::size_t(first | second << 8)] = std::int16_t((high | low) < 0 ? -1 : high * 16 + low);
        }
}

const HexPairTable kHexPairs;
