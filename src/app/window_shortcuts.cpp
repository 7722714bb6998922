#include "app/window_shortcuts.h"

#include <QAbstractButton>
#include <QAction>
#include <QEvent>
#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <algorithm>
#include <map>

#include "panel/control_panel.h"
#include "panel/panel_layout.h"

namespace {

// The Job menu's order: the jobs on the chip as an auto program runs them,
// then Read and Auto Program itself.
constexpr int kJobMenu[] = {PanelLayout::Detect, PanelLayout::Erase, PanelLayout::Program,
                            PanelLayout::Verify, PanelLayout::Read,  PanelLayout::AutoProgram};

// A menu command greyed and enabled with its button.
class FollowsButton : public QObject {
  public:
    FollowsButton(QAbstractButton* button, QAction* action) : QObject(action), action_(action) {
        action->setEnabled(button->isEnabled());
        button->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::EnabledChange)
            action_->setEnabled(static_cast<QWidget*>(watched)->isEnabled());
        return false;
    }

  private:
    QAction* action_;
};

QAction* MenuCommand(QMenu& menu, QAbstractButton* button, const QString& text, const QKeySequence& keys) {
    QAction* action = menu.addAction(text);
    action->setObjectName(button->objectName());
    action->setShortcut(keys);
    new FollowsButton(button, action);
    return action;
}

}  // namespace

const std::vector<WindowShortcuts::Binding>& WindowShortcuts::Bindings() {
    static const std::vector<Binding> bindings = {
        {PanelLayout::Open, "Ctrl+O"},    {PanelLayout::Save, "Ctrl+S"},
        {PanelLayout::Detect, "F5"},      {PanelLayout::Erase, "F6"},
        {PanelLayout::Program, "F7"},     {PanelLayout::Verify, "F8"},
        {PanelLayout::AutoProgram, "F9"}, {PanelLayout::Read, "Ctrl+R"},
    };
    return bindings;
}

const std::vector<WindowShortcuts::KeyText>& WindowShortcuts::KeyTable() {
    static const std::vector<KeyText> table = {
        {"Ctrl+O", "Open File (or drop an image file on the window: Intel HEX, S-record, ELF or binary)"},
        {"Ctrl+S", "Save what was read"},
        {"F5", "Detect"},
        {"F6", "Erase"},
        {"F7", "Program"},
        {"F8", "Verify"},
        {"F9", "Auto Program"},
        {"Ctrl+R", "Read"},
        {"Esc", "Stop the running job at its next block"},
        {"Ctrl+Q", "Quit"},
        {"Ctrl+1, Ctrl+2, Ctrl+3", "Status, ReadBuffer, WriteBuffer"},
        {"Ctrl+Tab, Ctrl+Shift+Tab", "Next and previous tab"},
        {"Tab, Shift+Tab", "Next and previous control"},
        {"F3, Shift+F3", "Next and previous difference (ReadBuffer)"},
        {"Ctrl+Z", "Undo the last edit of the buffer shown"},
        {"Ctrl+Shift+Z, Ctrl+Y", "Redo"},
        {"Ctrl+F", "Find hex bytes or text in the buffer shown"},
        {"Enter, Shift+Enter", "Next and previous match (in the find bar); Esc closes it"},
    };
    return table;
}

QString WindowShortcuts::KeyTableText() {
    QString text;
    for (const KeyText& row : KeyTable()) text += QString("%1\t%2\n").arg(row.keys, row.does);
    return text.trimmed();
}

void WindowShortcuts::Install(QWidget& window, QMenu& jobMenu, ControlPanel& panel, QAction* openFile) {
    std::map<int, QKeySequence> keysOf;
    for (const Binding& binding : Bindings()) {
        auto* button = qobject_cast<QAbstractButton*>(panel.control(binding.button));
        if (!button) continue;
        const QKeySequence keys(QString::fromLatin1(binding.keys));
        keysOf[binding.button] = keys;
        button->setToolTip(
            QString("%1 (%2)").arg(button->text(), keys.toString(QKeySequence::NativeText)));
        if (binding.button == PanelLayout::Open) {
            if (openFile) openFile->setShortcut(keys);
        } else if (std::find(std::begin(kJobMenu), std::end(kJobMenu), binding.button) == std::end(kJobMenu)) {
            // Held by the window, not the panel: it works on every tab.
            auto* shortcut = new QShortcut(keys, &window);
            shortcut->setContext(Qt::WindowShortcut);
            QObject::connect(shortcut, &QShortcut::activated, button, [button] { button->click(); });
        }
    }
    for (int id : kJobMenu) {
        auto* button = qobject_cast<QAbstractButton*>(panel.control(id));
        QAction* action = MenuCommand(jobMenu, button, button->text(), keysOf[id]);
        QObject::connect(action, &QAction::triggered, button, [button] { button->click(); });
    }
    jobMenu.addSeparator();
    auto* stop = qobject_cast<QAbstractButton*>(panel.control(PanelLayout::Stop));
    stop->setToolTip("Stop (Esc)");
    QAction* action = MenuCommand(jobMenu, stop, "&Stop", QKeySequence(Qt::Key_Escape));
    QObject::connect(action, &QAction::triggered, &panel, &ControlPanel::Stop);
}
