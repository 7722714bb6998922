#include "hexview/hex_layout.h"

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

std::optional<HitResult> HexLayout::HitTest(int x, int y, int topOffset, int viewLength) const {
    if (charWidth_ <= 0 || lineHeight_ <= 0 || y < 0) return std::nullopt;
    const int row = y / lineHeight_;
    if (row > linesPerPage_ || row * bytesPerLine_ > viewLength) return std::nullopt;
    // Cells counted from 1; a point left of the window falls into cell 0.
    const int shifted = x + charWidth_;
    const int n = shifted >= 0 ? shifted / charWidth_ : -1;
    std::optional<HitResult> hit = HitColumns(n, topOffset + row * bytesPerLine_);
    if (hit) {
        hit->row = row;
        if (hit->offset < 0) hit->offset = 0;
    }
    return hit;
}

std::optional<HitResult> HexLayout::HitColumns(int n, int rowOffset) const {
    if (showAddress_ && n <= AddressDigits()) return HitResult{rowOffset, AreaAddress, 0, 0};
    const int h = hexX_ / charWidth_;
    if (showHex_ && n < h + 3 * bytesPerLine_) {
        // The first digit and the blank before it select the high digit,
        // the second digit the low one.
        if (n % 3 != 0) n -= 1;
        const CaretArea area = n % 3 == 0 ? AreaHexHigh : AreaHexLow;
        return HitResult{rowOffset + (n - h) / 3, area, n, 0};
    }
    const int t = textX_ / charWidth_;
    if (showText_ && n <= t + bytesPerLine_) {
        int k = n - t - 1;
        if (k < 0) k = 0;
        return HitResult{rowOffset + k, AreaText, t + k, 0};
    }
    return std::nullopt;
}

int HexLayout::CaretX(CaretArea area, int column) const {
    switch (area) {
        case AreaAddress:
            return 0;
        case AreaText:
            return textX_ + column * charWidth_;
        case AreaHexHigh:
            return hexX_ + 3 * column * charWidth_;
        case AreaHexLow:
            return hexX_ + (3 * column + 1) * charWidth_;
    }
    return 0;
}

int HexLayout::CaretWidth(int caretX) const {
    return caretX == 0 && showAddress_ ? AddressDigits() * charWidth_ : charWidth_;
}

bool HexLayout::InsideClient(int x, int y) const {
    return x >= 0 && y >= 0 && x < clientWidth_ && y < clientHeight_;
}
