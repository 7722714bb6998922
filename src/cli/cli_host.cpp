#include "cli/cli_host.h"

#include <algorithm>

#include "engine/job_meter.h"

// Log text arrives with its own line ends, and some of it (the checking
// line) without one, to be continued by the next text. A job's duration
// comes after its last line, which stays the line that says how it ended.
void CliHost::AppendLog(const QString& text) {
    pending_ += text;
    for (qsizetype end = pending_.indexOf('\n'); end >= 0; end = pending_.indexOf('\n')) {
        QString line = pending_.left(end);
        pending_.remove(0, end + 1);
        if (line.endsWith('\r')) line.chop(1);
        if (!JobMeter::IsDurationLine(line)) lastLine_ = line;
        if (sink_) sink_(line);
    }
}

void CliHost::SetProgress(int maximum, int position) {
    fraction_ = maximum > 0 ? std::clamp(double(position) / maximum, 0.0, 1.0) : 0.0;
}

void CliHost::Flush() {
    if (pending_.isEmpty()) return;
    lastLine_ = pending_;
    if (sink_) sink_(pending_);
    pending_.clear();
}
