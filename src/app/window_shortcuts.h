#pragma once

#include <QString>
#include <vector>

class ControlPanel;
class QAction;
class QMenu;
class QWidget;

// The keys of the panel's job buttons. They work wherever the focus is in the
// window, and each button's tooltip names its key. Open's key belongs to the
// "&Open File" menu command, which shows it and does what the button does;
// the jobs on the chip are the Job menu's commands, which show their keys and
// follow their buttons in being greyed, so a greyed button ignores its key.
//
// Function keys for the jobs on the chip, in the order of an auto program run
// (F5 Detect, F6 Erase, F7 Program, F8 Verify, F9 Auto Program): they type
// nothing, so the hex view never acts on them. Ctrl+O, Ctrl+S and Ctrl+R
// (Read) would type a control code in the hex view's text column, which the
// window's key now takes first; the view keeps every key it acts on besides
// (its movement and editing keys, Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z, with Shift
// or without), which is why Verify is not Ctrl+Shift+V: the view pastes on it.
// Escape stops the running job; with none running it reaches the focused
// control as before.
class WindowShortcuts {
  public:
    struct Binding {
        int button;        // the panel's control id
        const char* keys;  // in QKeySequence's portable form
    };
    static const std::vector<Binding>& Bindings();

    // Every key of the window and what it does, as the Keys box shows it.
    struct KeyText {
        const char* keys;
        const char* does;
    };
    static const std::vector<KeyText>& KeyTable();
    static QString KeyTableText();

    static void Install(QWidget& window, QMenu& jobMenu, ControlPanel& panel, QAction* openFile);
};
