#pragma once

#include <QEvent>
#include <QObject>
#include <QString>
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

// Parses one image file on its own thread, into the staging image only, and
// posts the outcome (and the percentages on the way) to the engine. The
// user-interface thread never waits for it, and a stopped worker posts nothing.
class LoadWorker {
public:
    explicit LoadWorker(QObject* target) : target_(target) {}
    ~LoadWorker() { Stop(); }
    LoadWorker(const LoadWorker&) = delete;
    LoadWorker& operator=(const LoadWorker&) = delete;

    void Start(const QString& path, std::uint8_t* staging);
    // Waits for a running load to end; whatever it found is dropped.
    void Stop();
    bool running() const;

private:
    QObject* target_;
    std::shared_ptr<LoadSession> session_;
    std::thread thread_;
};
