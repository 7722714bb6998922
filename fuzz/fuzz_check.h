#pragma once

#include <cstdio>
#include <cstdlib>

// A property every input must keep. A broken one aborts, so libFuzzer saves
// the input that broke it as a crash; assert() would vanish from the
// optimised build the fuzzers run in.
#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (false)

#include "image/import_result.h"

// A parse's percentages come one step at a time from 2 up, never past 100.
struct ProgressCheck {
    int last = 1;
    ProgressSink Sink() {
        return [this](int percent) {
            FUZZ_CHECK(percent == last + 1 && percent <= 100);
            last = percent;
        };
    }
};
