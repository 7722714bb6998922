#pragma once

#include <QElapsedTimer>
#include <QString>
#include <cstdint>
#include <functional>

// How long the running job has taken. Every job ends with a line saying how
// long it took and, when it moved data, how fast; the status bar shows the
// same while the job runs. The clock can be replaced so that a test decides
// what the time is.
class JobMeter {
  public:
    // Milliseconds on a clock that never goes back.
    using Clock = std::function<std::int64_t()>;

    JobMeter();
    // The default clock belongs to this meter.
    JobMeter(const JobMeter&) = delete;
    JobMeter& operator=(const JobMeter&) = delete;

    void SetClock(Clock clock) { clock_ = std::move(clock); }
    void Begin() { begunMs_ = clock_(); }
    // Since the running job began.
    std::int64_t ElapsedMs() const { return clock_() - begunMs_; }

    // "Done in 52.1 s (80.6 KiB/s)\r\n", or without the rate when the job
    // moved nothing (or failed, which the caller says by bytes = 0).
    static QString DurationLine(std::int64_t elapsedMs, std::uint64_t bytes);
    // "52.1 s": how the program writes every duration.
    static QString Seconds(std::int64_t ms);
    // Bytes per second as KiB/s with one decimal; empty when it cannot be said.
    static QString Rate(std::int64_t elapsedMs, std::uint64_t bytes);
    // Whether a log text (with or without its line ends) is a duration line,
    // for readers of the log that look for a job's own last line.
    static bool IsDurationLine(const QString& text);

  private:
    QElapsedTimer monotonic_;
    Clock clock_;
    std::int64_t begunMs_ = 0;
};
