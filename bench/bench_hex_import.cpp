// Intel HEX import of a full 4 MiB image (about 11.8 MB of text): the parse
// alone on text in memory, and the whole load from a file on disk.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <vector>

#include "image/image_buffer.h"
#include "image/image_file_reader.h"
#include "image/intel_hex_reader.h"

namespace {

std::string DenseHexText() {
    std::string text;
    text.reserve(12 << 20);
    char line[64];
    std::uint32_t seed = 12345;
    for (std::uint32_t address = 0; address < ImageBuffer::kSize; address += 16) {
        if (address % 0x10000 == 0) {
            const unsigned upper = address >> 16;
            std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", upper,
                          (0x100 - ((6 + (upper >> 8) + (upper & 0xFF)) & 0xFF)) & 0xFF);
            text += line;
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        int n = std::snprintf(line, sizeof line, ":10%04X00", address & 0xFFFF);
        for (int i = 0; i < 16; ++i) {
            seed = seed * 1103515245 + 12345;
            const unsigned b = (seed >> 16) & 0xFF;
            sum += b;
            n += std::snprintf(line + n, sizeof line - std::size_t(n), "%02X", b);
        }
        std::snprintf(line + n, sizeof line - std::size_t(n), "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    text += ":00000001FF\r\n";
    return text;
}

const std::string& Text() {
    static const std::string text = DenseHexText();
    return text;
}

void BM_ParseIntelHex(benchmark::State& state) {
    const std::string& text = Text();
    std::vector<std::uint8_t> image(ImageBuffer::kSize, 0xFF);
    for (auto _ : state) {
        const ImportResult r = ReadIntelHex(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                                            image.data(), {});
        if (!r.ok) state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}
BENCHMARK(BM_ParseIntelHex)->Unit(benchmark::kMillisecond);

void BM_LoadHexFile(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("image.hex");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(Text().data(), qint64(Text().size()));
    f.close();
    ImageBuffer buffer;
    for (auto _ : state) {
        const FileLoadOutcome o = loadImageFile(path, buffer.ResetStaging(), [](int) {});
        if (!o.result.ok) state.SkipWithError("load failed");
        buffer.CommitLoad(o.result.imageSize);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(Text().size()));
}
BENCHMARK(BM_LoadHexFile)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 2 && std::string(argv[1]) == "--write-sample") {
        QFile f(argv[2]);
        f.open(QIODevice::WriteOnly);
        f.write(Text().data(), qint64(Text().size()));
        return 0;
    }
    return RunBenchmarks(argc, argv);
}
