// The CRC-32 of a full 4 MiB image: every load, read and edit pays it once,
// so it must stay far below the time the file itself takes to read.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_main.h"
#include "image/checksum.h"
#include "image/image_buffer.h"

namespace {

void BM_Crc32FourMegabytes(benchmark::State& state) {
    std::vector<std::uint8_t> image(ImageBuffer::kSize);
    for (std::uint32_t i = 0; i < ImageBuffer::kSize; ++i) image[i] = std::uint8_t(i * 31 + 7);
    for (auto _ : state) benchmark::DoNotOptimize(Crc32(image.data(), image.size()));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(image.size()));
}
BENCHMARK(BM_Crc32FourMegabytes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return RunBenchmarks(argc, argv);
}
