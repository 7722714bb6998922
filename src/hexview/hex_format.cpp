#include "hexview/hex_format.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr char kDigits[] = "0123456789ABCDEF";

RunShade ShadeOf(int offset, int lo, int hi) {
    if (offset < lo) return RunShade::Before;
    return offset < hi ? RunShade::Selected : RunShade::After;
}

// Neighbouring pieces of one shade are drawn as one.
void AppendRun(std::vector<HexRun>& runs, int cell, const std::string& text, RunShade shade) {
    if (!runs.empty() && runs.back().shade == shade)
        runs.back().text += text;
    else
        runs.push_back(HexRun{cell, text, shade});
}

}  // namespace

int RowSpan::Count() const {
    if (rowOffset >= length) return 0;
    return std::min(bytesPerLine, length - rowOffset);
}

bool HexFormat::BlankAfter(int offset, int column, int displayWidth) {
    if (displayWidth == 16) return offset % 2 == 1;
    if (displayWidth == 32) return column % 4 == 3;
    return true;
}

int HexFormat::HexLineLength(int bytesPerLine, int displayWidth) {
    if (displayWidth == 16) return bytesPerLine / 2 * 5;
    if (displayWidth == 32) return bytesPerLine * 9 / 4;
    return 3 * bytesPerLine;
}

int HexFormat::HexCell(int rowOffset, int column, int displayWidth) {
    int cell = 0;
    for (int k = 0; k < column; ++k) cell += BlankAfter(rowOffset + k, k, displayWidth) ? 3 : 2;
    return cell;
}

std::string HexFormat::AddressText(int rowOffset, int displayWidth, bool wideAddress) {
    unsigned long address = static_cast<unsigned long>(rowOffset);
    if (displayWidth == 16) address /= 2;
    if (displayWidth == 32) address /= 4;
    char text[24];
    std::snprintf(text, sizeof text, wideAddress ? "%08lX" : "%04lX", address);
    return text;
}

std::string HexFormat::HexLine(const RowSpan& row, int displayWidth) {
    std::string line;
    line.reserve(std::size_t(3 * row.bytesPerLine));
    const int count = row.Count();
    for (int j = 0; j < count; ++j) {
        const int offset = row.rowOffset + j;
        const std::uint8_t byte = row.data[offset];
        line += kDigits[byte >> 4];
        line += kDigits[byte & 0x0F];
        if (BlankAfter(offset, j, displayWidth)) line += ' ';
    }
    line.append(std::size_t(3 * (row.bytesPerLine - count)), ' ');
    line.resize(std::size_t(HexLineLength(row.bytesPerLine, displayWidth)), ' ');
    return line;
}

std::string HexFormat::TextLine(const RowSpan& row) {
    std::string line;
    const int count = row.Count();
    line.reserve(std::size_t(count));
    for (int j = 0; j < count; ++j) line += TextChar(row.data[row.rowOffset + j]);
    return line;
}

char HexFormat::TextChar(std::uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E ? char(byte) : '.';
}

// Every byte takes its own shade, inside a group as well: the packed widths
// must show exactly the bytes a copy would take, not whole groups.
std::vector<HexRun> HexFormat::HexRuns(const RowSpan& row, int displayWidth, int lo, int hi) {
    std::vector<HexRun> runs;
    int cell = 0;
    const int count = row.Count();
    for (int j = 0; j < count; ++j) {
        const int offset = row.rowOffset + j;
        const std::uint8_t byte = row.data[offset];
        std::string piece{kDigits[byte >> 4], kDigits[byte & 0x0F]};
        if (BlankAfter(offset, j, displayWidth)) piece += ' ';
        AppendRun(runs, cell, piece, ShadeOf(offset, lo, hi));
        cell += int(piece.size());
    }
    return runs;
}

std::vector<HexRun> HexFormat::TextRuns(const RowSpan& row, int lo, int hi) {
    std::vector<HexRun> runs;
    const int count = row.Count();
    for (int j = 0; j < count; ++j) {
        const int offset = row.rowOffset + j;
        AppendRun(runs, j, std::string(1, TextChar(row.data[offset])), ShadeOf(offset, lo, hi));
    }
    return runs;
}

std::size_t HexFormat::ClipboardTextLength(std::size_t n, bool textColumn) {
    return textColumn ? n : 3 * n;
}

void HexFormat::WriteClipboardText(const std::uint8_t* bytes, std::size_t n, bool textColumn,
                                   char* out) {
    if (textColumn) {
        for (std::size_t i = 0; i < n; ++i) out[i] = TextChar(bytes[i]);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        *out++ = kDigits[bytes[i] >> 4];
        *out++ = kDigits[bytes[i] & 0x0F];
        *out++ = ' ';
    }
}
