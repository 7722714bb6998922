#pragma once

#include <algorithm>
#include <cstdint>

#include "image/image_buffer.h"

// How far a record file's image reaches, in whole 128-byte pages: up to the
// last byte the file stored, in file order, and at least up to the highest
// page that holds data other than 0xFF, even when the file's last record lies
// lower.
class PageExtent {
public:
    explicit PageExtent(const std::uint8_t* image) : image_(image) {}

    // A record stored count bytes from first; nothing moves for none.
    void Stored(std::uint64_t first, int count) {
        if (count > 0) lastStored_ = std::int64_t(first) + count - 1;
    }
    // After a good record: the page of the last byte stored counts when it
    // holds any byte that is not blank.
    void MarkPage() {
        if (lastStored_ < 0) return;
        const std::uint32_t page = std::uint32_t(lastStored_) / 128;
        if (page <= highestPage_) return;
        const std::uint8_t* p = image_ + std::size_t(page) * 128;
        for (int i = 0; i < 128; ++i) {
            if (p[i] != ImageBuffer::kBlank) {
                highestPage_ = page;
                return;
            }
        }
    }
    std::uint32_t ImageSize() const {
        if (lastStored_ < 0) return 0;
        const std::uint32_t lastPage = std::uint32_t(lastStored_) / 128;
        return 128 * (std::max(lastPage, highestPage_) + 1);
    }

private:
    const std::uint8_t* image_;
    std::int64_t lastStored_ = -1;
    std::uint32_t highestPage_ = 0;
};
