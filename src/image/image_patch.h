#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

// One unit's own data over the shared image: bytes that replace the image's
// at an address. The image itself stays read-only and shared between every
// adapter; only these few bytes differ from one unit to the next.
struct ImagePatch {
    std::uint32_t address = 0;
    QByteArray bytes;
};

using ImagePatchList = std::vector<ImagePatch>;

// Whether a patch lays a byte on [from, to).
bool PatchesTouch(const ImagePatchList& patches, std::uint32_t from, std::uint32_t to);

// Lays the patches' bytes that fall on [from, to) over block, which holds
// the image from address from on.
void ApplyPatches(const ImagePatchList& patches, std::uint32_t from, std::uint32_t to, std::uint8_t* block);

// The byte the chip should hold at address: the patch's where one lies there.
std::uint8_t PatchedByte(const std::uint8_t* image, const ImagePatchList& patches, std::uint32_t address);
