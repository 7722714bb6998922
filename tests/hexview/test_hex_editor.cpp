#include <gtest/gtest.h>

#include <vector>

#include "support/hex_editor_rig.h"

namespace {

using Rig = HexEditorRig;

// ---- typing ------------------------------------------------------------------

TEST(HexEditorTyping, HexDigitsOverwriteOneNibbleAtATime) {
    Rig rig;
    rig.Load({0x12, 0x34});
    rig.Type("a");
    EXPECT_EQ(rig.at(0), 0xA2);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexLow);
    rig.Type("5");
    EXPECT_EQ(rig.at(0), 0xA5);
    EXPECT_EQ(rig.caret().caretOffset(), 1);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexHigh);
    rig.Type("AG ");
    EXPECT_EQ(rig.at(1), 0x34) << "upper case and non-digits change nothing";
    EXPECT_EQ(rig.caret().caretOffset(), 1);
}

TEST(HexEditorTyping, TextColumnStoresCharacterCodesControlCodesIncluded) {
    Rig rig(4);
    rig.Press(HexKey::Tab);
    ASSERT_EQ(rig.caret().caretArea(), AreaText);
    rig.Type("A");
    EXPECT_EQ(rig.at(0), 0x41);
    EXPECT_EQ(rig.caret().caretOffset(), 1);
    rig.editor.Char(13, false);
    rig.editor.Char(1, true);
    EXPECT_EQ(rig.at(1), 13);
    EXPECT_EQ(rig.at(2), 1) << "Ctrl+A is an ordinary character";
}

TEST(HexEditorTyping, NothingIsTypedPastTheEndOfTheData) {
    Rig rig(4);
    rig.Press(HexKey::End, false, true);
    rig.Press(HexKey::Delete);
    ASSERT_EQ(rig.length(), 3);
    ASSERT_EQ(rig.caret().caretOffset(), 3) << "the caret is left at the end";
    rig.Type("ff");
    rig.Press(HexKey::Delete);
    EXPECT_EQ(rig.length(), 3);
    EXPECT_EQ(rig.editor.document().data(), CountingBytes(3));
}

TEST(HexEditorTyping, CtrlCodesAskForClipboardCommands) {
    Rig rig(8);
    EXPECT_EQ(rig.editor.Char(3, true), HexCommand::None) << "copy needs a selection";
    EXPECT_EQ(rig.editor.Char(24, true), HexCommand::None) << "cut needs a selection";
    EXPECT_EQ(rig.editor.Char(22, true), HexCommand::Paste);
    EXPECT_EQ(rig.editor.Char(26, true), HexCommand::Undo);
    rig.Press(HexKey::Right, true);
    EXPECT_EQ(rig.editor.Char(3, true), HexCommand::Copy);
    EXPECT_EQ(rig.editor.Char(24, true), HexCommand::Cut);
    EXPECT_EQ(rig.editor.document().data(), CountingBytes(8));
}

TEST(HexEditorTyping, WithoutDataNothingHappens) {
    Rig rig(-1);
    rig.Type("a");
    rig.Press(HexKey::Insert);
    EXPECT_FALSE(rig.editor.hasData());
    EXPECT_EQ(rig.length(), 0);
}

// ---- selection keys ------------------------------------------------------------

TEST(HexEditorSelection, ShiftLeftEndsAtTheCaretAndArrowsClear) {
    Rig rig(32);
    rig.editor.GotoOffset(4);
    rig.Press(HexKey::Left, true);
    EXPECT_EQ(rig.caret().selAnchor(), 4);
    EXPECT_EQ(rig.caret().caretOffset(), 3);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexLow);
    EXPECT_EQ(rig.caret().selEnd(), 3);
    rig.Press(HexKey::Left);
    EXPECT_FALSE(rig.caret().HasSelection());
}

TEST(HexEditorSelection, TabKeepsTheSelectionAndSwitchesColumns) {
    Rig rig(32);
    rig.Click(3, 0);
    ASSERT_EQ(rig.caret().caretArea(), AreaAddress);
    rig.Press(HexKey::Tab);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexHigh);
    rig.Press(HexKey::Down, true);
    rig.Press(HexKey::Tab);
    EXPECT_EQ(rig.caret().caretArea(), AreaText);
    EXPECT_EQ(rig.caret().selAnchor(), 0);
    EXPECT_EQ(rig.caret().selEnd(), 17);
    rig.Press(HexKey::Tab);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexHigh);
}

// ---- Home, End, pages ------------------------------------------------------------

