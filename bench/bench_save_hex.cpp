// Formatting the 4 MiB read-back image as Intel HEX, dense and 90 % blank.
#include <benchmark/benchmark.h>

#include "bench_main.h"

#include <QFile>
#include <vector>

#include "image/image_buffer.h"
#include "image/read_back_writer.h"

namespace {

std::vector<std::uint8_t> Image(bool sparse) {
    std::vector<std::uint8_t> image(ImageBuffer::kSize);
    std::uint32_t seed = 5;
    for (std::size_t i = 0; i < image.size(); ++i) {
        seed = seed * 1664525 + 1013904223;
        image[i] = sparse && (i / 4096) % 10 != 0 ? 0xFF : std::uint8_t(seed >> 24);
    }
    return image;
}

void BM_IntelHexText(benchmark::State& state) {
    const auto image = Image(state.range(0) != 0);
    for (auto _ : state) {
        std::size_t written = 0;
        WriteIntelHex(image.data(), [&written](const char*, std::size_t length) {
            written += length;
            return true;
        });
        benchmark::DoNotOptimize(written);
    }
    state.SetLabel(state.range(0) ? "90% blank" : "dense");
}
BENCHMARK(BM_IntelHexText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (argc > 3 && std::string(argv[1]) == "--write-sample") {
        const auto image = Image(std::string(argv[2]) == "sparse");
        QFile f(argv[3]);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char*>(image.data()), qint64(image.size()));
        return 0;
    }
    return RunBenchmarks(argc, argv);
}
