#pragma once

#include <functional>
#include <optional>

#include "engine/user_prompts.h"

class QWidget;

// The program's prompts, as real dialogs owned by a parent window.
class QtUserPrompts : public UserPrompts {
public:
    explicit QtUserPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void SetParent(QWidget* parent) { parent_ = parent; }

    // Where the open and save dialogs start: the folder of the file last
    // chosen in either, kept by whoever holds the settings.
    struct FolderStore {
        std::function<QString()> recall;
        std::function<void(const QString&)> remember;
    };
    void SetFolderStore(FolderStore store) { folders_ = std::move(store); }

    void ShowMessage(const QString& text) override;
    // Yes/No questions default to No: each of them is about to risk something.
    bool AskWarning(const QString& text, const QString& caption, Buttons buttons) override;
    Keep AskSaveDiscard(const QString& text, const QString& caption) override;
    void ShowInformation(const QString& caption, const QString& text) override;
    std::optional<FileAnswer> AskOpenFile(const FileQuestion& question) override;
    std::optional<FileAnswer> AskSaveFile(const FileQuestion& question) override;
    std::optional<ReadOptions> AskReadOptions() override;
    std::optional<QString> AskAddress(const QString& prompt) override;

    // "Label|pattern|Label|pattern||" as the list of Qt name filters.
    static QStringList NameFilters(const QString& filter);

private:
    std::optional<FileAnswer> AskFile(const FileQuestion& question, bool save);
    QString StartFolder() const;
    void RememberFolder(const QString& path);

    QWidget* parent_;
    // The Read Options dialog offers the range last accepted in this run.
    std::optional<ReadOptions> lastReadOptions_;
    FolderStore folders_;
};
