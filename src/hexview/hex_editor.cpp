#include "hexview/hex_editor.h"

#include <algorithm>
#include <utility>

namespace {

constexpr int kCtrlC = 3;
constexpr int kCtrlV = 22;
constexpr int kCtrlX = 24;
constexpr int kCtrlZ = 26;
constexpr int kBackspace = 8;
constexpr int kTab = 9;

// Only lower-case letters count as hex digits when typing over a byte.
int TypedDigit(int code) {
    if (code >= '0' && code <= '9') return code - '0';
    if (code >= 'a' && code <= 'f') return code - 'a' + 10;
    return -1;
}

}  // namespace

HexEditor::HexEditor() : caret_(document_, layout_) {}

bool HexEditor::SetData(const std::uint8_t* bytes, std::size_t count) {
    if (!document_.Assign(bytes, count)) return false;
    caret_.Reset();
    layout_.MarkDirty();
    // Laid out at once, so that the scroll bar gets the page of this data.
    EnsureLayout();
    rangeChanged_ = true;
    return true;
}

// The caret stays on its byte and digit, and moves to where the new width
// draws them.
void HexEditor::SetDisplayWidth(int bits) {
    if (bits != 8 && bits != 16 && bits != 32) return;
    layout_.SetDisplayWidth(bits);
    if (document_.present()) {
        const bool shown = caret_.caretShown();
        caret_.PlaceCaret(caret_.caretOffset());
        if (!shown) caret_.HideCaret();
    }
    caret_.RequestRedraw();
}

void HexEditor::EnsureLayout() {
    if (document_.present() && layout_.layoutDirty()) layout_.Compute(document_.length());
}

// ---- keys ------------------------------------------------------------------

void HexEditor::Key(HexKey key, bool shift, bool ctrl) {
    if (!document_.present()) return;
    const bool saved = caret_.SetHold(true);
    switch (key) {
        case HexKey::Left:
            Arrow(-1, 0, shift);
            break;
        case HexKey::Right:
            Arrow(1, 0, shift);
            break;
        case HexKey::Up:
            Arrow(0, -1, shift);
            break;
        case HexKey::Down:
            Arrow(0, 1, shift);
            break;
        case HexKey::PageUp:
            PageKey(ScrollCode::PageUp, shift);
            break;
        case HexKey::PageDown:
            PageKey(ScrollCode::PageDown, shift);
            break;
        case HexKey::Home:
            HomeKey(ctrl, shift);
            break;
        case HexKey::End:
            EndKey(ctrl, shift);
            break;
        case HexKey::Tab:
            TabKey();
            break;
        case HexKey::Insert:
            InsertKey();
            break;
        case HexKey::Delete:
            DeleteKey();
            break;
    }
    caret_.SetHold(saved);
}

void HexEditor::BeginKeyMove(bool shift) {
    if (shift)
        caret_.StartSelection();
    else
        caret_.ClearSelection();
}

void HexEditor::FinishKeyMove(bool shift, bool forward) {
    if (!shift) return;
    caret_.EndSelectionAtCaret(forward);
    caret_.RequestRedraw();
}

void HexEditor::Arrow(int dx, int dy, bool shift) {
    BeginKeyMove(shift);
    caret_.MoveCaret(dx, dy);
    FinishKeyMove(shift, dx > 0 || dy > 0);
}

void HexEditor::PageKey(ScrollCode code, bool shift) {
    BeginKeyMove(shift);
    caret_.ScrollView(code);
    caret_.MoveCaret(0, 0);
    FinishKeyMove(shift, false);
}

// Home and End work on rows counted from offset 0, not on the rows drawn.
void HexEditor::HomeKey(bool ctrl, bool shift) {
    BeginKeyMove(shift);
    const int bpl = layout_.bytesPerLine();
    if (ctrl) {
        caret_.ScrollView(ScrollCode::ToLine, 0);
        caret_.SetCaretOffset(0);
    } else {
        caret_.SetCaretOffset(caret_.caretOffset() / bpl * bpl);
    }
    caret_.MoveCaret(0, 0);
    FinishKeyMove(shift, false);
}

