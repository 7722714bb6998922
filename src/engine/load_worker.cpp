#include "engine/load_worker.h"

#include <QCoreApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "link/window_messages.h"

// What the worker and the engine share. The stop flag is raised under the
// mutex and every post is made under it, so once Stop has raised it nothing
// more reaches the engine, however long the worker takes to notice.
struct LoadSession {
    std::mutex mutex;
    std::condition_variable endedSignal;
    std::atomic<bool> stop = false;
    bool ended = false;
    QObject* target = nullptr;

    void Post(QEvent* event) {
        std::lock_guard lock(mutex);
        PostLocked(event);
    }
    void Finish(QEvent* event) {
        std::lock_guard lock(mutex);
        PostLocked(event);
        ended = true;
        endedSignal.notify_all();
    }

private:
    void PostLocked(QEvent* event) {
        if (stop) delete event;
        else QCoreApplication::postEvent(target, event);
    }
};

void LoadWorker::Start(const QString& path, std::shared_ptr<std::uint8_t[]> staging) {
    Stop();
    auto session = std::make_shared<LoadSession>();
    session->target = target_;
    session_ = session;
    thread_ = std::thread([session, path, staging = std::move(staging)] {
        const ProgressSink progress = [&session](int percent) {
            session->Post(new WindowMessage(WM_JOB_PROGRESS, PROGRESS_PERCENT, percent));
        };
        FileLoadOutcome outcome = loadImageFile(path, staging.get(), progress, &session->stop);
        session->Finish(new LoadFinishedMessage(std::move(outcome)));
    });
}

LoadStop LoadWorker::Stop() {
    if (!session_) return LoadStop::Idle;
    bool ended = false;
    {
        std::unique_lock lock(session_->mutex);
        session_->stop = true;
        ended = session_->endedSignal.wait_for(lock, std::chrono::milliseconds(stopWaitMs_),
                                               [this] { return session_->ended; });
    }
    // An ended worker has nothing left to do but return, so the join is at once.
    if (ended) thread_.join();
    else thread_.detach();
    session_.reset();
    return ended ? LoadStop::Ended : LoadStop::LetGo;
}
