#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

// Ctrl+C as an event on the user-interface thread: the signal handler only
// writes a byte to a pipe, and the event loop reads it. A second Ctrl+C while
// the first is being handled ends the process at once.
class InterruptNotifier : public QObject {
    Q_OBJECT
public:
    explicit InterruptNotifier(std::function<void()> onInterrupt, QObject* parent = nullptr);
    ~InterruptNotifier() override;

private:
    std::function<void()> onInterrupt_;
    QSocketNotifier* notifier_ = nullptr;
};
