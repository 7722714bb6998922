#include "cli/enter_keys.h"

#include <QSocketNotifier>
#include <cerrno>
#include <unistd.h>

EnterKeys::EnterKeys(int fd, QObject* parent)
    : QObject(parent), fd_(fd), notifier_(new QSocketNotifier(fd, QSocketNotifier::Read, this)) {
    connect(notifier_, &QSocketNotifier::activated, this, &EnterKeys::Read);
}

// Called only when the input is readable, so one read returns at once.
void EnterKeys::Read() {
    char buffer[256];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        notifier_->setEnabled(false);
        emit Closed();
        return;
    }
    for (ssize_t i = 0; i < n; ++i)
        if (buffer[i] == '\n') emit Pressed();
}
