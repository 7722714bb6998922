#include "controls/icon_button.h"

#include <QFocusEvent>

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>

#include "controls/skin_resources.h"

namespace {

// The platform's 3D colours, as the palette names them.
QColor Highlight(const QPalette& p) {
    return p.color(QPalette::Light);
}
QColor Light3D(const QPalette& p) {
    return p.color(QPalette::Midlight);
}
QColor Shadow(const QPalette& p) {
    return p.color(QPalette::Dark);
}
QColor DarkShadow(const QPalette& p) {
    return p.color(QPalette::Shadow);
}

// One-pixel lines along the four sides of r, each pair in its own colour.
void DrawSides(QPainter& painter, const QRect& r, const QColor& topLeft,
               const QColor& bottomRight) {
    painter.setPen(topLeft);
    painter.drawLine(r.topLeft(), r.topRight());
    painter.drawLine(r.topLeft(), r.bottomLeft());
    painter.setPen(bottomRight);
    painter.drawLine(r.bottomLeft(), r.bottomRight());
    painter.drawLine(r.topRight(), r.bottomRight());
}

}  // namespace

IconButton::IconButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
    LoadSkinResources();
    const QPalette& p = palette();
    const QColor face = p.color(QPalette::Button);
    const QColor ink = p.color(QPalette::ButtonText);
    colours_ = {face, ink, face, ink, face, ink};
    // Hover is followed from plain mouse moves, not only from enter and leave.
    setMouseTracking(true);
}

void IconButton::SetIcon(const QString& resource) {
    icon_ = resource.isEmpty() ? QIcon() : QIcon(resource);
    update();
}

void IconButton::SetFlat(bool flat, bool repaint) {
    flat_ = flat;
    if (!flat_) hovered_ = false;
    if (repaint) update();
}

bool IconButton::SetColour(int slot, const QColor& colour, bool repaint) {
    if (slot < 0 || slot >= SlotCount) return false;
    colours_[std::size_t(slot)] = colour;
    if (repaint) update();
    return true;
}

QColor IconButton::colour(int slot) const {
    return slot >= 0 && slot < SlotCount ? colours_[std::size_t(slot)] : QColor();
}

// ---- drawing ---------------------------------------------------------------

void IconButton::focusInEvent(QFocusEvent* event) {
    focusMarked_ = !flat_ || event->reason() != Qt::MouseFocusReason;
    QPushButton::focusInEvent(event);
}

void IconButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool pressed = isDown();
    QRect area = rect();
    if (!flat_ && (hasFocus() || isDefault())) {
        painter.setPen(Qt::black);
        painter.drawRect(area.adjusted(0, 0, -1, -1));
        area.adjust(1, 1, -1, -1);
    }
    const Slot background = hovered_ || pressed ? BackgroundActive
                            : hasFocus()        ? BackgroundFocused
                                                : BackgroundNormal;
    painter.fillRect(area, colours_[background]);
    if (flat_)
        DrawFlatEdge(painter, area, pressed);
    else
        DrawFramedEdge(painter, area, pressed);
    DrawContent(painter, area, pressed);
    // A flat button's focus gets a mark of its own, inside the edge that
    // hovering draws, so the two are never mistaken for each other. A click
    // shows where the pointer is already, so focus taken by one has no mark.
    if (hasFocus() && focusMarked_) {
        const int inset = flat_ ? kFlatFocusInset : 3;
        QPen dotted(flat_ ? colours_[TextNormal] : palette().color(QPalette::ButtonText), 1, Qt::DotLine);
        painter.setPen(dotted);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(area.adjusted(inset, inset, -inset - 1, -inset - 1));
    }
}

void IconButton::DrawFlatEdge(QPainter& painter, const QRect& area, bool pressed) const {
    const QPalette& p = palette();
    if (pressed)
        DrawSides(painter, area, Shadow(p), Highlight(p));
    else if (hovered_)
        DrawSides(painter, area, Highlight(p), Shadow(p));
}

void IconButton::DrawFramedEdge(QPainter& painter, const QRect& area, bool pressed) const {
    const QPalette& p = palette();
    if (pressed) {
        DrawSides(painter, area, Shadow(p), Shadow(p));
        return;
    }
    DrawSides(painter, area, Highlight(p), DarkShadow(p));
    DrawSides(painter, area.adjusted(1, 1, -1, -1), Light3D(p), Shadow(p));
}

void IconButton::DrawContent(QPainter& painter, const QRect& area, bool pressed) const {
    const QPoint shift = pressed ? QPoint(1, 1) : QPoint(0, 0);
    int textLeft = area.left();
    if (!icon_.isNull()) {
        const QPoint at(area.left() + kIconInset, area.top() + (area.height() - kIconSize) / 2);
        const QPixmap pixmap = icon_.pixmap(QSize(kIconSize, kIconSize),
                                            isEnabled() ? QIcon::Normal : QIcon::Disabled);
        painter.drawPixmap(QRect(at + shift, QSize(kIconSize, kIconSize)), pixmap);
        textLeft = at.x() + kIconSize;
    }
    const QRect textArea =
        QRect(QPoint(textLeft, area.top()), area.bottomRight()).translated(shift);
    const int flags = Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
    painter.setFont(font());
    if (!isEnabled()) {
        painter.setPen(Highlight(palette()));
        painter.drawText(textArea.translated(1, 1), flags, text());
        painter.setPen(Shadow(palette()));
        painter.drawText(textArea, flags, text());
        return;
    }
    painter.setPen(colours_[hovered_ || pressed ? TextActive : TextNormal]);
    painter.drawText(textArea, flags, text());
}

// ---- hover -----------------------------------------------------------------

void IconButton::TrackHover(bool inside) {
    // Only flat buttons light up, and only while the program is the active one.
    const bool now = flat_ && inside && isEnabled() && QApplication::activeWindow() != nullptr;
    if (now == hovered_) return;
    hovered_ = now;
    update();
}

void IconButton::ClearHover() {
    TrackHover(false);
}

void IconButton::enterEvent(QEnterEvent* event) {
    QPushButton::enterEvent(event);
    // A drag that started elsewhere does not light the button up.
    if (!(QApplication::mouseButtons() & Qt::LeftButton)) TrackHover(true);
}

void IconButton::leaveEvent(QEvent* event) {
    ClearHover();
    QPushButton::leaveEvent(event);
}

void IconButton::mouseMoveEvent(QMouseEvent* event) {
    QPushButton::mouseMoveEvent(event);
    if ((event->buttons() & Qt::LeftButton) && !hovered_) return;
    TrackHover(rect().contains(event->position().toPoint()));
}

void IconButton::focusOutEvent(QFocusEvent* event) {
    ClearHover();
    QPushButton::focusOutEvent(event);
}

void IconButton::changeEvent(QEvent* event) {
    // Qt itself hands the focus on when a focused button is disabled.
    if ((event->type() == QEvent::ActivationChange && !isActiveWindow()) ||
        (event->type() == QEvent::EnabledChange && !isEnabled()))
        ClearHover();
    QPushButton::changeEvent(event);
}

bool IconButton::event(QEvent* event) {
    // A modal window opening over the button, the window losing the
    // activation, or the button going away, ends the hover as a cancelled
    // mouse mode would.
    switch (event->type()) {
        case QEvent::WindowBlocked:
        case QEvent::WindowDeactivate:
        case QEvent::Hide:
            ClearHover();
            break;
        default:
            break;
    }
    return QPushButton::event(event);
}
