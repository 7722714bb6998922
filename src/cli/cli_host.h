#pragma once

#include <functional>

#include "engine/job_host.h"

// The main panel's part for one adapter on the command line: whole log lines
// go to a sink, the bar's position is kept for the progress display, and the
// chip list is a number.
class CliHost : public JobHost {
public:
    using LineSink = std::function<void(const QString& line)>;
    explicit CliHost(LineSink sink) : sink_(std::move(sink)) {}

    void AppendLog(const QString& text) override;
    // Percent lines are what the progress display shows instead.
    void ShowTransientLine(const QString&) override {}
    void ClearLog() override { pending_.clear(); }
    void SetProgress(int maximum, int position) override;
    void EnableJobButtons() override {}
    void DisableJobButtons() override {}
    int SelectedChip() const override { return chip_; }
    void SelectChip(int index) override { chip_ = index; }
    bool AutoChipChecked() const override { return autoChip_; }
    void SetAutoChip(bool checked) override { autoChip_ = checked; }
    void ShowData(const std::uint8_t*, std::size_t) override {}
    void EnableHexView(bool) override {}
    QString NothingComparedLine(const char*) const override {
        return "Nothing compared: Direct access cannot read the chip back (use --access jtag)\r\n";
    }

    // How far the bar stands, 0..1.
    double fraction() const { return fraction_; }
    void ResetProgress() { fraction_ = 0; }
    // The last whole line logged.
    const QString& lastLine() const { return lastLine_; }
    // A line still waiting for its end goes out as it is.
    void Flush();

private:
    LineSink sink_;
    QString pending_;
    QString lastLine_;
    double fraction_ = 0;
    int chip_ = -1;  // none until detected or named: a failed detection names no chip
    bool autoChip_ = true;
};
