#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "support/temp_files.h"

namespace {

// Sixteen bytes of 0x5A on each of `lines` records from address 0, then the end record.
QByteArray HexText(int lines) {
    QByteArray text;
    for (int a = 0; a < 16 * lines; a += 16) {
        const int sum = 16 + (a >> 8) + (a & 0xFF) + 16 * 0x5A;
        const QByteArray data = QByteArray(16, 'Z').toHex().toUpper();
        const int check = (0x100 - (sum & 0xFF)) & 0xFF;
        text += QString::asprintf(":10%04X00%s%02X\r\n", a, data.constData(), check).toLatin1();
    }
    return text + ":00000001FF\r\n";
}

struct Load {
    std::vector<std::uint8_t> image = std::vector<std::uint8_t>(ImageBuffer::kSize, 0xFF);
    FileLoadOutcome outcome;
    Load(const QString& path, const ProgressSink& progress = {},
         const std::atomic<bool>* stop = nullptr)
        : outcome(loadImageFile(path, image.data(), progress, stop)) {}
};

QByteArray Name(const QString& path) { return QFile::encodeName(path); }

}  // namespace

// A pipe has no size to go by, only the bytes it delivers.
TEST(ImageFileReader, PipesAreReadToTheirEnd) {
    struct Case { const char* name; QByteArray content; std::uint32_t size; QString message; };
    const Case cases[] = {
        {"a.hex", HexText(8), 128, {}},
        {"a.bin", QByteArray(300, 0x5A), 300, {}},
        {"big.bin", QByteArray(ImageBuffer::kSize + 1, 7), 0,
         "File larger than 4MB, Format Error!"},
    };
    for (const Case& c : cases) {
        TempFiles files;
        const QString path = files.Path(c.name);
        ASSERT_EQ(::mkfifo(Name(path).constData(), 0600), 0);
        std::thread writer([&] {
            const int fd = ::open(Name(path).constData(), O_WRONLY);
            for (qsizetype done = 0, n = 0; done < c.content.size() && n >= 0; done += n)
                n = ::write(fd, c.content.constData() + done, std::size_t(c.content.size() - done));
            ::close(fd);
        });
        const Load load(path);
        writer.join();
        EXPECT_EQ(load.outcome.result.ok, c.message.isEmpty()) << c.name;
        EXPECT_EQ(load.outcome.result.imageSize, c.size) << c.name;
        EXPECT_EQ(load.outcome.result.message, c.message) << c.name;
        EXPECT_EQ(load.image[std::max(c.size, 1u) - 1], c.size ? 0x5A : 0xFF) << c.name;
    }
}

TEST(ImageFileReader, AFileCutShortWhileItIsParsedLoadsWhatWasRead) {
    TempFiles files;
    const QString path = files.Write("cut.hex", HexText(1024));
    const Load load(path, [&](int) { QFile::resize(path, 0); });
    ASSERT_TRUE(load.outcome.result.ok) << load.outcome.result.reason.toStdString();
    EXPECT_EQ(load.outcome.result.imageSize, 16u * 1024);
    EXPECT_EQ(load.image[16 * 1024 - 1], 0x5A);
}

TEST(ImageFileReader, TextBeyondTheLimitIsRefusedUnread) {
    TempFiles files;
    QFile huge(files.Path("huge.hex"));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly) && huge.resize((qint64(256) << 20) + 1));
    EXPECT_EQ(Load(huge.fileName()).outcome.result.message,
              "File larger than 256MB, Format Error!");
}

// A stop raised before the read ends it before the first piece; one raised
// during the parse ends it within the line.
TEST(ImageFileReader, AStopEndsTheReadAndTheParse) {
    TempFiles files;
    const QString path = files.Write("a.hex", HexText(1024));
    std::atomic<bool> stop = true;
    const Load early(path, {}, &stop);
    EXPECT_TRUE(early.outcome.result.stopped);
    EXPECT_EQ(early.image[0], 0xFF);

    stop = false;
    const Load late(path, [&](int) { stop = true; }, &stop);
    EXPECT_TRUE(late.outcome.result.stopped);
    EXPECT_EQ(late.image[0], 0x5A);
    EXPECT_EQ(late.image[16 * 1024 - 1], 0xFF);
}
