#pragma once

#include <QObject>

#include "engine/job_context.h"
#include "engine/load_worker.h"

// Loading an image file into the program image: the open dialog (or the last
// file, for a reload) on the user-interface thread, the parse on the worker,
// and the outcome applied back on the user-interface thread.
class FileLoadJob {
public:
    FileLoadJob(JobContext& context, QObject* target, int stopWaitMs = 100)
        : ctx_(context), worker_(target, stopWaitMs) {}

    // The Open button and "&Open File"; with a path, that file without a
    // dialog (a recent file, a file dropped on the window).
    void Open(const QString& path = {});
    // Starts a load: the given file, else the last file when `reloadNow` is
    // set, else the one the user picks.
    void Start(const QString& path = {});
    // The worker's outcome; true when the program image now holds the new file.
    bool Finish(const FileLoadOutcome& outcome);
    // The file-loaded message: the log line, the bar, the view.
    void LogLoaded();

    // At exit: a running load is stopped (or let go, if it does not end at
    // once) and no load starts again.
    void CloseSlot();
    bool slotClosed() const { return slotClosed_; }
    bool running() const { return worker_.running(); }

private:
    void Failed(const FileLoadOutcome& outcome);
    void Done();
    void StopWorker();

    JobContext& ctx_;
    LoadWorker worker_;
    // The last load that succeeded, for the format line beside the file line.
    ImportResult loaded_;
    bool slotClosed_ = false;
};
