#include "sim/flash_memory.h"

#include <algorithm>

// Calls visit(page, offset in the page, offset in the range, length) for each
// page the range [offset, offset + length) touches; pages is const for a read.
struct FlashPages {
    template <class Pages, class Visit>
    static void ForEach(Pages& pages, std::size_t offset, std::size_t length, Visit visit) {
        for (std::size_t done = 0; done < length;) {
            const std::size_t at = offset + done;
            const std::size_t inPage = at % FlashMemory::kPageSize;
            const std::size_t chunk = std::min(FlashMemory::kPageSize - inPage, length - done);
            visit(pages[at / FlashMemory::kPageSize], inPage, done, chunk);
            done += chunk;
        }
    }
};

bool FlashMemory::Fits(std::uint64_t offset, std::size_t length) const {
    return offset <= size_ && length <= size_ - offset;
}

std::uint8_t* FlashMemory::Take(Page& page) {
    if (!page) {
        page.reset(new std::uint8_t[kPageSize]);
        std::fill_n(page.get(), kPageSize, std::uint8_t(0xFF));
    }
    return page.get();
}

bool FlashMemory::Erase(std::size_t offset, std::size_t length) {
    if (!Fits(offset, length)) return false;
    FlashPages::ForEach(pages_, offset, length,
                        [](Page& page, std::size_t inPage, std::size_t, std::size_t chunk) {
                            if (chunk == kPageSize)
                                page.reset();
                            else if (page)
                                std::fill_n(page.get() + inPage, chunk, std::uint8_t(0xFF));
                        });
    return true;
}

bool FlashMemory::Program(std::size_t offset, std::span<const std::uint8_t> data) {
    if (!Fits(offset, data.size())) return false;
    FlashPages::ForEach(
        pages_, offset, data.size(),
        [&data](Page& page, std::size_t inPage, std::size_t from, std::size_t chunk) {
            const auto part = data.subspan(from, chunk);
            // Programming 0xFF changes no bit: an erased page stays without memory.
            if (!page &&
                std::all_of(part.begin(), part.end(), [](std::uint8_t b) { return b == 0xFF; }))
                return;
            std::uint8_t* bytes = Take(page) + inPage;
            for (std::size_t i = 0; i < chunk; ++i) bytes[i] &= part[i];
        });
    return true;
}

bool FlashMemory::Read(std::size_t offset, std::span<std::uint8_t> out) const {
    if (!Fits(offset, out.size())) return false;
    FlashPages::ForEach(
        pages_, offset, out.size(),
        [&out](const Page& page, std::size_t inPage, std::size_t to, std::size_t chunk) {
            if (page)
                std::copy_n(page.get() + inPage, chunk, out.begin() + std::ptrdiff_t(to));
            else
                std::fill_n(out.begin() + std::ptrdiff_t(to), chunk, std::uint8_t(0xFF));
        });
    return true;
}

bool FlashMemory::Preset(std::size_t offset, std::span<const std::uint8_t> data) {
    if (!Fits(offset, data.size())) return false;
    FlashPages::ForEach(
        pages_, offset, data.size(),
        [&data](Page& page, std::size_t inPage, std::size_t from, std::size_t chunk) {
            std::copy_n(data.begin() + std::ptrdiff_t(from), chunk, Take(page) + inPage);
        });
    return true;
}
