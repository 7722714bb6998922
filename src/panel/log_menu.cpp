#include "panel/log_menu.h"

#include <QKeySequence>
#include <QMenu>
#include <QSaveFile>
#include <QTextEdit>

#include "engine/user_prompts.h"

QMenu* LogMenu::Build(const Log& log, UserPrompts& prompts, QWidget* parent) {
    auto* menu = new QMenu("ShoMessage", parent);
    const bool empty = log.text().isEmpty();
    QAction* copy = menu->addAction("&Copy", log.view, &QTextEdit::copy);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(log.view->textCursor().hasSelection());
    QAction* all = menu->addAction("Select &All", log.view, &QTextEdit::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(!empty);
    menu->addSeparator();
    QAction* save = menu->addAction("&Save Log As...", menu,
                                    [text = log.text, &prompts] { SaveLogAs(text(), prompts); });
    save->setEnabled(!empty);
    menu->addSeparator();
    QAction* clear = menu->addAction("&Clear", menu, log.clear);
    clear->setObjectName("32776");
    clear->setEnabled(!empty);
    return menu;
}

bool LogMenu::SaveLogAs(const QString& text, UserPrompts& prompts) {
    const auto answer =
        prompts.AskSaveFile({"Log Files(*.txt)|*.txt|All Files(*.*)|*.*||", "txt", "log.txt"});
    if (!answer) return false;
    // Written aside and renamed into place: a failed save leaves an older
    // file as it was.
    QSaveFile file(answer->path);
    const QByteArray bytes = text.toUtf8();
    const bool saved =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!saved)
        prompts.ShowMessage(
            QString("Cannot save the log to %1: %2").arg(answer->path, file.errorString()));
    return saved;
}
