#include "app/menu_bar_drag.h"

#include <QMenuBar>
#include <QMouseEvent>
#include <QWindow>

MenuBarDrag::MenuBarDrag(QMenuBar* bar, QWidget* frame, int captionFromX)
    : QObject(bar), bar_(bar), frame_(frame), captionFromX_(captionFromX) {
    bar_->installEventFilter(this);
}

bool MenuBarDrag::IsCaption(const QPoint& barPos) const {
    // A menu title reaching past the line still opens its menu.
    return bar_->rect().contains(barPos) && bar_->mapTo(frame_, barPos).x() > captionFromX_ &&
           bar_->actionAt(barPos) == nullptr;
}

bool MenuBarDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != bar_) return false;
    const auto mouseEvent = [event] { return static_cast<QMouseEvent*>(event); };
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            return OnPress(mouseEvent());
        case QEvent::MouseMove:
            if (!grab_) return false;
            frame_->move(mouseEvent()->globalPosition().toPoint() - *grab_);
            return true;
        case QEvent::MouseButtonRelease:
            if (!grab_) return false;
            grab_.reset();
            return true;
        case QEvent::MouseButtonDblClick:
            if (mouseEvent()->button() != Qt::LeftButton ||
                !IsCaption(mouseEvent()->position().toPoint()))
                return false;
            frame_->setWindowState(frame_->windowState() ^ Qt::WindowMaximized);
            return true;
        default:
            return false;
    }
}

bool MenuBarDrag::OnPress(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !IsCaption(event->position().toPoint())) return false;
    QWindow* window = frame_->windowHandle();
    if (window && window->startSystemMove()) return true;
    grab_ = event->globalPosition().toPoint() - frame_->pos();
    return true;
}
