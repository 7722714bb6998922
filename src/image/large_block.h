#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Memory for a block that is written whole soon after it is taken: a staged
// image or a file read in. Placed on a 2 MiB boundary and asked for in huge
// pages, a 4 MiB block costs the kernel two faults instead of a thousand;
// where huge pages are off it is an ordinary block. FreeLargeBlock frees it,
// and any other block from malloc or calloc.
std::uint8_t* AllocateLargeBlock(std::size_t size);

struct FreeLargeBlock {
    void operator()(std::uint8_t* block) const { std::free(block); }
};
