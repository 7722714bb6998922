#include "image/large_block.h"

#include <sys/mman.h>

#include <new>

std::uint8_t* AllocateLargeBlock(std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (size < kHugePage) {
        void* block = std::malloc(size > 0 ? size : 1);
        if (!block) throw std::bad_alloc();
        return static_cast<std::uint8_t*>(block);
    }
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* block = std::aligned_alloc(kHugePage, rounded);
    if (!block) throw std::bad_alloc();
    // Only advice: refused, the block is simply made of small pages.
    madvise(block, rounded, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(block);
}
