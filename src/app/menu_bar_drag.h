#pragma once

#include <QObject>
#include <QPoint>
#include <optional>

class QMenuBar;
class QMouseEvent;
class QWidget;

// Lets the frame be dragged by the empty part of its menu bar right of a
// given x (in the frame's client coordinates), as if that part were the
// caption; a double click there maximises or restores, as on a caption. The
// window system moves the window where it can; elsewhere (the offscreen
// platform, some Wayland compositors) the window follows the mouse itself.
class MenuBarDrag : public QObject {
  public:
    MenuBarDrag(QMenuBar* bar, QWidget* frame, int captionFromX);

    // Whether a point of the bar counts as caption.
    bool IsCaption(const QPoint& barPos) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool OnPress(QMouseEvent* event);

    QMenuBar* bar_;
    QWidget* frame_;
    int captionFromX_;
    // The grab point relative to the frame, while the frame follows the mouse itself.
    std::optional<QPoint> grab_;
};
