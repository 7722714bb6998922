#pragma once

#include <cstddef>
#include <cstdint>

#include "hexview/hex_caret.h"
#include "hexview/hex_document.h"
#include "hexview/hex_layout.h"
#include "hexview/hex_types.h"

// What the widget must do after a step of the logic.
struct HexEffects {
    bool redraw = false;          // compose a new frame
    bool scrollPosition = false;  // move the scroll bar's thumb
    bool scrollRange = false;     // set the scroll bar's range and page anew
};

// Everything the user does to the view, as plain logic: keys, characters,
// mouse and wheel steps, byte insertion and deletion, paste and goto. The
// widget feeds it pixel positions and key codes and paints what it holds.
class HexEditor {
public:
    HexEditor();

    bool SetData(const std::uint8_t* bytes, std::size_t count);
    void SetDisplayWidth(int bits);
    void SetMetrics(int charWidth, int lineHeight) { layout_.SetMetrics(charWidth, lineHeight); }
    void SetClientSize(int width, int height) { layout_.SetClientSize(width, height); }
    // The layout step, when data is present and something changed its size.
    void EnsureLayout();

    void Key(HexKey key, bool shift, bool ctrl);
    // A typed character code; Ctrl codes for the clipboard come back as commands.
    HexCommand Char(int code, bool ctrl);

    void MousePress(int x, int y, bool shift);
    // The press turned into a drag: the selection starts at the caret.
    void BeginDrag();
    // The press ended without a drag: the selection goes.
    void ClickWithoutDrag();
    // A move with the button held while a selection is being made.
    void MouseMove(int x, int y);
    void Wheel(int delta);
    void ScrollBarAction(ScrollCode code, int line);
    void FocusIn();
    void FocusOut() { caret_.HideCaret(); }

    bool InsertBytes(int pos, int count);
    bool DeleteBytes(int from, int to);
    void DeleteSelection();

    // Puts count bytes in at the caret or in place of the selection; the
    // caret offset stays where it was.
    bool Paste(const std::uint8_t* bytes, int count);
    // The second half of a cut, once the bytes are on the clipboard.
    void RemoveSelectedBytes();
    void SelectAll();
    void SelectRange(int from, int to);
    void GotoOffset(int offset);
    // Takes back or makes again the last change; the caret goes to it.
    bool Undo();
    bool Redo();

    ScrollBarState UpdateScrollBar() const;
    HexEffects TakeEffects();

    const HexDocument& document() const { return document_; }
    HexDocument& document() { return document_; }
    const HexLayout& layout() const { return layout_; }
    const HexCaret& caret() const { return caret_; }
    int displayWidth() const { return layout_.displayWidth(); }
    bool hasData() const { return document_.present(); }

private:
    void Arrow(int dx, int dy, bool shift);
    void PageKey(ScrollCode code, bool shift);
    void HomeKey(bool ctrl, bool shift);
    void EndKey(bool ctrl, bool shift);
    void TabKey();
    void InsertKey();
    void DeleteKey();
    void BeginKeyMove(bool shift);
    void FinishKeyMove(bool shift, bool forward);
    void Backspace();
    void TypeCharacter(int code);
    void TypeHexDigit(int code);
    void ApplyHit(int x, int y);
    bool EndTextSelectionAt(int x, int y);
    bool ShowChangeAt(int offset);

    HexDocument document_;
    HexLayout layout_;
    HexCaret caret_;
    bool rangeChanged_ = false;
};
