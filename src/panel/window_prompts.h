#pragma once

#include <functional>

#include "engine/user_prompts.h"

// The window's questions, asked through the prompts it was given, with what
// the window knows added: a save proposes a name, the open dialog offers all
// image files at once, and "&Always Read Whole chip" answers the Read
// Options question without showing it.
class WindowPrompts : public UserPrompts {
public:
    explicit WindowPrompts(UserPrompts& inner) : inner_(inner) {}

    // Consulted at every read; true reads the whole chip without asking.
    void SetWholeChip(std::function<bool()> wholeChip) { wholeChip_ = std::move(wholeChip); }
    // The name the next save dialog proposes; used once.
    void ProposeSaveName(const QString& name) { proposedName_ = name; }

    static constexpr char kAllImages[] =
        "All images (*.hex *.ldr *.bin *.srec *.s19 *.s28 *.s37 *.mot *.elf *.axf *.out)|"
        "*.hex;*.ldr;*.bin;*.srec;*.s19;*.s28;*.s37;*.mot;*.elf;*.axf;*.out|";
    static constexpr char kAllFiles[] = "All files|*|";

    void ShowMessage(const QString& text) override { inner_.ShowMessage(text); }
    bool AskWarning(const QString& text, const QString& caption, Buttons buttons) override {
        return inner_.AskWarning(text, caption, buttons);
    }
    Keep AskSaveDiscard(const QString& text, const QString& caption) override {
        return inner_.AskSaveDiscard(text, caption);
    }
    void ShowInformation(const QString& caption, const QString& text) override {
        inner_.ShowInformation(caption, text);
    }
    std::optional<FileAnswer> AskOpenFile(const FileQuestion& question) override;
    std::optional<FileAnswer> AskSaveFile(const FileQuestion& question) override;
    std::optional<ReadOptions> AskReadOptions() override;
    std::optional<QString> AskAddress(const QString& prompt) override { return inner_.AskAddress(prompt); }

private:
    UserPrompts& inner_;
    std::function<bool()> wholeChip_;
    QString proposedName_;
};
