#pragma once

#include "hexview/hex_document.h"
#include "hexview/hex_layout.h"
#include "hexview/hex_types.h"

// The caret, the selection and the top row: how they move through the data
// and how the view scrolls to follow them. Reads the data only for its
// length, so nothing here can touch a byte.
class HexCaret {
public:
    HexCaret(const HexDocument& document, const HexLayout& layout);

    // Back to the first byte and the top of the data, as for new data.
    void Reset();

    // One cell sideways (dx) and one row (dy); (0, 0) re-places the caret
    // and brings it back into view.
    void MoveCaret(int dx, int dy);
    // Works out the caret's pixel position for the offset and shows it
    // when that lies inside the window.
    void PlaceCaret(int offset);
    void ScrollView(ScrollCode code, int line = 0);

    void SetSelection(int anchor, int end);
    void ClearSelection() { SetSelection(-1, -1); }
    // Anchors a selection at the caret unless one is already anchored.
    void StartSelection();
    void SetAnchor(int offset) { selAnchor_ = offset; }
    // The selection's moving end at an offset of the data or just after it.
    void SetSelectionEnd(int end);
    // The selection's moving end at the caret: forward moves in the hex area
    // take in the byte under the caret. Never reaches outside the data.
    void EndSelectionAtCaret(bool forward);

    void SetCaretOffset(int offset) { caretOffset_ = offset; }
    void SetCaretArea(CaretArea area) { caretArea_ = area; }
    // Puts the caret at a pixel position found by a click, hidden for now.
    void SetCaretPoint(int x, int y);
    void SetTopOffset(int offset);
    void ShowCaret() { caretShown_ = true; }
    void HideCaret() { caretShown_ = false; }
    // Returns the previous value, so a handler can put it back.
    bool SetHold(bool hold);
    // Pulls a caret that strayed past the data back onto its last byte, or
    // in the text column to just after it.
    void KeepCaretInData();
    // The furthest the caret may go in its column.
    int LastCaretOffset() const;

    void RequestRedraw() { redraw_ = true; }
    bool TakeRedraw();
    bool TakeScrolled();

    int caretOffset() const { return caretOffset_; }
    CaretArea caretArea() const { return caretArea_; }
    int topOffset() const { return topOffset_; }
    int selAnchor() const { return selAnchor_; }
    int selEnd() const { return selEnd_; }
    bool holdCaret() const { return holdCaret_; }
    int caretX() const { return caretX_; }
    int caretY() const { return caretY_; }
    bool caretShown() const { return caretShown_; }
    int scrollPosition() const { return scrollPosition_; }

    bool HasSelection() const { return selAnchor_ != -1; }
    int SelectionLow() const;
    int SelectionHigh() const;
    bool InHexArea() const { return caretArea_ == AreaHexHigh || caretArea_ == AreaHexLow; }
    // Bytes in one page of rows.
    int Page() const { return layout_.linesPerPage() * layout_.bytesPerLine(); }

private:
    void StepCaret(int dx, int dy);
    int ScrolledTop(ScrollCode code, int line) const;
    int ClampToData(int offset) const;

    const HexDocument& document_;
    const HexLayout& layout_;
    int caretOffset_ = 0;
    CaretArea caretArea_ = AreaAddress;
    int topOffset_ = 0;
    int selAnchor_ = -1;
    int selEnd_ = -1;
    bool holdCaret_ = false;
    int caretX_ = 0;
    int caretY_ = 0;
    bool caretShown_ = false;
    int scrollPosition_ = 0;
    bool redraw_ = false;
    bool scrolled_ = false;
};
