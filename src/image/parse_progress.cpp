#include "image/parse_progress.h"

void ParseProgress::Step() {
    const std::uint64_t q = 105 * std::uint64_t(total_) / length_;
    if (q != std::uint64_t(step_)) {
        threshold_ = SIZE_MAX;
        return;
    }
    if (step_ < 100) {
        ++step_;
        if (sink_) sink_(step_);
        Aim();
    } else {
        threshold_ = SIZE_MAX;
    }
}
