#pragma once

#include <benchmark/benchmark.h>

// Runs the registered benchmarks; the caller has created its application
// object first, since the code measured posts events and paints.
inline int RunBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
