#include "cli/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kDefaultColumns = 80;

// The terminal's width now (it may have been resized), else $COLUMNS.
int TerminalColumns() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    return ok && columns > 0 ? columns : kDefaultColumns;
}

}  // namespace

Console::Console() : terminal_(::isatty(STDOUT_FILENO) == 1) {}

void Console::Out(const QString& line) {
    ClearLive();
    std::fputs(qPrintable(line + '\n'), stdout);
    std::fflush(stdout);
    DrawLive();
}

void Console::Err(const QString& line) {
    ClearLive();
    std::fputs(qPrintable(line + '\n'), stderr);
    std::fflush(stderr);
    DrawLive();
    if (errorTap_) errorTap_(line);
}

// Off a terminal a line is printed when it has changed: a running job's line
// each time (its clock moves), a finished one's once.
void Console::Live(const QStringList& lines) {
    if (!terminal_) {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (i < live_.size() && live_[i] == lines[i]) continue;
            std::fputs(qPrintable(lines[i] + '\n'), stdout);
        }
        std::fflush(stdout);
        live_ = lines;
        return;
    }
    ClearLive();
    live_ = lines;
    DrawLive();
}

void Console::EndLive() {
    live_.clear();
    drawn_ = 0;
}

// Moves up over the block and clears it line by line.
void Console::ClearLive() {
    if (!terminal_ || drawn_ == 0) return;
    std::fprintf(stdout, "\x1b[%dA", drawn_);
    for (int i = 0; i < drawn_; ++i) std::fputs("\x1b[2K\n", stdout);
    std::fprintf(stdout, "\x1b[%dA", drawn_);
    std::fflush(stdout);
    drawn_ = 0;
}

// A line as wide as the terminal would wrap, and the block would no longer be
// where the cursor moves back to: each is cut a column short of the edge.
void Console::DrawLive() {
    if (!terminal_ || live_.isEmpty()) return;
    const int width = std::max(TerminalColumns() - 1, 1);
    for (const QString& line : live_) std::fputs(qPrintable("\x1b[2K" + line.left(width) + '\n'), stdout);
    std::fflush(stdout);
    drawn_ = int(live_.size());
}
