#include "hexview/hex_document.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

bool HexDocument::Assign(const std::uint8_t* bytes, std::size_t count) {
    if (!Affordable(count)) return false;
    try {
        // Built aside and swapped in, so a refused allocation leaves the old copy.
        std::vector<std::uint8_t> fresh(bytes, bytes + count);
        bytes_.swap(fresh);
    } catch (const std::bad_alloc&) {
        return false;
    }
    present_ = true;
    revision_ = 0;
    return true;
}

bool HexDocument::InsertBytes(int pos, int count) {
    return Replace(pos, pos, nullptr, count);
}

bool HexDocument::DeleteBytes(int from, int to) {
    return Replace(from, to, nullptr, 0);
}

bool HexDocument::Replace(int from, int to, const std::uint8_t* bytes, int count) {
    if (readOnly_) return false;
    const int len = length();
    from = std::clamp(from, 0, len);
    to = std::clamp(to, from, len);
    count = std::max(count, 0);
    const std::size_t newLength = std::size_t(len - (to - from)) + std::size_t(count);
    if (!Affordable(newLength)) return false;
    if (newLength > bytes_.capacity()) {
        if (!Rebuild(from, to, bytes, count)) return false;
    } else {
        Splice(from, to, bytes, count);
    }
    ++revision_;
    return true;
}

bool HexDocument::Write(int offset, std::uint8_t value) {
    if (readOnly_ || offset < 0 || offset >= length()) return false;
    bytes_[std::size_t(offset)] = value;
    ++revision_;
    return true;
}

bool HexDocument::Affordable(std::size_t length) const {
    return length <= allocationLimit_ && length <= std::size_t(INT_MAX);
}

// A growing change copies the whole buffer once into a new one; only when
// that has succeeded does the old one go.
bool HexDocument::Rebuild(int from, int to, const std::uint8_t* bytes, int count) {
    std::vector<std::uint8_t> fresh;
    try {
        fresh.reserve(bytes_.size() - std::size_t(to - from) + std::size_t(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    fresh.insert(fresh.end(), bytes_.begin(), bytes_.begin() + from);
    if (bytes)
        fresh.insert(fresh.end(), bytes, bytes + count);
    else
        fresh.insert(fresh.end(), std::size_t(count), 0);
    fresh.insert(fresh.end(), bytes_.begin() + to, bytes_.end());
    bytes_.swap(fresh);
    return true;
}

// Fits in the capacity already held, so nothing here allocates.
void HexDocument::Splice(int from, int to, const std::uint8_t* bytes, int count) {
    bytes_.erase(bytes_.begin() + from, bytes_.begin() + to);
    bytes_.insert(bytes_.begin() + from, std::size_t(count), 0);
    if (bytes && count > 0) std::memcpy(bytes_.data() + from, bytes, std::size_t(count));
}
