#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

// Runs the event loop until done() holds or limitMs passes; returns done().
// The limit is a safety net for a broken test, never a wait the test relies on.
inline bool RunUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Lets every event that is already due run, including the events those post
// in turn, and the given time pass.
inline void RunFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    int passes = 0;
    do QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (++passes < 8 || clock.elapsed() < ms);
}
