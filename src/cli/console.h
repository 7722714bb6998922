#pragma once

#include <QString>
#include <QStringList>
#include <functional>

// Where the command line writes: results on standard output, log lines on
// standard error, and on a terminal a block of live progress lines that is
// redrawn in place and kept below whatever else is written.
class Console {
public:
    Console();

    bool terminal() const { return terminal_; }
    // A line of results.
    void Out(const QString& line);
    // A log line or a complaint.
    void Err(const QString& line);
    // The progress block: redrawn in place on a terminal, each line cut to its
    // width; else each line printed when it differs from the last time.
    void Live(const QStringList& lines);
    // A line the terminal itself wrote below the block (its echo of Enter):
    // cleared with the block at the next redraw, so the block stays in place.
    void Echoed() { drawn_ += drawn_ > 0 ? 1 : 0; }
    // Each complaint is also handed here: a window showing a run says why it stopped.
    void TapErrors(std::function<void(const QString&)> tap) { errorTap_ = std::move(tap); }
    // Leaves the progress block where it stands; the next block starts afresh.
    void EndLive();

private:
    void ClearLive();
    void DrawLive();

    std::function<void(const QString&)> errorTap_;
    bool terminal_ = false;
    QStringList live_;
    int drawn_ = 0;
};