void HexEditor::EndKey(bool ctrl, bool shift) {
    BeginKeyMove(shift);
    const int bpl = layout_.bytesPerLine();
    const int last = document_.length() - 1;
    // In the text column the end of the data is the place after its last byte.
    const int end = caret_.caretArea() == AreaText ? last + 1 : last;
    if (ctrl) {
        caret_.SetCaretOffset(std::max(end, 0));
        int line = (document_.length() + bpl / 2) / bpl - layout_.linesPerPage();
        if (!shift && layout_.lastLinePartial()) line = 0;
        caret_.ScrollView(ScrollCode::ToLine, line);
    } else {
        const int rowEnd = std::min((caret_.caretOffset() / bpl + 1) * bpl - 1, last);
        caret_.SetCaretOffset(rowEnd == last ? end : rowEnd);
    }
    caret_.MoveCaret(0, 0);
    FinishKeyMove(shift, false);
}

// Tab keeps the selection; it only changes the column it is shown in.
void HexEditor::TabKey() {
    const CaretArea area = caret_.caretArea();
    caret_.SetCaretArea(area == AreaAddress || area == AreaText ? AreaHexHigh : AreaText);
    // After the last byte there is a place for the text caret but no digit.
    if (caret_.InHexArea() && caret_.caretOffset() >= document_.length()) caret_.KeepCaretInData();
    caret_.MoveCaret(0, 0);
}

void HexEditor::InsertKey() {
    const int selected = caret_.HasSelection() ? caret_.SelectionHigh() - caret_.SelectionLow() : 0;
    InsertBytes(caret_.caretOffset(), std::max(selected, 1));
    caret_.RequestRedraw();
}

void HexEditor::DeleteKey() {
    if (caret_.HasSelection()) {
        DeleteSelection();
        return;
    }
    // Without a selection there must be a byte under the caret.
    if (caret_.caretOffset() >= document_.length()) return;
    DeleteBytes(caret_.caretOffset(), caret_.caretOffset() + 1);
    caret_.RequestRedraw();
}

// ---- characters ------------------------------------------------------------

HexCommand HexEditor::Char(int code, bool ctrl) {
    if (!document_.present() || code == kTab) return HexCommand::None;
    if (ctrl) {
        switch (code) {
            case kCtrlC:
                return caret_.HasSelection() ? HexCommand::Copy : HexCommand::None;
            case kCtrlV:
                return HexCommand::Paste;
            case kCtrlX:
                return caret_.HasSelection() ? HexCommand::Cut : HexCommand::None;
            case kCtrlZ:
                return HexCommand::Undo;
            default:
                break;
        }
    }
    if (code == kBackspace)
        Backspace();
    else
        TypeCharacter(code);
    return HexCommand::None;
}

void HexEditor::Backspace() {
    const int offset = std::min(caret_.caretOffset(), document_.length());
    if (offset <= 0) return;
    caret_.SetCaretOffset(offset - 1);
    DeleteBytes(offset - 1, offset);
    caret_.PlaceCaret(caret_.caretOffset());
    caret_.RequestRedraw();
}

// Typing always overwrites; at the end of the data there is nothing to type over.
void HexEditor::TypeCharacter(int code) {
    caret_.ClearSelection();
    const CaretArea area = caret_.caretArea();
    if (area == AreaAddress) return;
    if (area != AreaText) {
        TypeHexDigit(code);
        return;
    }
    if (caret_.caretOffset() >= document_.length()) return;
    document_.Write(caret_.caretOffset(), std::uint8_t(code & 0xFF));
    caret_.MoveCaret(1, 0);
    caret_.RequestRedraw();
}

void HexEditor::TypeHexDigit(int code) {
    caret_.RequestRedraw();
    const int digit = TypedDigit(code);
    const int offset = caret_.caretOffset();
    if (digit < 0 || offset >= document_.length()) return;
    const std::uint8_t old = document_.at(offset);
    const std::uint8_t typed = caret_.caretArea() == AreaHexHigh
                                   ? std::uint8_t((old & 0x0F) | (digit << 4))
                                   : std::uint8_t((old & 0xF0) | digit);
    document_.Write(offset, typed);
    caret_.MoveCaret(1, 0);
}

// ---- editing ---------------------------------------------------------------

