#include "cli/console.h"

#include <unistd.h>

#include <cstdio>

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
}

void Console::Live(const QStringList& lines) {
    if (!terminal_) {
        for (const QString& line : lines) std::fputs(qPrintable(line + '\n'), stdout);
        std::fflush(stdout);
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

void Console::DrawLive() {
    if (!terminal_ || live_.isEmpty()) return;
    for (const QString& line : live_) std::fputs(qPrintable("\x1b[2K" + line + '\n'), stdout);
    std::fflush(stdout);
    drawn_ = int(live_.size());
}
