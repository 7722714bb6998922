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

    // Maps a client point to a caret position; nothing when it hits no column.
    std::optional<HitResult> HitTest(int x, int y, int topOffset, int viewLength) const;

    // Left edge of the caret for a byte in column j of its row.
    int CaretX(CaretArea area, int column) const;
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
    std::optional<HitResult> HitColumns(int n, int rowOffset) const;

    bool showAddress_ = true;
    bool showHex_ = true;
    bool showText_ = true;
    bool wideAddress_ = true;
    int bytesPerLine_ = 16;
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
