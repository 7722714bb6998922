#pragma once

#include <QStatusBar>
#include <QTimer>
#include <functional>

#include "engine/job_state.h"

class JobEngine;
class QLabel;

// The line at the bottom of the frame: which adapter the program talks to,
// the chip a detection or chip check found (not what the chip list happens
// to show), the loaded file with its checksum and edit mark, and while a job
// runs how long it has taken and how fast it goes. It follows the engine's
// notices and the link's; the checksum is the engine's, made once per load
// or edit, never here.
class FrameStatusBar : public QStatusBar {
    Q_OBJECT
  public:
    enum Field { Adapter, Chip, File, Job, FieldCount };

    // How often the running job's time and rate are brought up to date.
    static constexpr int kJobRefreshMs = 250;
    // The most of a file's name the bar shows.
    static constexpr int kNameShown = 40;

    explicit FrameStatusBar(JobEngine& engine, QWidget* parent = nullptr);

    // How far the running job has come, 0..100, or -1 when that cannot be
    // said; with it the bar shows the percentage and the time left.
    void SetProgressSource(std::function<int()> percent) { percent_ = std::move(percent); }

    QString text(Field field) const;
    QString toolTip(Field field) const;
    bool jobClockRunning() const { return jobClock_.isActive(); }

    void RefreshAdapter();
    void RefreshChip();
    void RefreshFile();
    void RefreshJob();
    // The selection of the hex view last changed: its length and CRC-32,
    // or nothing shown for none.
    void ShowSelection(int length, quint32 crc);
    QString selectionText() const;

  private:
    void OnJobBegun();
    void OnJobEnded();

    JobEngine& engine_;
    QLabel* fields_[FieldCount] = {};
    QLabel* selection_ = nullptr;
    QTimer jobClock_;
    std::function<int()> percent_;
};
