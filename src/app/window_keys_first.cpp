#include "app/window_keys_first.h"

#include <QKeyEvent>

WindowKeysFirst::WindowKeysFirst(std::function<bool()> jobRunning, QObject* parent)
    : QObject(parent), jobRunning_(std::move(jobRunning)) {}

// An override left unaccepted lets the window's shortcut have the key.
bool WindowKeysFirst::eventFilter(QObject*, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return false;
    if (!WindowTakes(*static_cast<QKeyEvent*>(event))) return false;
    event->ignore();
    return true;
}

bool WindowKeysFirst::WindowTakes(const QKeyEvent& key) const {
    const Qt::KeyboardModifiers mods = key.modifiers() & ~Qt::KeypadModifier;
    const bool tabKey = key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab;
    if (tabKey && (mods & Qt::ControlModifier)) return true;
    return key.key() == Qt::Key_Escape && mods == Qt::NoModifier && jobRunning_ && jobRunning_();
}