TEST(HexEditorKeys, HomeAndEndWorkOnRowsFromOffsetZero) {
    Rig rig(25);
    rig.editor.GotoOffset(20);
    rig.Press(HexKey::Home);
    EXPECT_EQ(rig.caret().caretOffset(), 16);
    rig.Press(HexKey::End);
    EXPECT_EQ(rig.caret().caretOffset(), 24) << "the last row ends at the last byte";
    rig.editor.GotoOffset(3);
    rig.Press(HexKey::End, true);
    EXPECT_EQ(rig.caret().caretOffset(), 15);
    EXPECT_EQ(rig.caret().selAnchor(), 3);
    EXPECT_EQ(rig.caret().selEnd(), 15);
}

TEST(HexEditorKeys, CtrlEndShowsTheLastPageAndCtrlHomeTheFirst) {
    Rig rig(1000);
    rig.Press(HexKey::End, false, true);
    EXPECT_EQ(rig.caret().caretOffset(), 999);
    EXPECT_EQ(rig.caret().topOffset(), 760);
    rig.Press(HexKey::Home, false, true);
    EXPECT_EQ(rig.caret().caretOffset(), 0);
    EXPECT_EQ(rig.caret().topOffset(), 0);
    Rig shortData(40);
    shortData.Press(HexKey::End, false, true);
    EXPECT_EQ(shortData.caret().caretOffset(), 39);
    EXPECT_EQ(shortData.caret().topOffset(), 0);
}

TEST(HexEditorKeys, PageKeysKeepTheCaretsOffsetAndScrollAtMostARowBack) {
    Rig rig(1000);
    rig.editor.GotoOffset(5);
    for (int i = 0; i < 15; ++i) rig.editor.Wheel(-120);
    ASSERT_EQ(rig.caret().topOffset(), 240);
    ASSERT_EQ(rig.caret().caretOffset(), 245);
    rig.Press(HexKey::PageUp);
    EXPECT_EQ(rig.caret().topOffset(), 240) << "exactly one page down stays";
    rig.Press(HexKey::PageDown);
    EXPECT_EQ(rig.caret().topOffset(), 480 - 16) << "a page on, then a row back toward the caret";
    EXPECT_EQ(rig.caret().caretOffset(), 245);
}

// ---- insertion and deletion -------------------------------------------------------

TEST(HexEditorEdits, InsertAddsZeroBytesAtTheCaret) {
    Rig rig(8);
    rig.editor.GotoOffset(3);
    rig.Press(HexKey::Insert);
    EXPECT_EQ(rig.editor.document().data(), (std::vector<std::uint8_t>{0, 1, 2, 0, 3, 4, 5, 6, 7}));
    rig.editor.GotoOffset(2);
    rig.Press(HexKey::Right, true);
    rig.Press(HexKey::Right, true);
    rig.Press(HexKey::Right, true);
    rig.Press(HexKey::Right, true);
    rig.Press(HexKey::Right, true);
    rig.Press(HexKey::Right, true);
    ASSERT_EQ(rig.caret().selEnd(), 6);
    rig.Press(HexKey::Insert);
    EXPECT_EQ(rig.length(), 13);
    EXPECT_FALSE(rig.caret().HasSelection());
    EXPECT_TRUE(rig.layout().layoutDirty());
}

TEST(HexEditorEdits, DeleteRemovesTheSelectionInEitherDirection) {
    for (bool backwards : {false, true}) {
        Rig rig(10);
        rig.editor.GotoOffset(backwards ? 6 : 2);
        // Each press steps one hex digit.
        for (int i = 0; i < (backwards ? 8 : 6); ++i)
            rig.Press(backwards ? HexKey::Left : HexKey::Right, true);
        rig.Press(HexKey::Delete);
        EXPECT_EQ(rig.editor.document().data(), (std::vector<std::uint8_t>{0, 1, 6, 7, 8, 9}))
            << (backwards ? "backwards" : "forwards");
        EXPECT_EQ(rig.caret().caretOffset(), 2);
    }
}

