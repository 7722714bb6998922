#pragma once

#include <QString>
#include <optional>

#include "image/read_range.h"

// Every modal question the program asks. The program's own implementation
// shows real dialogs; tests script the answers and record the questions.
class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // A message box with an OK button only.
    virtual void ShowMessage(const QString& text) = 0;

    // A topmost warning box. true for OK (or Yes), false for Cancel (or No).
    enum class Buttons { OkCancel, YesNo };
    virtual bool AskWarning(const QString& text, const QString& caption, Buttons buttons) = 0;

    // Unsaved edits: keep them by saving first, throw them away, or go back.
    // Asked as Yes (throw away) or No where nothing better is shown.
    enum class Keep { Save, Discard, Cancel };
    virtual Keep AskSaveDiscard(const QString& text, const QString& caption) {
        return AskWarning(text, caption, Buttons::YesNo) ? Keep::Discard : Keep::Cancel;
    }

    // A box that only tells (the keys, about the program), with an OK button.
    virtual void ShowInformation(const QString& caption, const QString& text) {
        (void)caption;
        ShowMessage(text);
    }

    // File dialogs. The filter is written "Label|pattern|Label|pattern||".
    struct FileQuestion {
        QString filter;
        QString defaultExtension;
        QString initialName;
    };
    struct FileAnswer {
        QString path;
        int filterIndex = 0;  // 0-based entry of the filter the user had chosen
    };
    virtual std::optional<FileAnswer> AskOpenFile(const FileQuestion& question) = 0;
    virtual std::optional<FileAnswer> AskSaveFile(const FileQuestion& question) = 0;

    // The Read Options dialog, new for every read; nothing on Cancel.
    virtual std::optional<ReadOptions> AskReadOptions() = 0;

    // The goto address dialog: the text typed, or nothing for Cancel or Escape.
    virtual std::optional<QString> AskAddress(const QString& prompt) = 0;
};
