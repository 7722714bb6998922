// The difference list a read-back compare builds: two 4 MiB images that are
// equal, that differ in a few places, and that differ everywhere.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_main.h"
#include "image/image_compare.h"

namespace {

constexpr std::uint32_t kImage = 4 * 1024 * 1024;

void BM_DifferingAddresses(benchmark::State& state) {
    std::vector<std::uint8_t> expected(kImage), actual(kImage);
    for (std::uint32_t i = 0; i < kImage; ++i) expected[i] = std::uint8_t(i * 13 + 7);
    actual = expected;
    const int differing = int(state.range(0));
    if (differing == -1) {
        for (auto& b : actual) b = std::uint8_t(~b);
    } else {
        for (int n = 0; n < differing; ++n) actual[std::size_t(n) * (kImage / std::uint32_t(differing))] ^= 0xA5;
    }
    // As the engine does it: one list, used again by every compare.
    std::vector<std::uint32_t> list;
    for (auto _ : state) {
        DifferingAddresses(expected.data(), actual.data(), 0, kImage, list);
        benchmark::DoNotOptimize(list.data());
    }
    const std::size_t found = list.size();
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kImage);
    state.SetLabel(std::to_string(found) + " differ");
}
BENCHMARK(BM_DifferingAddresses)->Arg(0)->Arg(3)->Arg(-1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) { return RunBenchmarks(argc, argv); }
