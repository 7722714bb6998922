#include "engine/job_meter.h"

namespace {

constexpr char kDurationHead[] = "Done in ";

}  // namespace

JobMeter::JobMeter() {
    monotonic_.start();
    clock_ = [this] { return monotonic_.elapsed(); };
}

QString JobMeter::DurationLine(std::int64_t elapsedMs, std::uint64_t bytes) {
    QString line = kDurationHead + Seconds(elapsedMs);
    if (const QString rate = Rate(elapsedMs, bytes); !rate.isEmpty()) line += " (" + rate + ")";
    return line + "\r\n";
}

QString JobMeter::Seconds(std::int64_t ms) { return QString::asprintf("%.1f s", double(ms) / 1000.0); }

// A job that took no measurable time has no rate to speak of.
QString JobMeter::Rate(std::int64_t elapsedMs, std::uint64_t bytes) {
    if (bytes == 0 || elapsedMs <= 0) return {};
    return QString::asprintf("%.1f KiB/s", double(bytes) / 1024.0 / (double(elapsedMs) / 1000.0));
}

bool JobMeter::IsDurationLine(const QString& text) {
    qsizetype from = 0;
    while (from < text.size() && (text[from] == '\r' || text[from] == '\n')) ++from;
    return QStringView(text).mid(from).startsWith(QLatin1String(kDurationHead));
}
