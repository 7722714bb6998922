#include "image/image_patch.h"

#include <algorithm>

namespace {

std::uint64_t PatchEnd(const ImagePatch& patch) { return std::uint64_t(patch.address) + std::uint64_t(patch.bytes.size()); }

}  // namespace

bool PatchesTouch(const ImagePatchList& patches, std::uint32_t from, std::uint32_t to) {
    return std::any_of(patches.begin(), patches.end(), [&](const ImagePatch& p) {
        return !p.bytes.isEmpty() && p.address < to && PatchEnd(p) > from;
    });
}

void ApplyPatches(const ImagePatchList& patches, std::uint32_t from, std::uint32_t to, std::uint8_t* block) {
    for (const ImagePatch& p : patches) {
        const std::uint64_t start = std::max<std::uint64_t>(p.address, from);
        const std::uint64_t end = std::min<std::uint64_t>(PatchEnd(p), to);
        for (std::uint64_t at = start; at < end; ++at)
            block[at - from] = std::uint8_t(p.bytes[qsizetype(at - p.address)]);
    }
}

std::uint8_t PatchedByte(const std::uint8_t* image, const ImagePatchList& patches, std::uint32_t address) {
    std::uint8_t byte = image[address];
    ApplyPatches(patches, address, address + 1, &byte);
    return byte;
}
