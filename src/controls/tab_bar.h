#pragma once

#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <vector>

class QLabel;

// A skinned strip of vertical tabs down the left edge that fills its parent
// and shows one page at a time. Everything is drawn from bitmaps: a
// background tile, four edge tiles whose sizes are the margins, and per tab
// a strip picture of the whole tab column with that tab selected.
class TabBar : public QWidget {
    Q_OBJECT
  public:
    explicit TabBar(QWidget* parent = nullptr);
    ~TabBar() override;

    // Skin bitmaps, by resource path.
    void SetBackground(const QString& resource);
    void SetLeftEdge(const QString& resource);
    void SetRightEdge(const QString& resource);
    void SetTopEdge(const QString& resource);
    void SetBottomEdge(const QString& resource);

    // Set once, before the tabs.
    void SetTabCount(int count);
    // hit is where a click selects the tab; page may be null (the page area
    // then shows only the skin). The page becomes a child of the bar.
    void SetTab(int index, const QString& strip, const QRect& hit, const QString& toolTip,
                QWidget* page);

    int tabCount() const { return int(tabs_.size()); }
    int selected() const { return selected_; }
    // Shows the tab's page, as a click on the tab does; an index outside the
    // tabs changes nothing.
    void Select(int index);
    // The tab whose hit rectangle holds pos, or -1.
    int TabAt(const QPoint& pos) const;
    // Where the pages sit for the bar's current size.
    QRect PageArea() const;
    // The tooltip's text while it shows, else empty.
    QString shownToolTip() const;

    static const QColor kToolTipColour;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    struct Tab {
        QPixmap strip;
        QRect hit;
        QString toolTip;
        QPointer<QWidget> page;
    };

    void ShowSelectedPage();
    // Screen readers hear the tabs' names and which one is shown.
    void DescribeForAccessibility();
    void UpdateCursor(const QPoint& pos);
    void ShowToolTip(const QPoint& pos, const QPoint& globalPos);
    void HideToolTip();
    int leftMargin() const { return left_.width(); }
    int rightMargin() const { return right_.width(); }
    int topMargin() const { return top_.height(); }
    int bottomMargin() const { return bottom_.height(); }

    QPixmap background_, left_, right_, top_, bottom_;
    std::vector<Tab> tabs_;
    int selected_ = 0;
    QLabel* toolTip_ = nullptr;
};
