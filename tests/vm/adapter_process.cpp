#include "adapter_process.h"

namespace {

constexpr int kAnswerLimitMs = 5000;  // a safety net only: answers come at once

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

AdapterProcess::~AdapterProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    std::string ignored;
    Command("quit", &ignored);
    process_.closeWriteChannel();
    if (!process_.waitForFinished(2000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

bool AdapterProcess::Start(const QString& program, const QStringList& arguments,
                           std::string* error) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(program, arguments);
    if (!process_.waitForStarted(kAnswerLimitMs)) {
        *error =
            "cannot start " + program.toStdString() + ": " + process_.errorString().toStdString();
        return false;
    }
    std::optional<std::string> ready = ReadAnswer(error);
    if (!ready) return false;
    if (*ready != "ready") {
        *error = "the uhid adapter did not get ready: " + *ready;
        return false;
    }
    return true;
}

std::optional<std::string> AdapterProcess::Command(const std::string& command, std::string* error) {
    if (process_.state() != QProcess::Running) {
        *error = "the uhid adapter is not running";
        return std::nullopt;
    }
    process_.write((command + "\n").c_str());
    process_.waitForBytesWritten(kAnswerLimitMs);
    std::optional<std::string> answer = ReadAnswer(error);
    if (!answer) return std::nullopt;
    if (answer->rfind("ok ", 0) != 0) {
        *error = "the uhid adapter refused \"" + command + "\": " + *answer;
        return std::nullopt;
    }
    return answer->substr(3);
}

std::optional<std::string> AdapterProcess::ReadAnswer(std::string* error) {
    while (!process_.canReadLine()) {
        if (!process_.waitForReadyRead(kAnswerLimitMs)) {
            *error = process_.state() == QProcess::Running
                         ? "the uhid adapter did not answer"
                         : "the uhid adapter ended (exit code " +
                               std::to_string(process_.exitCode()) + ")";
            return std::nullopt;
        }
    }
    return process_.readLine().trimmed().toStdString();
}

std::vector<std::uint8_t> AdapterProcess::LastOutputReport() {
    std::string error;
    std::optional<std::string> answer = Command("last", &error);
    std::vector<std::uint8_t> bytes;
    if (!answer || answer->rfind("last", 0) != 0) return bytes;
    const std::string hex = answer->size() > 5 ? answer->substr(5) : "";
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]), low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        bytes.push_back(std::uint8_t(high * 16 + low));
    }
    return bytes;
}
