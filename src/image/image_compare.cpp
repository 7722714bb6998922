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
    DifferingAddresses(expected, {}, actual, from, to, differing);
}

void DifferingAddresses(const std::uint8_t* expected, const ImagePatchList& patches, const std::uint8_t* actual,
                        std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& differing) {
    constexpr std::uint32_t kStretch = 4096;
    differing.clear();
    std::uint8_t patched[kStretch];
    for (std::uint32_t at = from; at < to;) {
        const std::uint32_t end = std::min(to, at + kStretch);
        // A stretch a patch lies on is compared from a patched copy of it:
        // a few KiB per compare, never a copy of the image.
        const std::uint8_t* want = expected + at;
        if (PatchesTouch(patches, at, end)) {
            std::memcpy(patched, want, end - at);
            ApplyPatches(patches, at, end, patched);
            want = patched;
        }
        if (std::memcmp(want, actual + at, end - at) != 0) {
            // Without a branch per byte: every address is written, and only
            // those that differ are kept, so a stretch that differs
            // everywhere costs no more than one that differs once.
            std::uint32_t found[kStretch];
            std::uint32_t n = 0;
            for (std::uint32_t i = at; i < end; ++i) {
                found[n] = i;
                n += want[i - at] != actual[i];
            }
            differing.insert(differing.end(), found, found + n);
        }
        at = end;
    }
}
