#include "hexview/hex_caret.h"

#include <algorithm>
#include <utility>

HexCaret::HexCaret(const HexDocument& document, const HexLayout& layout)
    : document_(document), layout_(layout) {}

void HexCaret::Reset() {
    caretOffset_ = 0;
    caretX_ = caretY_ = 0;
    caretArea_ = AreaHexHigh;
    topOffset_ = 0;
    scrollPosition_ = 0;
    ClearSelection();
}

void HexCaret::MoveCaret(int dx, int dy) {
    if (caretArea_ == AreaAddress) return;  // the arrows do nothing in the address column
    StepCaret(dx, dy);
    const bool saved = SetHold(true);
    if (caretOffset_ < topOffset_)
        ScrollView(ScrollCode::LineUp);
    else if (caretOffset_ >= topOffset_ + Page())
        ScrollView(ScrollCode::LineDown);
    SetHold(saved);
    PlaceCaret(caretOffset_);
}

// In the hex area a sideways step goes digit by digit; a step that would
// leave the data is taken back, though the digit change stays.
void HexCaret::StepCaret(int dx, int dy) {
    const int bpl = layout_.bytesPerLine();
    if (caretArea_ == AreaText) {
        caretOffset_ += dx + dy * bpl;
    } else if (caretArea_ == AreaHexHigh) {
        if (dx != 0) caretArea_ = AreaHexLow;
        if (dx == -1) caretOffset_ -= 1;
        caretOffset_ = std::max(caretOffset_ + dy * bpl, 0);
    } else {
        if (dx != 0) caretArea_ = AreaHexHigh;
        if (dx == 1) caretOffset_ += 1;
        caretOffset_ += dy * bpl;
    }
    if (caretOffset_ < 0) caretOffset_ = 0;
    if (caretOffset_ > LastCaretOffset()) caretOffset_ = std::max(caretOffset_ - dy * bpl - dx, 0);
}

// In the text column the caret stands before the byte it is on, so it may
// stand after the last one too: a selection made there reaches the end.
int HexCaret::LastCaretOffset() const {
    return caretArea_ == AreaText ? document_.length() : document_.length() - 1;
}

void HexCaret::PlaceCaret(int offset) {
    const int relative = offset - topOffset_;
    const int row = relative / layout_.bytesPerLine();
    const int column = relative % layout_.bytesPerLine();
    caretX_ = layout_.CaretX(caretArea_, column, offset - column);
    caretY_ = row * layout_.lineHeight();
    caretShown_ = layout_.InsideClient(caretX_, caretY_);
}

void HexCaret::ScrollView(ScrollCode code, int line) {
    const int length = document_.length();
    // An empty copy has no page to scroll by.
    if (length == 0 || layout_.linesPerPage() <= 0) return;
    const int page = Page();
    const int oldTop = topOffset_;
    topOffset_ = std::max(ScrolledTop(code, line), 0);
    if (topOffset_ != oldTop) redraw_ = true;
    const int endTop = topOffset_ >= length - page ? topOffset_ + page : topOffset_;
    scrollPosition_ = endTop / layout_.bytesPerLine();
    scrolled_ = true;
    if (!holdCaret_ && topOffset_ != oldTop) {
        // The scroll bar and the wheel carry the caret along with the rows.
        caretOffset_ = ClampToData(caretOffset_ + topOffset_ - oldTop);
    }
    if (caretOffset_ < 0) caretOffset_ = 0;
    PlaceCaret(caretOffset_);
}

int HexCaret::ScrolledTop(ScrollCode code, int line) const {
    const int length = document_.length();
    const int bpl = layout_.bytesPerLine();
    const int page = Page();
    const int top = topOffset_;
    switch (code) {
        case ScrollCode::LineUp:
            return top >= bpl ? top - bpl : top;
        case ScrollCode::LineDown: {
            const int spare = (length / bpl) % layout_.linesPerPage();
            return top < length - page || top < length - page + spare ? top + bpl : top;
        }
        case ScrollCode::PageUp:
            return top > page ? top - page : top;
        case ScrollCode::PageDown:
            return top < length - page ? std::min(top + page, length - page) : top;
        case ScrollCode::ToLine:
            return std::min(line * bpl, length - page);
    }
    return top;
}

void HexCaret::SetSelection(int anchor, int end) {
    selAnchor_ = anchor < 0 ? -1 : std::clamp(anchor, 0, document_.length());
    selEnd_ = end < 0 ? -1 : std::clamp(end, 0, document_.length());
    if (selAnchor_ == -1) selEnd_ = -1;
    redraw_ = true;
    caretShown_ = layout_.InsideClient(caretX_, caretY_);
}

void HexCaret::StartSelection() {
    if (selAnchor_ == -1) selAnchor_ = std::clamp(caretOffset_, 0, document_.length());
}

void HexCaret::EndSelectionAtCaret(bool forward) {
    const int end = caretOffset_ + (forward && InHexArea() ? 1 : 0);
    selEnd_ = std::clamp(end, 0, document_.length());
}

void HexCaret::SetSelectionEnd(int end) {
    selEnd_ = std::clamp(end, 0, document_.length());
}

void HexCaret::SetCaretPoint(int x, int y) {
    caretX_ = x;
    caretY_ = y;
    // A caret made anew stays hidden until someone shows it.
    caretShown_ = false;
}

void HexCaret::SetTopOffset(int offset) {
    topOffset_ = offset;
    scrollPosition_ = offset / layout_.bytesPerLine();
}

bool HexCaret::SetHold(bool hold) {
    const bool previous = holdCaret_;
    holdCaret_ = hold;
    return previous;
}

void HexCaret::KeepCaretInData() {
    caretOffset_ = std::clamp(caretOffset_, 0, std::max(LastCaretOffset(), 0));
}

bool HexCaret::TakeRedraw() {
    return std::exchange(redraw_, false);
}

bool HexCaret::TakeScrolled() {
    return std::exchange(scrolled_, false);
}

// An anchor without an end yet stands for an empty selection.
int HexCaret::SelectionLow() const {
    return selEnd_ < 0 ? selAnchor_ : std::min(selAnchor_, selEnd_);
}

int HexCaret::SelectionHigh() const {
    return std::max(selAnchor_, selEnd_);
}

int HexCaret::ClampToData(int offset) const {
    return std::clamp(offset, 0, std::max(document_.length() - 1, 0));
}
