#include <gtest/gtest.h>

#include <QHelpEvent>
#include <QLineEdit>
#include <QTest>

#include "controls/tab_bar.h"

namespace {

// The frame's tab strip with its skin: margins 33 left, 3 right, 3 top, 4 bottom.
struct BarRig {
    QWidget window;
    TabBar* bar;
    QWidget* page;
    QLineEdit* field;

    BarRig() {
        bar = new TabBar(&window);
        bar->SetBackground(":/skin/background.png");
        bar->SetLeftEdge(":/skin/left_edge.png");
        bar->SetRightEdge(":/skin/right_edge.png");
        bar->SetTopEdge(":/skin/top_edge.png");
        bar->SetBottomEdge(":/skin/bottom_edge.png");
        bar->SetTabCount(3);
        page = new QWidget(bar);
        field = new QLineEdit(page);
        bar->SetTab(0, ":/skin/tab_status.png", QRect(0, 0, 32, 42), "Status", page);
        bar->SetTab(1, ":/skin/tab_read_buffer.png", QRect(0, 52, 32, 44), "ReadBuffer", nullptr);
        bar->SetTab(2, ":/skin/tab_write_buffer.png", QRect(0, 104, 32, 46), "WriteBuffer",
                    nullptr);
        bar->setGeometry(0, 0, 400, 300);
        window.resize(400, 300);
        window.show();
    }

    void Click(QPoint at) { QTest::mouseClick(bar, Qt::LeftButton, {}, at); }
    Qt::CursorShape CursorAt(QPoint at) {
        QTest::mouseMove(bar, at);
        return bar->cursor().shape();
    }
};

const QPoint kStatus(16, 20), kReadBuffer(16, 74), kWriteBuffer(16, 120), kBetweenTabs(16, 47);

}  // namespace

TEST(TabBar, PagesFillTheAreaInsideTheSkinMargins) {
    BarRig rig;
    EXPECT_EQ(rig.bar->PageArea(), QRect(36, 6, 400 - 6 - 36, 300 - 7 - 6));
    EXPECT_EQ(rig.page->geometry(), rig.bar->PageArea());
    rig.bar->resize(500, 350);
    EXPECT_EQ(rig.page->geometry(), QRect(36, 6, 500 - 6 - 36, 350 - 7 - 6));
}

TEST(TabBar, StartsOnTheFirstTabWithItsPageShown) {
    BarRig rig;
    EXPECT_EQ(rig.bar->selected(), 0);
    EXPECT_TRUE(rig.page->isVisible());
}

TEST(TabBar, ATabWithoutAPageHidesThePageAndStatusBringsItBackWithTheFocus) {
    BarRig rig;
    rig.Click(kReadBuffer);
    EXPECT_EQ(rig.bar->selected(), 1);
    EXPECT_FALSE(rig.page->isVisible());
    rig.Click(kWriteBuffer);
    EXPECT_EQ(rig.bar->selected(), 2);
    EXPECT_FALSE(rig.page->isVisible());
    rig.Click(kStatus);
    EXPECT_EQ(rig.bar->selected(), 0);
    EXPECT_TRUE(rig.page->isVisible());
    EXPECT_EQ(rig.window.focusWidget(), rig.page);
}

TEST(TabBar, APageKeepsTheControlThatHadTheFocus) {
    BarRig rig;
    rig.field->setFocus();
    rig.bar->resize(420, 320);
    EXPECT_EQ(rig.window.focusWidget(), rig.field);
}

TEST(TabBar, ClicksOnTheSelectedTabOrBetweenTabsChangeNothing) {
    BarRig rig;
    rig.Click(kBetweenTabs);
    rig.Click(kStatus);
    rig.Click(QPoint(34, 20));
    EXPECT_EQ(rig.bar->selected(), 0);
    QTest::mouseClick(rig.bar, Qt::RightButton, {}, kReadBuffer);
    EXPECT_EQ(rig.bar->selected(), 0);
}

TEST(TabBar, HandCursorOnlyOverATabThatIsNotSelected) {
    BarRig rig;
    EXPECT_EQ(rig.CursorAt(kReadBuffer), Qt::PointingHandCursor);
    EXPECT_EQ(rig.CursorAt(kStatus), Qt::ArrowCursor);
    EXPECT_EQ(rig.CursorAt(kBetweenTabs), Qt::ArrowCursor);
    EXPECT_EQ(rig.CursorAt(kWriteBuffer), Qt::PointingHandCursor);
    rig.Click(kWriteBuffer);
    EXPECT_EQ(rig.bar->cursor().shape(), Qt::ArrowCursor);
    EXPECT_EQ(rig.CursorAt(kStatus), Qt::PointingHandCursor);
}

TEST(TabBar, TooltipNamesTheTabUnderThePointer) {
    BarRig rig;
    QHelpEvent over(QEvent::ToolTip, kReadBuffer, rig.bar->mapToGlobal(kReadBuffer));
    QApplication::sendEvent(rig.bar, &over);
    EXPECT_EQ(rig.bar->shownToolTip(), "ReadBuffer");
    QHelpEvent off(QEvent::ToolTip, kBetweenTabs, rig.bar->mapToGlobal(kBetweenTabs));
    QApplication::sendEvent(rig.bar, &off);
    EXPECT_EQ(rig.bar->shownToolTip(), "");
}

TEST(TabBar, DrawsTheSelectedTabsStripOverTheSkin) {
    BarRig rig;
    const QImage first = rig.bar->grab().toImage();
    rig.Click(kReadBuffer);
    const QImage second = rig.bar->grab().toImage();
    EXPECT_NE(first.copy(0, 52, 33, 44), second.copy(0, 52, 33, 44));
    // The skin around the tabs stays as it was.
    EXPECT_EQ(first.copy(0, 160, 33, 100), second.copy(0, 160, 33, 100));
    // The background tile shows where no page covers it.
    QImage tile(":/skin/background.png");
    EXPECT_EQ(second.pixelColor(200, 100),
              tile.convertToFormat(second.format()).pixelColor(200 % 45, 100 % 22));
}
