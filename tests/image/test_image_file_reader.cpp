#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "support/hex_records.h"
#include "support/temp_files.h"

namespace {

QByteArray HexText(int lines) { return ZeroRecords(lines) + ":00000001FF\r\n"; }

}  // namespace

// A pipe has no size to go by, only the bytes it delivers.
TEST(ImageFileReader, PipesAreReadToTheirEnd) {
    struct Case { const char* name; QByteArray content; std::uint32_t size; QString message; };
    const Case cases[] = {
        {"a.hex", HexText(8), 128, {}},
        {"a.bin", QByteArray(300, 0), 300, {}},
        {"big.bin", QByteArray(ImageBuffer::kSize + 1, 7), 0,
         "File larger than 4MB, Format Error!"},
    };
    for (const Case& c : cases) {
        TempFiles files;
        const QByteArray fifo = QFile::encodeName(files.Path(c.name));
        ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        std::thread writer([&] {
            const int fd = ::open(fifo.constData(), O_WRONLY);
            for (qsizetype done = 0, n = 0; done < c.content.size() && n >= 0; done += n)
                n = ::write(fd, c.content.constData() + done, std::size_t(c.content.size() - done));
            ::close(fd);
        });
        std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
        const ImportResult result = loadImageFile(files.Path(c.name), image.data(), {}).result;
        writer.join();
        EXPECT_EQ(result.imageSize, c.size) << c.name;
        EXPECT_EQ(result.message, c.message) << c.name;
        EXPECT_EQ(image[std::max(c.size, 1u) - 1], c.size ? 0 : 0xFF) << c.name;
    }
}

// The progress sink runs on the parsing thread, between two lines.
TEST(ImageFileReader, TheParseKeepsToWhatWasReadWithinTheLimitAndStopsWithinALine) {
    TempFiles files;
    const QString path = files.Write("a.hex", HexText(1024));
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
    // Another program cuts the file short: what was read still loads whole.
    EXPECT_TRUE(loadImageFile(path, image.data(), [&](int) { QFile::resize(path, 0); }).result.ok);
    EXPECT_EQ(image[16 * 1024 - 1], 0);

    std::atomic<bool> stop = false;
    image.assign(ImageBuffer::kSize, 0xFF);
    files.Write("a.hex", HexText(1024));
    EXPECT_TRUE(loadImageFile(path, image.data(), [&](int) { stop = true; }, &stop).result.stopped);
    EXPECT_EQ(image[0], 0);
    EXPECT_EQ(image[16 * 1024 - 1], 0xFF);

    QFile huge(files.Path("huge.hex"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1));
    EXPECT_EQ(loadImageFile(huge.fileName(), image.data(), {}).result.message,
              "File larger than 256MB, Format Error!");
}

// The name picks the reader; bytes that plainly hold another format are
// refused before any reader sees them, naming both.
TEST(ImageFileReader, ANameThatSaysOneFormatOverBytesOfAnotherIsRefused) {
    const QByteArray elf = QByteArray("\x7F" "ELF") + QByteArray(60, '\0');
    const QByteArray srec = "S00600004844521B\r\nS9030000FC\r\n";
    struct Case { const char* name; QByteArray content; QString message; ImageFormat format; };
    const Case cases[] = {
        {"a.hex", elf, "a.hex: the name says Intel HEX but the file holds ELF", {}},
        {"a.ldr", "\r\n  " + srec, "a.ldr: the name says Intel HEX but the file holds Motorola S-record", {}},
        {"a.bin", elf, "a.bin: the name says binary but the file holds ELF", {}},
        {"a.S19", HexText(1), "a.S19: the name says Motorola S-record but the file holds Intel HEX", {}},
        {"a.mot", elf, "a.mot: the name says Motorola S-record but the file holds ELF", {}},
        {"a.elf", " " + HexText(1), "a.elf: the name says ELF but the file holds Intel HEX", {}},
        {"a.out", srec, "a.out: the name says ELF but the file holds Motorola S-record", {}},
        // Any bytes are a binary image; text that is not plainly a format
        // is left to the reader the name picks.
        {"b.BIN", HexText(1), {}, ImageFormat::Binary},
        {"b.hex", HexText(1), {}, ImageFormat::IntelHex},
        {"b.axf", "Hello", "not an ELF file", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFiles files;
        std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
        const ImportResult result = loadImageFile(files.Write(c.name, c.content), image.data(), {}).result;
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(result.ok, c.message.isEmpty());
        EXPECT_EQ(result.format, c.format);
        EXPECT_TRUE(IsImageFileName(c.name));
    }
    EXPECT_FALSE(IsImageFileName("a.txt"));
    EXPECT_FALSE(IsImageFileName("a.s20"));
}

// A binary file may be placed above address 0, where it still fits.
TEST(ImageFileReader, ABinaryFileIsPlacedAtTheOffsetGiven) {
    TempFiles files;
    const QString path = files.Write("a.bin", QByteArray(300, 7));
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
    const ImportResult placed = loadImageFile(path, image.data(), {}, nullptr, 0x3FFE00).result;
    EXPECT_TRUE(placed.ok);
    EXPECT_EQ(placed.imageSize, 0x3FFE00u + 300);
    EXPECT_EQ(image[0x3FFDFF], 0xFF);
    EXPECT_EQ(image[0x3FFE00], 7);
    EXPECT_EQ(image[0x3FFE00 + 299], 7);

    EXPECT_EQ(loadImageFile(path, image.data(), {}, nullptr, 0x3FFF00).result.message,
              "the file does not fit in the 4 MiB image at 3FFF00: 256 bytes fit there");
    EXPECT_EQ(loadImageFile(files.Write("a.hex", HexText(1)), image.data(), {}, nullptr, 0x100).result.reason,
              "an offset places a binary (.bin) file only");
}