bool HexEditor::InsertBytes(int pos, int count) {
    if (!document_.InsertBytes(pos, count)) return false;
    caret_.ClearSelection();
    layout_.MarkDirty();
    return true;
}

bool HexEditor::DeleteBytes(int from, int to) {
    if (!document_.DeleteBytes(from, to)) return false;
    caret_.ClearSelection();
    if (caret_.caretOffset() > document_.length()) {
        caret_.SetCaretOffset(document_.length());
        caret_.PlaceCaret(caret_.caretOffset());
    }
    layout_.MarkDirty();
    return true;
}

void HexEditor::DeleteSelection() {
    const int lo = caret_.SelectionLow();
    const int hi = caret_.SelectionHigh();
    caret_.SetCaretOffset(lo);
    DeleteBytes(lo, hi);
    caret_.PlaceCaret(caret_.caretOffset());
    caret_.RequestRedraw();
}

bool HexEditor::Paste(const std::uint8_t* bytes, int count) {
    if (!document_.present()) return false;
    const int remembered = caret_.caretOffset();
    bool pasted = false;
    if (caret_.HasSelection()) {
        pasted = document_.Replace(caret_.SelectionLow(), caret_.SelectionHigh(), bytes, count);
    } else {
        // On a low digit the bytes go in after the byte under the caret.
        const int at = remembered + (caret_.caretArea() == AreaHexLow ? 1 : 0);
        pasted = document_.Replace(at, at, bytes, count);
    }
    if (!pasted) return false;
    caret_.ClearSelection();
    layout_.MarkDirty();
    caret_.SetCaretOffset(std::clamp(remembered, 0, document_.length()));
    caret_.RequestRedraw();
    return true;
}

void HexEditor::RemoveSelectedBytes() {
    if (!caret_.HasSelection()) return;
    DeleteBytes(caret_.SelectionLow(), caret_.SelectionHigh());
    caret_.RequestRedraw();
}

void HexEditor::SelectAll() {
    if (!document_.present()) return;
    caret_.SetSelection(0, document_.length());
    caret_.HideCaret();
}

// ---- mouse, wheel and scroll bar -------------------------------------------

void HexEditor::MousePress(int x, int y, bool shift) {
    if (!document_.present()) return;
    if (shift) caret_.SetAnchor(std::clamp(caret_.caretOffset(), 0, document_.length()));
    ApplyHit(x, y);
    if (shift) {
        // A Shift-click beside the columns still ends the selection, at the caret.
        caret_.EndSelectionAtCaret(true);
        EndTextSelectionAt(x, y);
        caret_.RequestRedraw();
    }
    if (!caret_.HasSelection()) caret_.ShowCaret();
}

// A row past the end of the data puts the caret on the last byte, or in the
// text column just after it.
void HexEditor::ApplyHit(int x, int y) {
    const std::optional<HitResult> hit =
        layout_.HitTest(x, y, caret_.topOffset(), document_.length());
    if (!hit) return;
    caret_.SetCaretArea(hit->area);
    caret_.SetCaretOffset(hit->offset);
    if (hit->offset >= document_.length()) {
        caret_.KeepCaretInData();
        caret_.PlaceCaret(caret_.caretOffset());
        return;
    }
    caret_.SetCaretPoint(hit->cell * layout_.charWidth(), hit->row * layout_.lineHeight());
}

// In the text column a selection ends between two characters, at the gap
// nearest the pointer, so that it can take in the last byte of the data.
bool HexEditor::EndTextSelectionAt(int x, int y) {
    if (caret_.caretArea() != AreaText) return false;
    const std::optional<int> gap =
        layout_.TextBoundary(x, y, caret_.topOffset(), document_.length());
    if (!gap) return false;
    caret_.SetSelectionEnd(*gap);
    return true;
}

void HexEditor::BeginDrag() {
    if (!document_.present()) return;
    const int at = std::clamp(caret_.caretOffset(), 0, document_.length());
    caret_.SetAnchor(at);
    caret_.EndSelectionAtCaret(false);
}

void HexEditor::ClickWithoutDrag() {
    if (!document_.present()) return;
    if (caret_.HasSelection()) caret_.ClearSelection();
    caret_.ShowCaret();
}

