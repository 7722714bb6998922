#include "image/image_compare.h"

#include <algorithm>
#include <cstring>

std::vector<std::uint32_t> DifferingAddresses(const std::uint8_t* expected, const std::uint8_t* actual,
                                              std::uint32_t from, std::uint32_t to) {
    std::vector<std::uint32_t> differing;
    DifferingAddresses(expected, actual, from, to, differing);
    return differing;
}

void DifferingAddresses(const std::uint8_t* expected, const std::uint8_t* actual, std::uint32_t from,
                        std::uint32_t to, std::vector<std::uint32_t>& differing) {
    constexpr std::uint32_t kStretch = 4096;
    differing.clear();
    for (std::uint32_t at = from; at < to;) {
        const std::uint32_t end = std::min(to, at + kStretch);
        if (std::memcmp(expected + at, actual + at, end - at) != 0) {
            // Without a branch per byte: every address is written, and only
            // those that differ are kept, so a stretch that differs
            // everywhere costs no more than one that differs once.
            std::uint32_t found[kStretch];
            std::uint32_t n = 0;
            for (std::uint32_t i = at; i < end; ++i) {
                found[n] = i;
                n += expected[i] != actual[i];
            }
            differing.insert(differing.end(), found, found + n);
        }
        at = end;
    }
}
