#include "image/image_compare.h"

#include <algorithm>
#include <cstring>

std::vector<std::uint32_t> DifferingAddresses(const std::uint8_t* expected, const std::uint8_t* actual,
                                              std::uint32_t from, std::uint32_t to) {
    constexpr std::uint32_t kStretch = 4096;
    std::vector<std::uint32_t> differing;
    for (std::uint32_t at = from; at < to;) {
        const std::uint32_t end = std::min(to, at + kStretch);
        if (std::memcmp(expected + at, actual + at, end - at) != 0) {
            for (std::uint32_t i = at; i < end; ++i)
                if (expected[i] != actual[i]) differing.push_back(i);
        }
        at = end;
    }
    return differing;
}
