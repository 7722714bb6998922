#include "blank_image.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "fuzz_check.h"

namespace {

constexpr std::size_t kGuard = 4096;

int BlankFile() {
    const int fd = memfd_create("brellix-blank-image", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    const std::vector<std::uint8_t> blank(BlankImage::kSize, 0xFF);
    FUZZ_CHECK(write(fd, blank.data(), blank.size()) == ssize_t(blank.size()));
    return fd;
}

}  // namespace

BlankImage::BlankImage() {
    void* area = mmap(nullptr, kSize + 2 * kGuard, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    FUZZ_CHECK(area != MAP_FAILED);
    image_ = static_cast<std::uint8_t*>(area) + kGuard;
    const int fd = BlankFile();
    FUZZ_CHECK(mmap(image_, kSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd, 0) ==
               image_);
    close(fd);
}

void BlankImage::Reset() {
    FUZZ_CHECK(madvise(image_, kSize, MADV_DONTNEED) == 0);
}
