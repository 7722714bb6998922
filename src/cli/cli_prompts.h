#pragma once

#include <functional>

#include "engine/user_prompts.h"

// Answers the engine's questions from the command line's options; nothing
// ever waits for a person.
class CliPrompts : public UserPrompts {
public:
    using MessageSink = std::function<void(const QString& text)>;
    explicit CliPrompts(MessageSink sink) : sink_(std::move(sink)) {}

    void SetOpenFile(const QString& path) { openFile_ = path; }
    void SetReadOptions(const ReadOptions& options) { readOptions_ = options; }
    void SetConfirmed(bool yes) { confirmed_ = yes; }

    void ShowMessage(const QString& text) override {
        if (sink_) sink_(text);
    }
    bool AskWarning(const QString&, const QString&, Buttons) override { return confirmed_; }
    std::optional<FileAnswer> AskOpenFile(const FileQuestion&) override {
        if (openFile_.isEmpty()) return std::nullopt;
        return FileAnswer{openFile_, 0};
    }
    std::optional<FileAnswer> AskSaveFile(const FileQuestion&) override { return std::nullopt; }
    std::optional<ReadOptions> AskReadOptions() override { return readOptions_; }
    std::optional<QString> AskAddress(const QString&) override { return std::nullopt; }

private:
    MessageSink sink_;
    QString openFile_;
    ReadOptions readOptions_{ReadRangeMode::WholeChip, {}, {}, {}, {}};
    bool confirmed_ = false;
};
