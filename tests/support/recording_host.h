#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <utility>
#include <vector>

#include "engine/job_host.h"
#include "engine/job_meter.h"

// A main panel without widgets: keeps the log the way the panel does and
// records everything else the engine asks of it. The line that closes every
// job with its duration is kept apart, so that a log compares the same
// however long the job took; `full` is every text appended, those included.
class RecordingHost : public JobHost {
public:
    QString committed;
    QString shown;
    QString full;
    QStringList durations;
    std::vector<std::pair<int, int>> progress;
    QStringList transients;
    int selectedChip = 1;
    bool autoChip = true;
    bool buttonsEnabled = true;
    int buttonsDisabledCount = 0;
    bool hexViewEnabled = false;
    std::vector<std::uint8_t> viewData;
    int viewHandOvers = 0;
    // Called on every progress step, inside the engine's handling of a reply.
    std::function<void()> onProgress;

    void AppendLog(const QString& text) override {
        full += text;
        if (JobMeter::IsDurationLine(text)) {
            durations << text;
            return;
        }
        shown += text;
        committed = shown;
    }
    void ShowTransientLine(const QString& line) override {
        shown = committed + line;
        transients << line;
    }
    void ClearLog() override { committed.clear(), shown.clear(), full.clear(), durations.clear(); }
    void SetProgress(int maximum, int position) override {
        progress.emplace_back(maximum, position);
        if (onProgress) onProgress();
    }
    void EnableJobButtons() override { buttonsEnabled = true; }
    void DisableJobButtons() override {
        buttonsEnabled = false;
        ++buttonsDisabledCount;
    }
    int SelectedChip() const override { return selectedChip; }
    void SelectChip(int index) override { selectedChip = index; }
    bool AutoChipChecked() const override { return autoChip; }
    void SetAutoChip(bool checked) override { autoChip = checked; }
    void ShowData(const std::uint8_t* data, std::size_t length) override {
        viewData.assign(data, data + length);
        ++viewHandOvers;
    }
    void EnableHexView(bool enable) override { hexViewEnabled = enable; }
};
