#include "cli/interrupt_notifier.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace {

int wakePipe[2] = {-1, -1};
volatile sig_atomic_t interrupts = 0;

// The first signal is handled on the event loop, which winds the run down; a
// second one, while it does, ends the process at once as the signal would.
void OnSignal(int signal) {
    interrupts = interrupts + 1;
    if (interrupts > 1) _exit(128 + signal);
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
}

}  // namespace

InterruptNotifier::InterruptNotifier(std::function<void(int)> onInterrupt, QObject* parent)
    : QObject(parent), onInterrupt_(std::move(onInterrupt)) {
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char byte = 0, signal = 0;
        while (::read(wakePipe[0], &byte, 1) > 0) signal = byte;
        if (onInterrupt_ && signal != 0) onInterrupt_(int(signal));
    });
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

InterruptNotifier::~InterruptNotifier() {
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    delete notifier_;
    for (int& fd : wakePipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}
