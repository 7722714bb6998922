#include "engine/load_worker.h"

#include <QCoreApplication>
#include <atomic>
#include <mutex>

#include "link/window_messages.h"

struct LoadSession {
    std::mutex mutex;
    bool stopped = false;
    std::atomic<bool> finished = false;
    QObject* target = nullptr;

    void Post(QEvent* event) {
        std::lock_guard lock(mutex);
        if (stopped) {
            delete event;
            return;
        }
        QCoreApplication::postEvent(target, event);
    }
};

void LoadWorker::Start(const QString& path, std::uint8_t* staging) {
    Stop();
    auto session = std::make_shared<LoadSession>();
    session->target = target_;
    session_ = session;
    thread_ = std::thread([session, path, staging] {
        const ProgressSink progress = [&session](int percent) {
            session->Post(new WindowMessage(WM_JOB_PROGRESS, PROGRESS_PERCENT, percent));
        };
        FileLoadOutcome outcome = loadImageFile(path, staging, progress);
        session->Post(new LoadFinishedMessage(std::move(outcome)));
        session->finished = true;
    });
}

void LoadWorker::Stop() {
    if (session_) {
        std::lock_guard lock(session_->mutex);
        session_->stopped = true;
    }
    if (thread_.joinable()) thread_.join();
    session_.reset();
}

bool LoadWorker::running() const { return session_ && !session_->finished; }
