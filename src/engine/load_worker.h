#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
#include <cstdint>
#include <memory>
#include <thread>

#include "image/image_file_reader.h"

// Posted to the engine when a load has finished on the worker.
inline constexpr QEvent::Type WM_LOAD_FINISHED = QEvent::Type(QEvent::User + 0x674);

class LoadFinishedMessage : public QEvent {
public:
    explicit LoadFinishedMessage(FileLoadOutcome outcome)
        : QEvent(WM_LOAD_FINISHED), outcome(std::move(outcome)) {}
    const FileLoadOutcome outcome;
};

struct LoadSession;

// How Stop left the worker.
enum class LoadStop { Idle, Ended, LetGo };

// Parses one image file on its own thread, into the staging block it is given
// a share of, and posts the outcome (and the percentages on the way) to the
// engine. The user-interface thread never waits for it longer than a moment,
// and a stopped worker posts nothing.
class LoadWorker {
public:
    explicit LoadWorker(QObject* target, int stopWaitMs = 100)
        : target_(target), stopWaitMs_(stopWaitMs) {}
    ~LoadWorker() { Stop(); }
    LoadWorker(const LoadWorker&) = delete;
    LoadWorker& operator=(const LoadWorker&) = delete;

    void Start(const QString& path, std::shared_ptr<std::uint8_t[]> staging);
    // Asks a running load to stop and waits a moment for it. A worker stuck
    // in the system (a file that never delivers) is let go: it keeps its
    // staging block, ends on its own, and posts nothing.
    LoadStop Stop();
    // From Start until Stop, which the engine calls on taking the outcome.
    bool running() const { return session_ != nullptr; }

private:
    QObject* target_;
    int stopWaitMs_;
    std::shared_ptr<LoadSession> session_;
    std::thread thread_;
};
