// Feeds ELF files to the ELF reader. The input is the file itself.
//
// What the reader stored is held against the file's own program headers,
// read here the plain way: a file that loads has each loadable segment's file
// bytes at its physical address and a size of whole pages up to the highest
// of them; a file that is refused leaves those places blank and says why.
#include <algorithm>
#include <cstring>
#include <vector>

#include "blank_image.h"
#include "fuzz_check.h"
#include "image/elf_reader.h"

namespace {

constexpr std::uint64_t kImageSize = BlankImage::kSize;

struct PlainSegment {
    std::uint64_t offset, address, size;
};

// The program headers as far as they lie in the file.
class PlainElf {
public:
    PlainElf(const std::uint8_t* data, std::size_t size) : data_(data) {
        if (size < 64 || std::memcmp(data, "\x7F" "ELF", 4) != 0) return;
        is64_ = data[4] == 2;
        big_ = data[5] == 2;
        entry_ = is64_ ? Get(24, 8) : Get(24, 4);
        const std::uint64_t table = is64_ ? Get(32, 8) : Get(28, 4);
        const std::uint64_t entrySize = Get(is64_ ? 54 : 42, 2);
        const std::uint64_t count = Get(is64_ ? 56 : 44, 2);
        // A count too large for the header is kept elsewhere; such a file
        // is held to the general checks only.
        known_ = count != 0xFFFF;
        if (!known_ || entrySize < (is64_ ? 56u : 32u)) return;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint64_t at = table + i * entrySize;
            if (at > size || size - at < entrySize) return;
            if (Get(at, 4) != 1) continue;  // PT_LOAD
            const PlainSegment s = is64_ ? PlainSegment{Get(at + 8, 8), Get(at + 24, 8), Get(at + 32, 8)}
                                         : PlainSegment{Get(at + 4, 4), Get(at + 12, 4), Get(at + 16, 4)};
            if (s.size > 0) segments_.push_back(s);
        }
    }
    const std::vector<PlainSegment>& segments() const { return segments_; }
    std::uint64_t entry() const { return entry_; }
    bool known() const { return known_; }

private:
    std::uint64_t Get(std::uint64_t at, int width) const {
        std::uint64_t value = 0;
        for (int i = 0; i < width; ++i) {
            const std::uint64_t byte = data_[at + std::uint64_t(big_ ? i : width - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

    const std::uint8_t* data_;
    bool is64_ = false;
    bool big_ = false;
    bool known_ = true;
    std::uint64_t entry_ = 0;
    std::vector<PlainSegment> segments_;
};

bool Inside(const PlainSegment& s, std::size_t fileSize) {
    return s.offset <= fileSize && s.size <= fileSize - s.offset && s.address < kImageSize &&
           s.size <= kImageSize - s.address;
}

void CheckLoaded(const ImportResult& result, const PlainElf& plain, const std::uint8_t* data, std::size_t size,
                 const std::uint8_t* image) {
    FUZZ_CHECK(result.format == ImageFormat::Elf && result.message.isEmpty());
    FUZZ_CHECK(result.imageSize % 128 == 0 && result.imageSize <= kImageSize && result.imageSize > 0);
    if (!plain.known()) return;
    FUZZ_CHECK(!plain.segments().empty());
    std::uint64_t end = 0;
    for (const PlainSegment& s : plain.segments()) {
        FUZZ_CHECK(Inside(s, size));
        FUZZ_CHECK(std::memcmp(image + s.address, data + s.offset, std::size_t(s.size)) == 0);
        end = std::max(end, s.address + s.size);
    }
    FUZZ_CHECK(result.imageSize == (end + 127) / 128 * 128);
    FUZZ_CHECK(result.hasStart == (plain.entry() <= 0xFFFFFFFFu));
    if (result.hasStart) FUZZ_CHECK(result.start == plain.entry());
}

void CheckRefused(const ImportResult& result, const PlainElf& plain, const std::uint8_t* image) {
    FUZZ_CHECK(!result.reason.isEmpty() && !result.stopped);
    for (const PlainSegment& s : plain.segments()) {
        if (s.address >= kImageSize) continue;
        const std::size_t n = std::size_t(std::min(s.size, kImageSize - s.address));
        const std::uint8_t* p = image + s.address;
        FUZZ_CHECK(std::all_of(p, p + n, [](std::uint8_t b) { return b == 0xFF; }));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static BlankImage image;
    // The reader works on the bytes of a file read whole; a copy of the exact
    // length lets the sanitizer see any read past its end.
    const std::vector<std::uint8_t> file(data, data + size);
    const ImportResult result = ReadElf(file.data(), file.size(), image.data());
    const PlainElf plain(file.data(), file.size());
    if (result.ok) CheckLoaded(result, plain, file.data(), file.size(), image.data());
    else CheckRefused(result, plain, image.data());
    image.Reset();
    return 0;
}
