#pragma once

#include <QObject>

class QSocketNotifier;

// The operator's Enter key (or a foot switch, which sends the same) read from
// standard input as the event loop finds it readable, so the loop never waits
// on it. Each newline is one press; the end of the input says no press will
// come any more.
class EnterKeys : public QObject {
    Q_OBJECT
public:
    explicit EnterKeys(int fd, QObject* parent = nullptr);

signals:
    void Pressed();
    void Closed();

private:
    void Read();

    int fd_;
    QSocketNotifier* notifier_;
};
