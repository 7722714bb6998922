#pragma once

#include <cstddef>
#include <cstdint>

#include "image/import_result.h"

// The percentages of a record file's parse. Posts one each time 105 x
// characters read / file length reaches the next step exactly; a step jumped
// over ends the posting for good.
class ParseProgress {
public:
    ParseProgress(std::size_t length, const ProgressSink& sink) : length_(length), sink_(sink) { Aim(); }
    // One more line read, its line feed not counted.
    void Add(std::size_t lineLength) {
        total_ += lineLength;
        if (total_ >= threshold_) Step();
    }

private:
    void Step();
    // The first total at which the quotient can equal the step.
    void Aim() {
        threshold_ = length_ == 0 ? SIZE_MAX : std::size_t((std::uint64_t(step_) * length_ + 104) / 105);
    }
    std::size_t length_;
    const ProgressSink& sink_;
    std::size_t total_ = 0;
    std::size_t threshold_ = 0;
    int step_ = 1;
};
