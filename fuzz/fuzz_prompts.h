#pragma once

#include "engine/user_prompts.h"

// Answers every question at once: the open dialog and the read options with
// what the current input chose, everything else with Cancel.
class FuzzPrompts : public UserPrompts {
  public:
    int messages = 0;
    std::optional<FileAnswer> openAnswer;
    std::optional<ReadOptions> readOptions;

    void ShowMessage(const QString&) override { ++messages; }
    bool AskWarning(const QString&, const QString&, Buttons) override { return false; }
    std::optional<FileAnswer> AskOpenFile(const FileQuestion&) override { return openAnswer; }
    std::optional<FileAnswer> AskSaveFile(const FileQuestion&) override { return std::nullopt; }
    std::optional<ReadOptions> AskReadOptions() override { return readOptions; }
    std::optional<QString> AskAddress(const QString&) override { return std::nullopt; }
};
