#pragma once

#include <optional>

#include "hexview/hex_types.h"

// Where a click landed: the byte, the column and the character cell.
struct HitResult {
    int offset = 0;
    CaretArea area = AreaAddress;
    int cell = 0;  // character cell the caret goes to
    int row = 0;   // window row, counted from the top
};

// The geometry of the view, in pixels and character cells, worked out from
// the font's cell size and the client size alone, so that it can be checked
// without a window.
class HexLayout {
public:
    // The layout step: column positions and rows per page for viewLength bytes.
    void Compute(int viewLength);

    void SetMetrics(int charWidth, int lineHeight);
    // A new client size moves nothing by itself; the rows per page follow
    // at the next data change.
    void SetClientSize(int width, int height);
    void MarkDirty() { layoutDirty_ = true; }
    // 8, 16 or 32: how the hex column packs its digits, which decides where
    // each byte's digits, and so its caret and clicks, lie.
    void SetDisplayWidth(int bits) { displayWidth_ = bits; }

    // Maps a client point to a caret position; nothing when it hits no column.
    std::optional<HitResult> HitTest(int x, int y, int topOffset, int viewLength) const;
    // The gap between two characters of the text column nearest a point, as
    // an offset (after the last byte at most); nothing outside the rows.
    std::optional<int> TextBoundary(int x, int y, int topOffset, int viewLength) const;

    // Left edge of the caret for a byte in column j of the row starting at rowOffset.
    int CaretX(CaretArea area, int column, int rowOffset = 0) const;

    // The block covers the address digits when it stands at the left edge.
    int CaretWidth(int caretX) const;
    bool InsideClient(int x, int y) const;

    int AddressDigits() const { return wideAddress_ ? 8 : 4; }
    // Whole rows that fit in the client height.
    int VisibleRows() const { return lineHeight_ > 0 ? clientHeight_ / lineHeight_ : 0; }
    int DrawingHeight() const { return VisibleRows() * lineHeight_; }

    bool showAddress() const { return showAddress_; }
    bool showHex() const { return showHex_; }
    bool showText() const { return showText_; }
    bool wideAddress() const { return wideAddress_; }
    int bytesPerLine() const { return bytesPerLine_; }
    int displayWidth() const { return displayWidth_; }
    int linesPerPage() const { return linesPerPage_; }
    bool lastLinePartial() const { return lastLinePartial_; }
    bool layoutDirty() const { return layoutDirty_; }
    int charWidth() const { return charWidth_; }
    int lineHeight() const { return lineHeight_; }
    int hexX() const { return hexX_; }
    int textX() const { return textX_; }
    int clientWidth() const { return clientWidth_; }
    int clientHeight() const { return clientHeight_; }

private:
    // The row a point lies in, counted from the top, if it may be hit.
    std::optional<int> RowAt(int y, int viewLength) const;
    std::optional<HitResult> HitColumns(int n, int rowOffset) const;
    std::optional<HitResult> HitHex(int cell, int rowOffset) const;

    bool showAddress_ = true;
    bool showHex_ = true;
    bool showText_ = true;
    bool wideAddress_ = true;
    int bytesPerLine_ = 16;
    int displayWidth_ = 8;
    int linesPerPage_ = 15;
    bool lastLinePartial_ = true;
    bool layoutDirty_ = true;
    int charWidth_ = 0;
    int lineHeight_ = 0;
    int hexX_ = 0;
    int textX_ = 0;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
};
