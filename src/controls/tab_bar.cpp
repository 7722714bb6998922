#include "controls/tab_bar.h"

#include <QStringList>

#include <QHelpEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

#include "controls/skin_resources.h"

const QColor TabBar::kToolTipColour(231, 236, 247);

namespace {

// Whole tiles in rows from (x0, y0) while the position is short of the end;
// the last tile of a row or column may overhang.
void Tile(QPainter& painter, const QPixmap& tile, int x0, int y0, int x1, int y1) {
    if (tile.isNull()) return;
    for (int y = y0; y < y1; y += tile.height())
        for (int x = x0; x < x1; x += tile.width()) painter.drawPixmap(x, y, tile);
}

}  // namespace

TabBar::TabBar(QWidget* parent) : QWidget(parent) {
    LoadSkinResources();
    // The skin covers every pixel, so nothing needs erasing first; Qt's
    // backing store gives the flicker-free off-screen drawing.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    toolTip_ = new QLabel(this, Qt::ToolTip | Qt::BypassGraphicsProxyWidget);
    toolTip_->setAutoFillBackground(true);
    toolTip_->setFrameStyle(QFrame::Box | QFrame::Plain);
    toolTip_->setMargin(2);
    QPalette tip = toolTip_->palette();
    tip.setColor(QPalette::Window, kToolTipColour);
    tip.setColor(QPalette::WindowText, Qt::black);
    toolTip_->setPalette(tip);
}

TabBar::~TabBar() {
    // The tooltip and the bitmaps go first; the pages, being children, follow.
    delete toolTip_;
    for (Tab& tab : tabs_) tab.strip = QPixmap();
}

void TabBar::SetBackground(const QString& resource) {
    background_.load(resource);
}
void TabBar::SetLeftEdge(const QString& resource) {
    left_.load(resource);
}
void TabBar::SetRightEdge(const QString& resource) {
    right_.load(resource);
}
void TabBar::SetTopEdge(const QString& resource) {
    top_.load(resource);
}
void TabBar::SetBottomEdge(const QString& resource) {
    bottom_.load(resource);
}

void TabBar::SetTabCount(int count) {
    if (!tabs_.empty() || count <= 0) return;
    tabs_.resize(std::size_t(count));
}

void TabBar::SetTab(int index, const QString& strip, const QRect& hit, const QString& toolTip,
                    QWidget* page) {
    if (index < 0 || index >= tabCount()) return;
    Tab& tab = tabs_[std::size_t(index)];
    tab.strip.load(strip);
    tab.hit = hit;
    tab.toolTip = toolTip;
    tab.page = page;
    DescribeForAccessibility();
    if (page) {
        page->setAccessibleName(toolTip);
        if (page->parentWidget() != this) page->setParent(this);
        page->setGeometry(PageArea());
        page->setVisible(index == selected_);
    }
}

int TabBar::TabAt(const QPoint& pos) const {
    for (int i = 0; i < tabCount(); ++i)
        if (tabs_[std::size_t(i)].hit.contains(pos)) return i;
    return -1;
}

QRect TabBar::PageArea() const {
    return QRect(QPoint(leftMargin() + 3, topMargin() + 3),
                 QPoint(width() - (rightMargin() + 3) - 1, height() - (bottomMargin() + 3) - 1));
}

QString TabBar::shownToolTip() const {
    return toolTip_->isVisible() ? toolTip_->text() : QString();
}

// ---- drawing and size --------------------------------------------------------

void TabBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width(), h = height();
    const int lm = leftMargin(), rm = rightMargin(), tm = topMargin(), bm = bottomMargin();
    Tile(painter, background_, 0, 0, w, h);
    Tile(painter, left_, 0, 0, lm, h);
    Tile(painter, right_, w - rm, 2, w, h - bm);
    Tile(painter, top_, 0, 0, w - 2, tm);
    if (selected_ < tabCount()) painter.drawPixmap(0, 0, tabs_[std::size_t(selected_)].strip);
    Tile(painter, left_, 0, h - bm, 2 * lm, h);
    Tile(painter, bottom_, lm - 1, h - bm, w - 1, h);
}

void TabBar::resizeEvent(QResizeEvent*) {
    const QRect area = PageArea();
    for (Tab& tab : tabs_)
        if (tab.page) tab.page->setGeometry(area);
    // Only the skin around the pages needs drawing again.
    const int w = width(), h = height();
    update(0, 0, w, 40);
    update(0, h - (bottomMargin() + 3), w, bottomMargin() + 3);
    update(0, 0, leftMargin() + 3, h);
    update(w - (rightMargin() + 3), 0, rightMargin() + 3, h);
    ShowSelectedPage();
}

void TabBar::ShowSelectedPage() {
    for (int i = 0; i < tabCount(); ++i) {
        QWidget* page = tabs_[std::size_t(i)].page;
        if (page && i != selected_) page->hide();
    }
    QWidget* page = selected_ < tabCount() ? tabs_[std::size_t(selected_)].page.data() : nullptr;
    if (!page) return;
    page->show();
    // A page that already holds the focus keeps it where it is, as a form
    // given the focus returns it to its last control.
    QWidget* current = window()->focusWidget();
    if (current != page && !page->isAncestorOf(current)) page->setFocus(Qt::OtherFocusReason);
}

// ---- mouse and tooltip ---------------------------------------------------------

void TabBar::mousePressEvent(QMouseEvent* event) {
    HideToolTip();
    const int tab = event->button() == Qt::LeftButton ? TabAt(event->position().toPoint()) : -1;
    if (tab < 0 || tab == selected_) {
        QWidget::mousePressEvent(event);
        return;
    }
    Select(tab);
    UpdateCursor(event->position().toPoint());
}

void TabBar::Select(int index) {
    if (index < 0 || index >= tabCount() || index == selected_) return;
    selected_ = index;
    ShowSelectedPage();
    DescribeForAccessibility();
    update();
}

void TabBar::DescribeForAccessibility() {
    QStringList names;
    for (int i = 0; i < tabCount(); ++i)
        names << QString("%1 (Ctrl+%2)").arg(tabs_[std::size_t(i)].toolTip).arg(i + 1);
    setAccessibleName("Tabs");
    const QString shown = selected_ < tabCount() ? tabs_[std::size_t(selected_)].toolTip : QString();
    setAccessibleDescription(QString("%1 shown; tabs: %2").arg(shown, names.join(", ")));
}

void TabBar::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    UpdateCursor(pos);
    if (toolTip_->isVisible() && TabAt(pos) < 0) HideToolTip();
    QWidget::mouseMoveEvent(event);
}

void TabBar::UpdateCursor(const QPoint& pos) {
    const int tab = TabAt(pos);
    if (tab >= 0 && tab != selected_)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
}

void TabBar::leaveEvent(QEvent* event) {
    HideToolTip();
    QWidget::leaveEvent(event);
}

bool TabBar::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        ShowToolTip(help->pos(), help->globalPos());
        return true;
    }
    return QWidget::event(event);
}

void TabBar::ShowToolTip(const QPoint& pos, const QPoint& globalPos) {
    const int tab = TabAt(pos);
    if (tab < 0 || tabs_[std::size_t(tab)].toolTip.isEmpty()) {
        HideToolTip();
        return;
    }
    toolTip_->setText(tabs_[std::size_t(tab)].toolTip);
    toolTip_->adjustSize();
    toolTip_->move(globalPos + QPoint(2, 18));
    toolTip_->show();
}

void TabBar::HideToolTip() {
    toolTip_->hide();
}
