#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "dialogs/read_options_dialog.h"
#include "support/qt_printers.h"

TEST(ReadOptionsDialog, StartsEmptyTypesCapitalsAndIgnoresEscape) {
    ReadOptionsDialog dialog;
    dialog.show();
    EXPECT_TRUE(dialog.modeButton(ReadRangeMode::FromTo)->isChecked());
    EXPECT_EQ(dialog.windowTitle(), "Read Options");
    QTest::keyClicks(dialog.fromToStartEdit(), "1ab");
    EXPECT_EQ(dialog.fromToStartEdit()->text(), "1AB");
    QTest::mouseClick(dialog.modeButton(ReadRangeMode::FromToEnd), Qt::LeftButton);
    QTest::keyClick(dialog.fromToStartEdit(), Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    const ReadOptions o = dialog.options();
    EXPECT_EQ(o.mode, ReadRangeMode::FromToEnd);
    EXPECT_EQ(o.fromToStart, "1AB");
    EXPECT_TRUE(o.fromToEndStart.isEmpty());
}
