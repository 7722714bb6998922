// Writes a 4 MiB binary as Intel HEX the way Brellix saves its read-back
// image, so that a save can be timed beside other tools doing the same.
#include <QFile>
#include <QSaveFile>
#include <cstdio>

#include "image/image_buffer.h"
#include "image/read_back_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bin_to_hex IN.bin OUT.hex\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) return 1;
    if (in.size() != ImageBuffer::kSize) return 1;
    const std::uint8_t* image = in.map(0, ImageBuffer::kSize);
    if (!image) return 1;
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) return 1;
    const bool written = WriteIntelHex(image, [&out](const char* piece, std::size_t length) {
        return out.write(piece, qint64(length)) == qint64(length);
    });
    return written && out.commit() ? 0 : 1;
}
