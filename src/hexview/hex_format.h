#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How a stretch of the highlighted column is shaded: before the selection,
// inside it, or after it.
enum class RunShade { Before, Selected, After };

// A piece of a row drawn in one go: starts `cell` characters into its column.
struct HexRun {
    int cell = 0;
    std::string text;
    RunShade shade = RunShade::Before;
};

// One row of bytes as the view shows it.
struct RowSpan {
    const std::uint8_t* data = nullptr;  // the whole buffer
    int length = 0;                      // bytes in the buffer
    int rowOffset = 0;                   // offset of the row's first byte
    int bytesPerLine = 16;
    int Count() const;  // bytes the row actually holds
};

// The text of the view's columns and of its clipboard payload. Only the
// rows on screen are ever formatted, so cost follows the window, not the data.
class HexFormat {
public:
    // Whether a blank follows the byte at this offset and column of its row:
    // the 16- and 32-bit widths keep the bytes of a group together.
    static bool BlankAfter(int offset, int column, int displayWidth);
    // Characters drawn for a full row of hex digits (48, 40 or 36 for 16 bytes).
    static int HexLineLength(int bytesPerLine, int displayWidth);
    // Cells from the start of the hex column to the first digit of the byte
    // in this column of a row starting at rowOffset: where HexLine puts it.
    static int HexCell(int rowOffset, int column, int displayWidth);

    // The row address; the wider widths count words, not bytes.
    static std::string AddressText(int rowOffset, int displayWidth, bool wideAddress);
    static std::string HexLine(const RowSpan& row, int displayWidth);
    static std::string TextLine(const RowSpan& row);
    static char TextChar(std::uint8_t byte);

    // The row cut where the shading changes at the selection [lo, hi); each
    // byte is shaded on its own, its trailing blank with it.
    static std::vector<HexRun> HexRuns(const RowSpan& row, int displayWidth, int lo, int hi);
    static std::vector<HexRun> TextRuns(const RowSpan& row, int lo, int hi);

    // Plain-text clipboard form of n bytes: characters for the text column,
    // otherwise two digits and a blank per byte.
    static std::size_t ClipboardTextLength(std::size_t n, bool textColumn);
    static void WriteClipboardText(const std::uint8_t* bytes, std::size_t n, bool textColumn,
                                   char* out);
};
