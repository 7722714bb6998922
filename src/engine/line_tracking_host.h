#pragma once

#include "engine/job_host.h"

// Passes everything on to the real host and keeps track of the log's last
// line. A few texts carry no line end: the checking line, which the chip
// lines of its reply continue, is logged with AppendContinued; any other
// open line (a save's, "undefined commands feed back!") is a sentence of its
// own, and the next text starts a new line after it. The engine's closing
// line starts a line of its own whatever came before.
class LineTrackingHost : public JobHost {
  public:
    explicit LineTrackingHost(JobHost& host) : host_(host) {}

    bool lineOpen() const { return shown_.open; }

    // A transient line is shown after the committed text and replaced by
    // the next one; an append keeps whatever is shown.
    void AppendLog(const QString& text) override { Append(text, false); }
    void AppendContinued(const QString& text) { Append(text, true); }
    void ShowTransientLine(const QString& line) override {
        shown_ = line.isEmpty() ? committed_ : End{!line.endsWith('\n'), false};
        host_.ShowTransientLine(line.isEmpty() ? line : Placed(line, committed_));
    }
    void ClearLog() override {
        shown_ = committed_ = End{};
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
    struct End {
        bool open = false;       // the line has no line end yet
        bool continued = false;  // and the next text belongs on it
    };

    static QString Placed(const QString& text, End after) {
        const bool breaks = text.isEmpty() || text.startsWith('\r') || text.startsWith('\n');
        return after.open && !after.continued && !breaks ? "\r\n" + text : text;
    }

    void Append(const QString& text, bool continued) {
        const QString placed = Placed(text, shown_);
        if (!text.isEmpty()) shown_ = End{!text.endsWith('\n'), continued && !text.endsWith('\n')};
        committed_ = shown_;
        host_.AppendLog(placed);
    }

    JobHost& host_;
    End shown_;
    End committed_;
};
