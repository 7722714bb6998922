#pragma once

// Where the caret stands. The values are fixed: the view's state is
// described with them and tests compare against them.
enum CaretArea {
    AreaAddress = 0,  // the address column
    AreaText = 1,     // the character column
    AreaHexHigh = 2,  // the high digit of a hex byte
    AreaHexLow = 3,   // the low digit of a hex byte
};

// The vertical scroll steps, whether they come from keys, the wheel or the bar.
enum class ScrollCode { LineUp, LineDown, PageUp, PageDown, ToLine };

// The keys the view acts on; every other key only produces a character.
enum class HexKey { Left, Right, Up, Down, PageUp, PageDown, Home, End, Tab, Insert, Delete };

// Commands that a character can ask the widget to carry out, because they
// need the clipboard, which the plain logic does not know.
enum class HexCommand { None, Copy, Cut, Paste, Undo };

// How the scroll bar should look after a data change or a goto.
struct ScrollBarState {
    int maximum = 0;  // last line, counted from 0 (rows - 1)
    int page = 0;     // lines per page
    int position = 0;
    bool enabled = false;
};
