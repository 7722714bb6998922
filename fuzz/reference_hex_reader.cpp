#include "reference_hex_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::uint64_t kImageSize = 0x400000;

int Digit(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Two hex digits, or -1.
int Pair(const std::uint8_t* p) {
    const int high = Digit(p[0]), low = Digit(p[1]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

int Code(ReferenceHexReader::Verdict v) {
    return int(v);
}

}  // namespace

ReferenceHexReader::Verdict ReferenceHexReader::Read(const std::uint8_t* text, std::size_t length) {
    std::size_t pos = 0;
    for (line_ = 1;; ++line_) {
        const std::size_t left = length - std::min(pos, length);
        const void* feed = left ? std::memchr(text + pos, '\n', left) : nullptr;
        const std::size_t lineLength =
            feed ? std::size_t(static_cast<const std::uint8_t*>(feed) - (text + pos)) : left;
        if (lineLength == 0) return Verdict::UnexpectedEnd;
        const int outcome = Record(text + pos, lineLength);
        if (outcome >= 0) return ReferenceHexReader::Verdict(outcome);
        pos += lineLength + 1;
    }
}

int ReferenceHexReader::Record(const std::uint8_t* line, std::size_t length) {
    if (length < 9) return Code(Verdict::Damaged);
    const int count = Pair(line + 1), high = Pair(line + 3), low = Pair(line + 5),
              type = Pair(line + 7);
    if (count < 0 || high < 0 || low < 0 || type < 0) return Code(Verdict::Damaged);
    switch (type) {
        case 0:
            return Data(line, length, count, std::uint32_t(high * 256 + low));
        case 1:
            return Code(Verdict::Loaded);
        case 2:
        case 4:
            return Base(line, length, count, type);
        case 3:
        case 5:
            return -1;
        default:
            return Code(Verdict::Silent);
    }
}

int ReferenceHexReader::Data(const std::uint8_t* line, std::size_t length, int count,
                             std::uint32_t address) {
    if (length < std::size_t(9 + 2 * count + 2)) return Code(Verdict::Damaged);
    const std::uint64_t first = base_ + address;
    if (first + std::uint64_t(count) > kImageSize) return Code(Verdict::Damaged);
    int sum = count + int(address >> 8) + int(address & 0xFF);
    for (int i = 0; i <= count; ++i) {
        const int value = Pair(line + 9 + 2 * i);
        if (value < 0) return Code(Verdict::Damaged);
        sum += value;
    }
    if (sum % 256 != 0) return Code(Verdict::ChecksumError);
    for (int i = 0; i < count; ++i)
        stored_[std::uint32_t(first) + i] = std::uint8_t(Pair(line + 9 + 2 * i));
    if (count > 0) lastStored_ = std::int64_t(first) + count - 1;
    if (lastStored_ >= 0) {
        const std::uint32_t page = std::uint32_t(lastStored_ / 128);
        if (page > highestPage_ && PageHoldsData(page)) highestPage_ = page;
    }
    return -1;
}

int ReferenceHexReader::Base(const std::uint8_t* line, std::size_t length, int count, int type) {
    if (length < 15) return Code(Verdict::Damaged);
    const int high = Pair(line + 9), low = Pair(line + 11), checksum = Pair(line + 13);
    if (high < 0 || low < 0 || checksum < 0) return Code(Verdict::Damaged);
    if ((count + high + low + type + checksum) % 256 != 0) return Code(Verdict::ChecksumError);
    const std::uint64_t value = std::uint64_t(high * 256 + low);
    base_ = type == 2 ? value << 4 : value << 16;
    return -1;
}

bool ReferenceHexReader::PageHoldsData(std::uint32_t page) const {
    for (std::uint32_t a = page * 128; a < page * 128 + 128; ++a) {
        const auto it = stored_.find(a);
        if (it != stored_.end() && it->second != 0xFF) return true;
    }
    return false;
}

std::uint32_t ReferenceHexReader::imageSize() const {
    if (lastStored_ < 0) return 0;
    return 128 * (std::max(std::uint32_t(lastStored_ / 128), highestPage_) + 1);
}
