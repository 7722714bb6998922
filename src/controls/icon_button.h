#pragma once

#include <QColor>
#include <QIcon>
#include <QPushButton>
#include <array>

// A push button that draws itself: an icon at the left, the caption beside
// it, and a background colour per state. Flat buttons (the main panel's) show
// an edge only under the pointer and a dotted mark with the focus; framed ones (dialog buttons) always have
// their 3D edge, a black frame when focused or default, and a focus rectangle.
class IconButton : public QPushButton {
    Q_OBJECT
  public:
    // Colour slots.
    enum Slot {
        BackgroundActive = 0,  // hovered or pressed
        TextActive = 1,        // hovered or pressed
        BackgroundNormal = 2,
        TextNormal = 3,  // every state but hovered or pressed
        BackgroundFocused = 4,
        TextSpare = 5,  // kept for callers; never drawn
        SlotCount = 6,
    };

    explicit IconButton(const QString& text = {}, QWidget* parent = nullptr);

    // A resource path such as ":/icons/open.png"; an empty path removes the icon.
    void SetIcon(const QString& resource);
    void SetFlat(bool flat, bool repaint = true);
    // false, and nothing changes, for a slot outside 0..5.
    bool SetColour(int slot, const QColor& colour, bool repaint = true);

    QColor colour(int slot) const;
    bool isFlatButton() const { return flat_; }
    bool hovered() const { return hovered_; }

    static constexpr int kIconSize = 16;
    static constexpr int kIconInset = 3;
    // Where a flat button draws its dotted focus mark, from its edge.
    static constexpr int kFlatFocusInset = 2;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void TrackHover(bool inside);
    void ClearHover();
    void DrawFramedEdge(QPainter& painter, const QRect& area, bool pressed) const;
    void DrawFlatEdge(QPainter& painter, const QRect& area, bool pressed) const;
    void DrawContent(QPainter& painter, const QRect& area, bool pressed) const;

    std::array<QColor, SlotCount> colours_;
    QIcon icon_;
    bool flat_ = true;
    bool hovered_ = false;
    bool focusMarked_ = true;
};
