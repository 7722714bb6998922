#include <gtest/gtest.h>

#include "hexview/hex_layout.h"

namespace {

// 8-pixel cells, 16-pixel rows, a client area 15 rows high.
HexLayout Laid(int viewLength, int clientRows = 15) {
    HexLayout layout;
    layout.SetMetrics(8, 16);
    layout.SetClientSize(73 * 8, clientRows * 16);
    layout.Compute(viewLength);
    return layout;
}

TEST(HexLayoutRows, DataShorterThanAPageCountsAStartedRowAsARow) {
    const HexLayout twenty = Laid(20);
    EXPECT_EQ(twenty.linesPerPage(), 2);
    EXPECT_TRUE(twenty.lastLinePartial());
    EXPECT_EQ(Laid(30).linesPerPage(), 3);
    const HexLayout exact = Laid(32);
    EXPECT_EQ(exact.linesPerPage(), 2);
    EXPECT_FALSE(exact.lastLinePartial());
}

TEST(HexLayoutRows, LongDataFillsTheWindowAndAnEmptyCopyHasNoRows) {
    const HexLayout full = Laid(1000);
    EXPECT_EQ(full.linesPerPage(), 15);
    EXPECT_FALSE(full.lastLinePartial());
    EXPECT_FALSE(full.layoutDirty());
    const HexLayout empty = Laid(0);
    EXPECT_EQ(empty.linesPerPage(), 0);
    EXPECT_FALSE(empty.lastLinePartial());
}

TEST(HexLayoutRows, ResizingLeavesTheRowsUntilTheNextLayout) {
    HexLayout layout = Laid(1000);
    layout.SetClientSize(73 * 8, 5 * 16 + 7);
    EXPECT_EQ(layout.linesPerPage(), 15);
    EXPECT_EQ(layout.VisibleRows(), 5);
    EXPECT_EQ(layout.DrawingHeight(), 80);
    layout.Compute(1000);
    EXPECT_EQ(layout.linesPerPage(), 5);
}

TEST(HexLayoutColumns, AddressHexAndTextStartAtCellsZeroNineAndFiftySeven) {
    const HexLayout layout = Laid(100);
    EXPECT_EQ(layout.hexX(), 9 * 8);
    EXPECT_EQ(layout.textX(), 57 * 8);
    EXPECT_EQ(layout.CaretX(AreaHexHigh, 2), (9 + 6) * 8);
    EXPECT_EQ(layout.CaretX(AreaHexLow, 2), (9 + 7) * 8);
    EXPECT_EQ(layout.CaretX(AreaText, 2), (57 + 2) * 8);
    EXPECT_EQ(layout.CaretWidth(0), 8 * 8) << "the caret covers the address digits";
    EXPECT_EQ(layout.CaretWidth(layout.hexX()), 8);
}

struct HitCase {
    const char* what;
    int cell;  // character cell clicked, from 0
    int offset;
    CaretArea area;
    int caretCell;
};

class HexLayoutHitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HexLayoutHitTest, MapsACellToAByteAndColumn) {
    const HitCase& c = GetParam();
    const HexLayout layout = Laid(100);
    // Row 1, seen with the view scrolled down by two rows.
    const auto hit = layout.HitTest(c.cell * 8 + 3, 16 + 5, 32, 100);
    ASSERT_TRUE(hit.has_value()) << c.what;
    EXPECT_EQ(hit->offset, 48 + c.offset) << c.what;
    EXPECT_EQ(hit->area, c.area) << c.what;
    EXPECT_EQ(hit->cell, c.caretCell) << c.what;
    EXPECT_EQ(hit->row, 1) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Cells, HexLayoutHitTest,
                         ::testing::Values(HitCase{"address digit", 3, 0, AreaAddress, 0},
                                           HitCase{"blank after the address", 8, 0, AreaHexHigh, 9},
                                           HitCase{"high digit of byte 0", 9, 0, AreaHexHigh, 9},
                                           HitCase{"low digit of byte 0", 10, 0, AreaHexLow, 10},
                                           HitCase{"blank after byte 0", 11, 1, AreaHexHigh, 12},
                                           HitCase{"low digit of byte 15", 55, 15, AreaHexLow, 55},
                                           HitCase{"blank before the text", 56, 0, AreaText, 57},
                                           HitCase{"first character", 57, 0, AreaText, 57},
                                           HitCase{"last character", 72, 15, AreaText, 72}));

TEST(HexLayoutHitTest, MissesBesideTheColumnsAndBelowTheRows) {
    const HexLayout layout = Laid(100);
    EXPECT_FALSE(layout.HitTest(73 * 8 + 1, 4, 0, 100)) << "right of the text";
    EXPECT_FALSE(layout.HitTest(10, 16 * 16 + 1, 0, 100)) << "below the page";
    const HexLayout shortData = Laid(20);
    EXPECT_TRUE(shortData.HitTest(80, 2 * 16 + 1, 0, 32)) << "a row that starts at the end";
    EXPECT_FALSE(shortData.HitTest(80, 3 * 16 + 1, 0, 20)) << "a row past the end";
}

}  // namespace
