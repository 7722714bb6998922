#pragma once

#include <QString>
#include <cstdio>
#include <cstdlib>

#include "engine/job_host.h"
#include "engine/job_meter.h"

// A main panel that keeps only what the fuzzer checks: how often it was
// called, the last two log lines (the job's duration line, which follows a
// job's own last line, set aside), and the chip list and Auto Chip box. Data handed
// to the view is touched at both ends, so a length that overruns its block
// shows up under AddressSanitizer without copying megabytes. With
// BRELLIX_FUZZ_TRACE set it prints the log, to follow a reproducer.
class FuzzHost : public JobHost {
  public:
    const bool trace = std::getenv("BRELLIX_FUZZ_TRACE") != nullptr;
    int calls = 0;
    QString lastLine;
    QString previousLine;  // the one before lastLine
    int selectedChip = 1;
    bool autoChip = true;

    void Reset(int selected, bool autoChipOn) {
        calls = 0;
        lastLine.clear();
        previousLine.clear();
        selectedChip = selected;
        autoChip = autoChipOn;
    }

    void AppendLog(const QString& text) override {
        ++calls;
        if (!JobMeter::IsDurationLine(text)) {
            previousLine = lastLine;
            lastLine = text;
        }
        if (trace) std::fprintf(stderr, "log: %s\n", qPrintable(text));
    }
    void ShowTransientLine(const QString& line) override {
        ++calls;
        if (trace) std::fprintf(stderr, "transient: %s\n", qPrintable(line));
    }
    void ClearLog() override { ++calls; }
    void SetProgress(int, int) override { ++calls; }
    void EnableJobButtons() override { ++calls; }
    void DisableJobButtons() override { ++calls; }
    int SelectedChip() const override { return selectedChip; }
    void SelectChip(int index) override {
        ++calls;
        selectedChip = index;
    }
    bool AutoChipChecked() const override { return autoChip; }
    void SetAutoChip(bool checked) override {
        ++calls;
        autoChip = checked;
    }
    void ShowData(const std::uint8_t* data, std::size_t length) override {
        ++calls;
        if (length == 0) return;
        volatile std::uint8_t ends = data[0];
        ends = data[length - 1];
        (void)ends;
    }
    void EnableHexView(bool) override { ++calls; }
};
