// Loads an image file (Intel HEX, S-record or binary, by its name) the way
// Brellix does and writes the image as raw bytes, so that a whole import can
// be timed beside other tools doing the same.
#include <QCoreApplication>
#include <QFile>
#include <cstdio>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hex_to_bin IN.hex|IN.s37 OUT.bin\n");
        return 2;
    }
    ImageBuffer buffer;
    const FileLoadOutcome o = loadImageFile(QString::fromLocal8Bit(argv[1]), buffer.ResetStaging(), {});
    if (!o.result.ok) {
        std::fprintf(stderr, "%s\n", qPrintable(o.result.reason));
        return 1;
    }
    buffer.CommitLoad(o.result.imageSize);
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly)) return 1;
    out.write(reinterpret_cast<const char*>(buffer.program()), buffer.imageSize());
    return 0;
}
