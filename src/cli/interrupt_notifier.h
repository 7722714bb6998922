#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Ctrl+C (SIGINT) and SIGTERM as an event on the user-interface thread: the
// signal handler only writes the signal's number to a pipe, and the event
// loop reads it. A second signal while the first is being handled ends the
// process at once, with 128 + its number and without a summary.
class InterruptNotifier : public QObject {
    Q_OBJECT
public:
    explicit InterruptNotifier(std::function<void(int signal)> onInterrupt, QObject* parent = nullptr);
    ~InterruptNotifier() override;

private:
    std::function<void(int signal)> onInterrupt_;
    QSocketNotifier* notifier_ = nullptr;
};
