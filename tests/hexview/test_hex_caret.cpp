#include <gtest/gtest.h>

#include "hexview/hex_caret.h"
#include "support/hex_editor_rig.h"

namespace {

// The caret over `count` counting bytes, in a window of `rows` 16-pixel rows
// of 8-pixel cells.
struct CaretRig {
    HexDocument document;
    HexLayout layout;
    HexCaret caret{document, layout};

    explicit CaretRig(int count, int rows = 15) {
        const std::vector<std::uint8_t> bytes = CountingBytes(count);
        document.Assign(bytes.data(), bytes.size());
        layout.SetMetrics(8, 16);
        layout.SetClientSize(73 * 8, rows * 16);
        layout.Compute(count);
        caret.Reset();
    }
    void Put(int offset, CaretArea area) {
        caret.SetCaretOffset(offset);
        caret.SetCaretArea(area);
    }
};

TEST(HexCaretMoves, SidewaysStepsGoThroughBothHexDigits) {
    CaretRig rig(64);
    rig.Put(4, AreaHexHigh);
    rig.caret.MoveCaret(1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 4);
    EXPECT_EQ(rig.caret.caretArea(), AreaHexLow);
    rig.caret.MoveCaret(1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 5);
    EXPECT_EQ(rig.caret.caretArea(), AreaHexHigh);
    EXPECT_EQ(rig.caret.caretX(), (9 + 15) * 8);
    rig.caret.MoveCaret(-1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 4);
    EXPECT_EQ(rig.caret.caretArea(), AreaHexLow);
    EXPECT_EQ(rig.caret.caretX(), (9 + 13) * 8);
}

TEST(HexCaretMoves, EdgesOfTheDataHoldTheCaret) {
    CaretRig rig(40);
    rig.Put(0, AreaHexHigh);
    rig.caret.MoveCaret(-1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 0) << "Left on the first high digit";
    EXPECT_EQ(rig.caret.caretArea(), AreaHexLow);
    rig.Put(39, AreaHexLow);
    rig.caret.MoveCaret(1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 39) << "Right on the last low digit";
    EXPECT_EQ(rig.caret.caretArea(), AreaHexHigh);
    rig.Put(35, AreaText);
    rig.caret.MoveCaret(0, 1);
    EXPECT_EQ(rig.caret.caretOffset(), 35) << "Down in the last row";
    rig.Put(5, AreaHexHigh);
    rig.caret.MoveCaret(0, -1);
    EXPECT_EQ(rig.caret.caretOffset(), 0) << "Up in the first row";
    rig.Put(0, AreaText);
    rig.caret.MoveCaret(-1, 0);
    EXPECT_EQ(rig.caret.caretOffset(), 0);
}

TEST(HexCaretMoves, ArrowsAreInertInTheAddressColumn) {
    CaretRig rig(64);
    rig.Put(16, AreaAddress);
    rig.caret.MoveCaret(1, 1);
    EXPECT_EQ(rig.caret.caretOffset(), 16);
    EXPECT_EQ(rig.caret.caretArea(), AreaAddress);
}

TEST(HexCaretMoves, LeavingThePageScrollsOneRow) {
    CaretRig rig(1000);
    rig.Put(16 * 14 + 3, AreaText);
    rig.caret.MoveCaret(0, 1);
    EXPECT_EQ(rig.caret.topOffset(), 16);
    EXPECT_EQ(rig.caret.caretOffset(), 16 * 15 + 3) << "keys keep the caret on its byte";
    EXPECT_EQ(rig.caret.caretY(), 14 * 16);
    EXPECT_TRUE(rig.caret.caretShown());
}

TEST(HexCaretScroll, PageUpExactlyOnePageDownStaysAndPageDownStopsAtTheEnd) {
    CaretRig rig(1000);
    rig.caret.SetTopOffset(240);
    rig.caret.ScrollView(ScrollCode::PageUp);
    EXPECT_EQ(rig.caret.topOffset(), 240);
    rig.caret.SetTopOffset(256);
    rig.caret.ScrollView(ScrollCode::PageUp);
    EXPECT_EQ(rig.caret.topOffset(), 16);
    rig.caret.SetTopOffset(700);
    rig.caret.ScrollView(ScrollCode::PageDown);
    EXPECT_EQ(rig.caret.topOffset(), 760);
    EXPECT_EQ(rig.caret.scrollPosition(), 62) << "the thumb sits at the end";
}

TEST(HexCaretScroll, LineStepsAndToLineClampToTheData) {
    CaretRig rig(1000);
    rig.caret.ScrollView(ScrollCode::LineUp);
    EXPECT_EQ(rig.caret.topOffset(), 0);
    rig.caret.ScrollView(ScrollCode::ToLine, 10);
    EXPECT_EQ(rig.caret.topOffset(), 160);
    EXPECT_EQ(rig.caret.scrollPosition(), 10);
    rig.caret.ScrollView(ScrollCode::ToLine, 60);
    EXPECT_EQ(rig.caret.topOffset(), 760);
    // The row count leaves room for one row more than a page below 760.
    rig.caret.SetTopOffset(752);
    rig.caret.ScrollView(ScrollCode::LineDown);
    EXPECT_EQ(rig.caret.topOffset(), 768);
    rig.caret.ScrollView(ScrollCode::LineDown);
    EXPECT_EQ(rig.caret.topOffset(), 768);
}

TEST(HexCaretScroll, TheBarAndWheelDragTheCaretButKeysHoldIt) {
    CaretRig rig(1000);
    rig.Put(20, AreaHexHigh);
    rig.caret.ScrollView(ScrollCode::LineDown);
    EXPECT_EQ(rig.caret.caretOffset(), 36);
    rig.caret.SetHold(true);
    rig.caret.ScrollView(ScrollCode::LineDown);
    EXPECT_EQ(rig.caret.caretOffset(), 36);
    rig.caret.SetHold(false);
    // Dragged past the end, the caret stops on the last byte.
    rig.Put(990, AreaHexHigh);
    rig.caret.ScrollView(ScrollCode::ToLine, 62);
    EXPECT_EQ(rig.caret.caretOffset(), 999);
}

TEST(HexCaretScroll, AnEmptyCopyDoesNotScroll) {
    CaretRig rig(0);
    EXPECT_EQ(rig.layout.linesPerPage(), 0);
    for (ScrollCode code : {ScrollCode::LineUp, ScrollCode::LineDown, ScrollCode::PageUp,
                            ScrollCode::PageDown, ScrollCode::ToLine}) {
        rig.caret.ScrollView(code, 3);
        EXPECT_EQ(rig.caret.topOffset(), 0);
    }
    rig.Put(0, AreaHexHigh);
    rig.caret.MoveCaret(1, 1);
    EXPECT_EQ(rig.caret.caretOffset(), 0);
}

TEST(HexCaretSelection, EndsStayInsideTheData) {
    CaretRig rig(10);
    rig.Put(10, AreaHexHigh);
    rig.caret.StartSelection();
    rig.caret.EndSelectionAtCaret(true);
    EXPECT_EQ(rig.caret.selAnchor(), 10);
    EXPECT_EQ(rig.caret.selEnd(), 10);
    rig.caret.SetSelection(-1, -1);
    EXPECT_FALSE(rig.caret.HasSelection());
}

}  // namespace