void HexEditor::MouseMove(int x, int y) {
    if (!document_.present() || !caret_.HasSelection()) return;
    // Beyond the top or bottom edge the rows scroll by one per move.
    if (y < 0) {
        caret_.ScrollView(ScrollCode::LineUp);
        y = 0;
    } else if (y > layout_.clientHeight()) {
        caret_.ScrollView(ScrollCode::LineDown);
        y = layout_.clientHeight() - 1;
    }
    const int oldEnd = caret_.selEnd();
    const std::optional<HitResult> hit =
        layout_.HitTest(x, y, caret_.topOffset(), document_.length());
    if (hit) {
        caret_.SetCaretArea(hit->area);
        caret_.SetCaretOffset(hit->offset);
        caret_.KeepCaretInData();
        caret_.EndSelectionAtCaret(true);
    }
    // Right of the characters the pointer still drags the text selection.
    if (hit || (caret_.caretArea() == AreaText && x >= layout_.textX())) {
        if (EndTextSelectionAt(x, y)) caret_.SetCaretOffset(caret_.selEnd());
    }
    caret_.HideCaret();
    if (caret_.selEnd() != oldEnd) caret_.RequestRedraw();
}

// One row per wheel message, however far the wheel turned.
void HexEditor::Wheel(int delta) {
    if (!document_.present() || delta == 0) return;
    caret_.ScrollView(delta < 0 ? ScrollCode::LineDown : ScrollCode::LineUp);
}

void HexEditor::ScrollBarAction(ScrollCode code, int line) {
    if (!document_.present()) return;
    caret_.ScrollView(code, line);
}

void HexEditor::FocusIn() {
    if (document_.present() && !caret_.HasSelection()) caret_.ShowCaret();
}

// ---- goto and the scroll bar -------------------------------------------------

void HexEditor::SelectRange(int from, int to) {
    const int length = document_.length();
    if (from < 0 || from >= to || to > length) return;
    EnsureLayout();
    if (!caret_.InHexArea()) caret_.SetCaretArea(AreaHexHigh);
    GotoOffset(from);
    caret_.SetSelection(from, to);
    caret_.RequestRedraw();
}

bool HexEditor::Undo() { return ShowChangeAt(document_.Undo()); }

bool HexEditor::Redo() { return ShowChangeAt(document_.Redo()); }

bool HexEditor::ShowChangeAt(int offset) {
    if (offset < 0) return false;
    caret_.ClearSelection();
    layout_.MarkDirty();
    EnsureLayout();
    rangeChanged_ = true;
    caret_.RequestRedraw();
    GotoOffset(std::min(offset, document_.length() - 1));
    return true;
}

void HexEditor::GotoOffset(int offset) {
    const int length = document_.length();
    if (offset >= length || length == 0) return;
    caret_.SetCaretOffset(std::max(offset, 0));
    caret_.SetHold(true);
    if (caret_.caretOffset() < caret_.topOffset()) caret_.ScrollView(ScrollCode::LineUp);
    caret_.SetHold(false);
    const int top = caret_.topOffset();
    const int page = caret_.Page();
    if (offset < top || offset > top + page) {
        // The target row lands about a third of a page below the top.
        const int bpl = layout_.bytesPerLine();
        int newTop = bpl * (offset / bpl - layout_.linesPerPage() / 3);
        newTop = std::max(std::min(newTop, length - page), 0);
        caret_.SetTopOffset(newTop);
        rangeChanged_ = true;
        caret_.RequestRedraw();
    }
    caret_.PlaceCaret(caret_.caretOffset());
}

ScrollBarState HexEditor::UpdateScrollBar() const {
    ScrollBarState state;
    const int bpl = layout_.bytesPerLine();
    state.maximum = document_.length() / bpl - 1;
    state.page = layout_.linesPerPage();
    state.position = caret_.topOffset() / bpl;
    state.enabled = state.page <= state.maximum;
    return state;
}

HexEffects HexEditor::TakeEffects() {
    HexEffects effects;
    effects.redraw = caret_.TakeRedraw();
    effects.scrollPosition = caret_.TakeScrolled();
    effects.scrollRange = std::exchange(rangeChanged_, false);
    return effects;
}
