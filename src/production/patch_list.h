#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

// One unit's own data over the shared image: bytes that replace the image's
// at an address. The image itself stays read-only and shared between every
// adapter; only these few bytes differ from one unit to the next.
struct Patch {
    std::uint32_t address = 0;
    QByteArray bytes;
};

using PatchList = std::vector<Patch>;
