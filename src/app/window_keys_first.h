#pragma once

#include <QObject>
#include <functional>

class QKeyEvent;

// The hex views claim every key they act on before the window's shortcuts
// see it, Tab and Escape among them. Ctrl+Tab and Ctrl+Shift+Tab change the
// window's tab, and Escape stops a running job (when the view, read-only
// meanwhile, has nothing to do with it): for those the window goes first.
class WindowKeysFirst : public QObject {
  public:
    // jobRunning says whether Escape belongs to the window now.
    WindowKeysFirst(std::function<bool()> jobRunning, QObject* parent);
    void Watch(QObject* view) { view->installEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool WindowTakes(const QKeyEvent& key) const;

    std::function<bool()> jobRunning_;
};
