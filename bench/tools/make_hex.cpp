// Writes SIZE bytes as Intel HEX, with Brellix's own writer, for the command
// line's timings. The bytes are the program benchmark's pattern, so a timed
// program writes exactly what that benchmark writes: every 256-byte block
// holds each byte value once, and none is blank.
#include <QSaveFile>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "image/image_buffer.h"
#include "image/read_back_writer.h"

int main(int argc, char** argv) {
    const unsigned long size = argc == 3 ? std::strtoul(argv[1], nullptr, 0) : 0;
    if (size == 0 || size > ImageBuffer::kSize) {
        std::fprintf(stderr, "usage: make_hex SIZE OUT.hex  (SIZE up to 4 MiB)\n");
        return 2;
    }
    std::vector<std::uint8_t> image(ImageBuffer::kSize, ImageBuffer::kBlank);
    for (std::uint32_t i = 0; i < size; ++i) image[i] = std::uint8_t(i * 31 + 7);
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) return 1;
    const bool written = WriteIntelHexRange(
        image.data(), 0, std::uint32_t(size), [&out](const char* piece, std::size_t length) {
            return out.write(piece, qint64(length)) == qint64(length);
        });
    return written && out.commit() ? 0 : 1;
}