TEST(HexEditorEdits, BackspaceRemovesTheByteBeforeTheCaret) {
    Rig rig(4);
    rig.editor.Char(8, false);
    EXPECT_EQ(rig.length(), 4);
    rig.editor.GotoOffset(1);
    rig.editor.Char(8, false);
    EXPECT_EQ(rig.editor.document().data(), (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(rig.caret().caretOffset(), 0);
}

TEST(HexEditorEdits, DeletingEveryByteLeavesAnEmptyCopyThatStillWorks) {
    Rig rig(3);
    rig.editor.SelectAll();
    rig.Press(HexKey::Delete);
    EXPECT_EQ(rig.length(), 0);
    rig.editor.EnsureLayout();
    EXPECT_EQ(rig.layout().linesPerPage(), 0);
    for (HexKey key : {HexKey::Down, HexKey::PageDown, HexKey::End, HexKey::Delete})
        rig.Press(key, false, true);
    rig.editor.Wheel(-120);
    EXPECT_EQ(rig.caret().caretOffset(), 0);
    rig.Press(HexKey::Insert);
    EXPECT_EQ(rig.length(), 1) << "insertion at the end appends";
}

TEST(HexEditorEdits, AFailedAllocationKeepsThePreviousData) {
    Rig rig(16);
    rig.editor.document().SetAllocationLimit(16);
    const std::vector<std::uint8_t> big = CountingBytes(17);
    EXPECT_FALSE(rig.editor.SetData(big.data(), big.size()));
    rig.Press(HexKey::Insert);
    EXPECT_FALSE(rig.editor.Paste(big.data(), 1));
    EXPECT_EQ(rig.editor.document().data(), CountingBytes(16));
}

// ---- mouse and wheel ---------------------------------------------------------------

TEST(HexEditorMouse, ClicksPickADigitOrACharacter) {
    Rig rig(64);
    rig.Click(9 + 3 * 5 + 1, 2);
    EXPECT_EQ(rig.caret().caretOffset(), 37);
    EXPECT_EQ(rig.caret().caretArea(), AreaHexLow);
    EXPECT_EQ(rig.caret().caretX(), (9 + 16) * 8);
    EXPECT_EQ(rig.caret().caretY(), 32);
    EXPECT_TRUE(rig.caret().caretShown());
    rig.Click(57 + 4, 1);
    EXPECT_EQ(rig.caret().caretOffset(), 20);
    EXPECT_EQ(rig.caret().caretArea(), AreaText);
}

TEST(HexEditorMouse, AClickBelowTheDataLandsOnTheLastByte) {
    Rig rig(32);
    rig.Click(9, 2);
    EXPECT_EQ(rig.caret().caretOffset(), 31);
    EXPECT_EQ(rig.caret().caretX(), (9 + 45) * 8);
    EXPECT_EQ(rig.caret().caretY(), 16);
    rig.Type("ff");
    EXPECT_EQ(rig.length(), 32);
    EXPECT_EQ(rig.at(31), 0xFF);
}

TEST(HexEditorMouse, ShiftClickSelectsUpToTheClickedByte) {
    Rig rig(64);
    rig.editor.GotoOffset(2);
    rig.Click(9 + 3 * 6, 0, true);
    EXPECT_EQ(rig.caret().selAnchor(), 2);
    EXPECT_EQ(rig.caret().selEnd(), 7);
    // A Shift-click beside every column ends the selection at the caret.
    rig.Click(80, 1, true);
    EXPECT_EQ(rig.caret().selAnchor(), 6);
    EXPECT_EQ(rig.caret().selEnd(), 7);
    rig.Click(9, 0);
    EXPECT_FALSE(rig.caret().HasSelection());
}

TEST(HexEditorMouse, DraggingSelectsAndScrollsPastTheTopEdge) {
    Rig rig(1000);
    rig.editor.GotoOffset(500);
    const int top = rig.caret().topOffset();
    rig.editor.MousePress(Rig::CellX(9 + 6), Rig::RowY(1), false);
    rig.editor.BeginDrag();
    ASSERT_EQ(rig.caret().selAnchor(), top + 18);
    rig.editor.MouseMove(Rig::CellX(9 + 3 * 4), Rig::RowY(2));
    EXPECT_EQ(rig.caret().selEnd(), top + 37);
    EXPECT_FALSE(rig.caret().caretShown());
    rig.editor.MouseMove(Rig::CellX(9), -5);
    EXPECT_EQ(rig.caret().topOffset(), top - 16);
    EXPECT_EQ(rig.caret().selEnd(), top - 15);
}

// ---- goto ----------------------------------------------------------------------------

TEST(HexEditorGoto, TheTargetRowLandsAThirdOfAPageDown) {
    Rig rig(1000);
    rig.editor.GotoOffset(0x100);
    EXPECT_EQ(rig.caret().caretOffset(), 0x100);
    EXPECT_EQ(rig.caret().topOffset(), 16 * (16 - 5));
    EXPECT_TRUE(rig.editor.TakeEffects().scrollRange);
    rig.editor.GotoOffset(999);
    EXPECT_EQ(rig.caret().topOffset(), 760);
    EXPECT_EQ(rig.editor.UpdateScrollBar().position, 47);
    rig.editor.GotoOffset(1000);
    EXPECT_EQ(rig.caret().caretOffset(), 999) << "beyond the data nothing happens";
}

}  // namespace
