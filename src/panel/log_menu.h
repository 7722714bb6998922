#pragma once

#include <QString>
#include <functional>

class QMenu;
class QTextEdit;
class QWidget;
class UserPrompts;

// The log's right-click menu, "ShoMessage": Copy, Select All, Save Log As...
// and Clear (command 32776). Each item is greyed when it has nothing to act on.
class LogMenu {
  public:
    struct Log {
        QTextEdit* view;
        std::function<QString()> text;  // the whole log as shown, "\r\n" line ends and all
        std::function<void()> clear;
    };

    // The menu as it would open now; the caller owns it.
    static QMenu* Build(const Log& log, UserPrompts& prompts, QWidget* parent);

    // Asks for a file and writes the log into it as UTF-8 with the log's own
    // line ends. false when the user cancels or the file cannot be written,
    // which the user is told.
    static bool SaveLogAs(const QString& text, UserPrompts& prompts);
};
