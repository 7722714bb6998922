#pragma once

#include <cstdint>
#include <vector>

#include "image/image_patch.h"

// The addresses in [from, to) where two images differ, ascending. Equal
// stretches are skipped a block at a time, so a compare of matching 4 MiB
// images costs about one memcmp.
std::vector<std::uint32_t> DifferingAddresses(const std::uint8_t* expected, const std::uint8_t* actual,
                                              std::uint32_t from, std::uint32_t to);
// The same into a list kept from the last compare: its memory is used again,
// which for images that differ everywhere is most of the cost.
void DifferingAddresses(const std::uint8_t* expected, const std::uint8_t* actual, std::uint32_t from,
                        std::uint32_t to, std::vector<std::uint32_t>& differing);
// The same with a unit's patches laid over expected: where a patch lies, the
// chip must hold the patch's bytes. expected itself is not written.
void DifferingAddresses(const std::uint8_t* expected, const ImagePatchList& patches, const std::uint8_t* actual,
                        std::uint32_t from, std::uint32_t to, std::vector<std::uint32_t>& differing);
