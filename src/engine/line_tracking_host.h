#pragma once

#include "engine/job_host.h"

// Passes everything on to the real host and remembers whether the log's last
// text left its line open (a few lines carry no line end, so that the next
// text continues them). The engine's own closing lines start a line of
// their own instead of running on from a job's last words.
class LineTrackingHost : public JobHost {
  public:
    explicit LineTrackingHost(JobHost& host) : host_(host) {}

    bool lineOpen() const { return lineOpen_; }

    // A transient line is shown after the committed text and replaced by
    // the next one; an append keeps whatever is shown.
    void AppendLog(const QString& text) override {
        if (!text.isEmpty()) lineOpen_ = !text.endsWith('\n');
        committedOpen_ = lineOpen_;
        host_.AppendLog(text);
    }
    void ShowTransientLine(const QString& line) override {
        lineOpen_ = line.isEmpty() ? committedOpen_ : !line.endsWith('\n');
        host_.ShowTransientLine(line);
    }
    void ClearLog() override {
        lineOpen_ = committedOpen_ = false;
        host_.ClearLog();
    }
    void SetProgress(int maximum, int position) override { host_.SetProgress(maximum, position); }
    void EnableJobButtons() override { host_.EnableJobButtons(); }
    void DisableJobButtons() override { host_.DisableJobButtons(); }
    int SelectedChip() const override { return host_.SelectedChip(); }
    void SelectChip(int index) override { host_.SelectChip(index); }
    bool AutoChipChecked() const override { return host_.AutoChipChecked(); }
    void SetAutoChip(bool checked) override { host_.SetAutoChip(checked); }
    void ShowData(const std::uint8_t* data, std::size_t length) override {
        host_.ShowData(data, length);
    }
    void EnableHexView(bool enable) override { host_.EnableHexView(enable); }
    QString NothingComparedLine(const char* windowLine) const override {
        return host_.NothingComparedLine(windowLine);
    }

  private:
    JobHost& host_;
    bool lineOpen_ = false;
    bool committedOpen_ = false;
};
