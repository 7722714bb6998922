#include "hexview/hex_layout.h"

#include <algorithm>

#include "hexview/hex_format.h"

void HexLayout::Compute(int viewLength) {
    const int addressWidth = showAddress_ ? (AddressDigits() + 1) * charWidth_ : 0;
    hexX_ = addressWidth;
    textX_ = showHex_ ? addressWidth + 3 * bytesPerLine_ * charWidth_ : addressWidth;
    linesPerPage_ = VisibleRows();
    lastLinePartial_ = false;
    if (linesPerPage_ * bytesPerLine_ > viewLength) {
        // Shorter than a page: as many rows as the data fills, a started row
        // counting as one.
        linesPerPage_ = (viewLength + bytesPerLine_ / 2) / bytesPerLine_;
        if (viewLength % bytesPerLine_ != 0) {
            ++linesPerPage_;
            lastLinePartial_ = true;
        }
    }
    layoutDirty_ = false;
}

void HexLayout::SetMetrics(int charWidth, int lineHeight) {
    charWidth_ = charWidth;
    lineHeight_ = lineHeight;
    layoutDirty_ = true;
}

void HexLayout::SetClientSize(int width, int height) {
    clientWidth_ = width;
    clientHeight_ = height;
}

std::optional<int> HexLayout::RowAt(int y, int viewLength) const {
    if (charWidth_ <= 0 || lineHeight_ <= 0 || y < 0) return std::nullopt;
    const int row = y / lineHeight_;
    if (row > linesPerPage_ || row * bytesPerLine_ > viewLength) return std::nullopt;
    return row;
}

std::optional<HitResult> HexLayout::HitTest(int x, int y, int topOffset, int viewLength) const {
    const std::optional<int> row = RowAt(y, viewLength);
    if (!row) return std::nullopt;
    // Cells counted from 1; a point left of the window falls into cell 0.
    const int shifted = x + charWidth_;
    const int n = shifted >= 0 ? shifted / charWidth_ : -1;
    std::optional<HitResult> hit = HitColumns(n, topOffset + *row * bytesPerLine_);
    if (hit) {
        hit->row = *row;
        if (hit->offset < 0) hit->offset = 0;
    }
    return hit;
}

std::optional<int> HexLayout::TextBoundary(int x, int y, int topOffset, int viewLength) const {
    const std::optional<int> row = RowAt(y, viewLength);
    if (!showText_ || !row) return std::nullopt;
    const int k = std::clamp((x - textX_ + charWidth_ / 2) / charWidth_, 0, bytesPerLine_);
    return std::min(topOffset + *row * bytesPerLine_ + k, viewLength);
}

std::optional<HitResult> HexLayout::HitColumns(int n, int rowOffset) const {
    if (showAddress_ && n <= AddressDigits()) return HitResult{rowOffset, AreaAddress, 0, 0};
    const int h = hexX_ / charWidth_;
    // Past the row's last digit, the blank and the gap the packed widths
    // leave before the text column belong to the text column.
    const int lastDigit = HexFormat::HexCell(rowOffset, bytesPerLine_ - 1, displayWidth_) + 1;
    if (showHex_ && n - 1 - h <= lastDigit) return HitHex(n - 1 - h, rowOffset);
    const int t = textX_ / charWidth_;
    if (showText_ && n <= t + bytesPerLine_) {
        int k = n - t - 1;
        if (k < 0) k = 0;
        return HitResult{rowOffset + k, AreaText, t + k, 0};
    }
    return std::nullopt;
}

// cell counts from the hex column's first cell; -1 is the blank before it.
// A digit selects itself; a blank selects the high digit of the byte after it.
std::optional<HitResult> HexLayout::HitHex(int cell, int rowOffset) const {
    const int h = hexX_ / charWidth_;
    int first = 0;
    for (int j = 0; j < bytesPerLine_; ++j) {
        if (cell <= first) return HitResult{rowOffset + j, AreaHexHigh, h + first, 0};
        if (cell == first + 1) return HitResult{rowOffset + j, AreaHexLow, h + first + 1, 0};
        first += HexFormat::BlankAfter(rowOffset + j, j, displayWidth_) ? 3 : 2;
    }
    return std::nullopt;
}

int HexLayout::CaretX(CaretArea area, int column, int rowOffset) const {
    switch (area) {
        case AreaAddress:
            return 0;
        case AreaText:
            return textX_ + column * charWidth_;
        case AreaHexHigh:
            return hexX_ + HexFormat::HexCell(rowOffset, column, displayWidth_) * charWidth_;
        case AreaHexLow:
            return hexX_ + (HexFormat::HexCell(rowOffset, column, displayWidth_) + 1) * charWidth_;
    }
    return 0;
}

int HexLayout::CaretWidth(int caretX) const {
    return caretX == 0 && showAddress_ ? AddressDigits() * charWidth_ : charWidth_;
}

bool HexLayout::InsideClient(int x, int y) const {
    return x >= 0 && y >= 0 && x < clientWidth_ && y < clientHeight_;
}
