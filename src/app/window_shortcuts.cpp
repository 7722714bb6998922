#include "app/window_shortcuts.h"

#include <QAbstractButton>
#include <QAction>
#include <QKeySequence>
#include <QShortcut>

#include "panel/control_panel.h"
#include "panel/panel_layout.h"

const std::vector<WindowShortcuts::Binding>& WindowShortcuts::Bindings() {
    static const std::vector<Binding> bindings = {
        {PanelLayout::Open, "Ctrl+O"},    {PanelLayout::Save, "Ctrl+S"},
        {PanelLayout::Detect, "F5"},      {PanelLayout::Erase, "F6"},
        {PanelLayout::Program, "F7"},     {PanelLayout::Verify, "F8"},
        {PanelLayout::AutoProgram, "F9"}, {PanelLayout::Read, "Ctrl+R"},
    };
    return bindings;
}

void WindowShortcuts::Install(QWidget& window, ControlPanel& panel, QAction* openFile) {
    for (const Binding& binding : Bindings()) {
        auto* button = qobject_cast<QAbstractButton*>(panel.control(binding.button));
        if (!button) continue;
        const QKeySequence keys(QString::fromLatin1(binding.keys));
        button->setToolTip(
            QString("%1 (%2)").arg(button->text(), keys.toString(QKeySequence::NativeText)));
        if (binding.button == PanelLayout::Open) {
            if (openFile) openFile->setShortcut(keys);
            continue;
        }
        // Held by the window, not the panel: they work on every tab. A
        // greyed button ignores its key as it ignores a click.
        auto* shortcut = new QShortcut(keys, &window);
        shortcut->setContext(Qt::WindowShortcut);
        QObject::connect(shortcut, &QShortcut::activated, button, [button] { button->click(); });
    }
}
