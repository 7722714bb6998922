#pragma once

#include <cstdint>
#include <numeric>
#include <vector>

#include "hexview/hex_editor.h"

// Bytes 0, 1, 2, ... (wrapping at 256), so that every offset is recognisable.
inline std::vector<std::uint8_t> CountingBytes(int count) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) bytes[std::size_t(i)] = std::uint8_t(i);
    return bytes;
}

// A hex editor with 8-pixel cells, 16-pixel rows and room for 15 rows of 73
// cells: the geometry the view has with its own font.
struct HexEditorRig {
    static constexpr int kCell = 8;
    static constexpr int kRow = 16;
    HexEditor editor;

    explicit HexEditorRig(int count = 0, int rows = 15) {
        editor.SetMetrics(kCell, kRow);
        editor.SetClientSize(73 * kCell, rows * kRow);
        if (count >= 0) Load(CountingBytes(count));
    }
    void Load(const std::vector<std::uint8_t>& bytes) {
        editor.SetData(bytes.data(), bytes.size());
        editor.TakeEffects();
    }
    const HexCaret& caret() const { return editor.caret(); }
    const HexLayout& layout() const { return editor.layout(); }
    int length() const { return editor.document().length(); }
    std::uint8_t at(int offset) const { return editor.document().at(offset); }
    void Press(HexKey key, bool shift = false, bool ctrl = false) { editor.Key(key, shift, ctrl); }
    void Type(const char* text) {
        for (; *text; ++text) editor.Char(static_cast<unsigned char>(*text), false);
    }
    // Centre of a character cell in a window row.
    static int CellX(int cell) { return cell * kCell + kCell / 2; }
    static int RowY(int row) { return row * kRow + kRow / 2; }
    void Click(int cell, int row, bool shift = false) {
        editor.MousePress(CellX(cell), RowY(row), shift);
        if (!shift) editor.ClickWithoutDrag();
    }
};
