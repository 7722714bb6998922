#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>

#include "dialogs/read_options_dialog.h"
#include "support/qt_printers.h"

TEST(ReadOptionsDialog, StartsEmptyTypesCapitalsAndEscapeCloses) {
    ReadOptionsDialog dialog;
    dialog.show();
    EXPECT_TRUE(dialog.modeButton(ReadRangeMode::FromTo)->isChecked());
    EXPECT_EQ(dialog.windowTitle(), "Read Options");
    QTest::keyClicks(dialog.fromToStartEdit(), "1ab");
    EXPECT_EQ(dialog.fromToStartEdit()->text(), "1AB");
    QTest::mouseClick(dialog.modeButton(ReadRangeMode::FromToEnd), Qt::LeftButton);
    const ReadOptions o = dialog.options();
    EXPECT_EQ(o.mode, ReadRangeMode::FromToEnd);
    EXPECT_EQ(o.fromToStart, "1AB");
    EXPECT_TRUE(o.fromToEndStart.isEmpty());
    QTest::keyClick(dialog.fromToStartEdit(), Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

// OK (Enter) with a field the chosen row uses empty, not hexadecimal, or out
// of range keeps the dialog open, says which field and puts the caret in it.
TEST(ReadOptionsDialog, OkChecksTheFieldsOfTheChosenRow) {
    struct Row {
        ReadRangeMode mode;
        const char* texts[4];  // row 1 start and end, row 2 end, row 3 start
        const char* problem;   // empty: accepted
        int field;             // which text the caret goes to
    };
    const Row rows[] = {
        {ReadRangeMode::FromTo, {"100", "1FF", "", ""}, "", 0},
        {ReadRangeMode::FromTo, {"", "1FF", "", ""}, "The start address of \"Read From ... To\" is empty.", 0},
        {ReadRangeMode::FromTo, {"100", "1G", "", ""}, "The end address of \"Read From ... To\" is not a hexadecimal number.", 1},
        {ReadRangeMode::FromTo, {"200", "100", "", ""}, "addr range error, end addr should large than start", 1},
        {ReadRangeMode::FromBeginTo, {"x", "", "", ""}, "The end address of \"Read From Begin To\" is empty.", 2},
        {ReadRangeMode::FromBeginTo, {"", "", "0", ""}, "addr range error, end addr should greater than 0", 2},
        {ReadRangeMode::FromToEnd, {"", "", "", "400000"}, "addr range error, start addr out of space", 3},
        {ReadRangeMode::FromToEnd, {"", "", "", "3FFFFF"}, "", 3},
        {ReadRangeMode::WholeChip, {"zz", "", "", ""}, "", 0},
    };
    for (const Row& row : rows) {
        ReadOptionsDialog dialog;
        dialog.show();
        QLineEdit* edits[] = {dialog.fromToStartEdit(), dialog.fromToEndEdit(), dialog.fromBeginToEndEdit(),
                              dialog.fromToEndStartEdit()};
        for (int i = 0; i < 4; ++i) QTest::keyClicks(edits[i], row.texts[i]);
        QTest::mouseClick(dialog.modeButton(row.mode), Qt::LeftButton);
        QTest::keyClick(edits[0], Qt::Key_Return);
        const bool accepted = QString(row.problem).isEmpty();
        EXPECT_EQ(dialog.isVisible(), !accepted) << row.problem;
        EXPECT_EQ(dialog.problem(), row.problem);
        if (!accepted) {
            EXPECT_EQ(dialog.focusWidget(), edits[row.field]) << row.problem;
        }
    }
}

TEST(ReadOptionsDialog, OffersTheOptionsItIsGiven) {
    ReadOptions last;
    last.mode = ReadRangeMode::FromBeginTo;
    last.fromBeginToEnd = "30D3F";
    last.fromToStart = "10";
    ReadOptionsDialog dialog;
    dialog.SetOptions(last);
    const ReadOptions shown = dialog.options();
    EXPECT_EQ(shown.mode, ReadRangeMode::FromBeginTo);
    EXPECT_EQ(shown.fromBeginToEnd, "30D3F");
    EXPECT_EQ(shown.fromToStart, "10");
}
