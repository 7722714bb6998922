#pragma once

#include <vector>

class ControlPanel;
class QAction;
class QWidget;

// The keys of the panel's job buttons. They work wherever the focus is in the
// window, and each button's tooltip names its key. Open's key belongs to the
// "&Open File" menu command, which shows it and does what the button does.
//
// Function keys for the jobs on the chip, in the order of an auto program run
// (F5 Detect, F6 Erase, F7 Program, F8 Verify, F9 Auto Program): they type
// nothing, so the hex view never acts on them. Ctrl+O, Ctrl+S and Ctrl+R
// (Read) would type a control code in the hex view's text column, which the
// window's key now takes first; the view keeps every key it acts on besides
// (its movement and editing keys, Ctrl+C, Ctrl+V, Ctrl+X, Ctrl+Z, with Shift
// or without), which is why Verify is not Ctrl+Shift+V: the view pastes on it.
class WindowShortcuts {
  public:
    struct Binding {
        int button;        // the panel's control id
        const char* keys;  // in QKeySequence's portable form
    };
    static const std::vector<Binding>& Bindings();

    static void Install(QWidget& window, ControlPanel& panel, QAction* openFile);
};
