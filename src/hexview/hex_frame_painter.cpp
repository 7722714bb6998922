#include "hexview/hex_frame_painter.h"

#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <algorithm>

#include "hexview/hex_editor.h"

HexFramePainter::HexFramePainter(const QFont& font, const QColor& highlight, const QColor& window)
    : font_(font), highlight_(highlight), window_(window), ascent_(QFontMetrics(font).ascent()) {}

void HexFramePainter::Paint(QImage& frame, const HexEditor& editor,
                            const std::vector<std::uint32_t>* marks) const {
    frame.fill(GroundColour());
    const HexDocument& document = editor.document();
    if (!document.present() || document.length() == 0) return;
    QPainter painter(&frame);
    painter.setFont(font_);
    painter.setPen(TextColour());
    const HexLayout& layout = editor.layout();
    const int rows = layout.VisibleRows();
    RowSpan row{document.bytes(), document.length(), 0, layout.bytesPerLine()};
    // Only whole rows, and only those that start inside the data.
    for (int r = 0; r < rows; ++r) {
        row.rowOffset = editor.caret().topOffset() + r * layout.bytesPerLine();
        if (row.rowOffset >= document.length()) break;
        const bool marked = marks && !marks->empty();
        // The marks' ground goes first and the row's text over it; where a
        // selection shades the row, the marked bytes are drawn again on top.
        if (marked) PaintMarks(painter, editor, row, r * layout.lineHeight(), *marks, false);
        PaintRow(painter, editor, row, r * layout.lineHeight());
        if (marked && editor.caret().HasSelection())
            PaintMarks(painter, editor, row, r * layout.lineHeight(), *marks, true);
        PaintEdited(painter, editor, row, r * layout.lineHeight());
    }
}

// Edited bytes are underlined, so they stay told apart on any ground.
void HexFramePainter::PaintEdited(QPainter& painter, const HexEditor& editor, const RowSpan& row, int y) const {
    const HexLayout& layout = editor.layout();
    const HexDocument& document = editor.document();
    const int end = row.rowOffset + row.Count();
    const int underline = y + layout.lineHeight() - 2;
    for (int lo = row.rowOffset; lo < end; ++lo) {
        if (!document.edited(lo)) continue;
        int hi = lo + 1;
        while (hi < end && document.edited(hi)) ++hi;
        auto draw = [&](int x, const std::vector<HexRun>& runs) {
            for (const HexRun& run : runs) {
                if (run.shade != RunShade::Selected) continue;
                const int left = x + run.cell * layout.charWidth();
                painter.fillRect(QRect(left, underline, int(run.text.size()) * layout.charWidth(), 2),
                                 EditedColour());
            }
        };
        if (layout.showHex()) draw(layout.hexX(), HexFormat::HexRuns(row, editor.displayWidth(), lo, hi));
        if (layout.showText()) draw(layout.textX(), HexFormat::TextRuns(row, lo, hi));
        lo = hi;
    }
}

// The marked bytes of a row, a run of neighbours at a time, drawn over the
// row in both columns. Only the row's own marks are looked at, so the cost
// follows the window, however many marks there are.
void HexFramePainter::PaintMarks(QPainter& painter, const HexEditor& editor, const RowSpan& row, int y,
                                 const std::vector<std::uint32_t>& marks, bool withText) const {
    const HexLayout& layout = editor.layout();
    const auto end = std::uint32_t(row.rowOffset + row.Count());
    auto it = std::lower_bound(marks.begin(), marks.end(), std::uint32_t(row.rowOffset));
    while (it != marks.end() && *it < end) {
        const int lo = int(*it);
        int hi = lo + 1;
        for (++it; it != marks.end() && int(*it) == hi && *it < end; ++it) ++hi;
        auto draw = [&](int x, const std::vector<HexRun>& runs) {
            for (const HexRun& run : runs) {
                if (run.shade != RunShade::Selected) continue;
                const int left = x + run.cell * layout.charWidth();
                painter.fillRect(QRect(left, y, int(run.text.size()) * layout.charWidth(), layout.lineHeight()),
                                 MarkColour());
                if (withText) DrawLine(painter, left, y, run.text);
            }
        };
        if (layout.showHex()) draw(layout.hexX(), HexFormat::HexRuns(row, editor.displayWidth(), lo, hi));
        if (layout.showText()) draw(layout.textX(), HexFormat::TextRuns(row, lo, hi));
    }
}

// The selection shows in the caret's column only: hex or text, never both.
void HexFramePainter::PaintRow(QPainter& painter, const HexEditor& editor, const RowSpan& row,
                               int y) const {
    const HexLayout& layout = editor.layout();
    const HexCaret& caret = editor.caret();
    const int cw = layout.charWidth();
    const int lh = layout.lineHeight();
    const int lo = caret.SelectionLow();
    const int hi = caret.SelectionHigh();
    if (layout.showAddress())
        DrawLine(
            painter, 0, y,
            HexFormat::AddressText(row.rowOffset, editor.displayWidth(), layout.wideAddress()));
    if (layout.showHex()) {
        if (caret.HasSelection() && caret.InHexArea())
            DrawRuns(painter, layout.hexX(), y, cw, lh,
                     HexFormat::HexRuns(row, editor.displayWidth(), lo, hi));
        else
            DrawLine(painter, layout.hexX(), y, HexFormat::HexLine(row, editor.displayWidth()));
    }
    if (layout.showText()) {
        if (caret.HasSelection() && caret.caretArea() == AreaText)
            DrawRuns(painter, layout.textX(), y, cw, lh, HexFormat::TextRuns(row, lo, hi));
        else
            DrawLine(painter, layout.textX(), y, HexFormat::TextLine(row));
    }
}

void HexFramePainter::DrawLine(QPainter& painter, int x, int y, const std::string& text) const {
    painter.drawText(x, y + ascent_, QString::fromLatin1(text.data(), qsizetype(text.size())));
}

void HexFramePainter::DrawRuns(QPainter& painter, int x, int y, int charWidth, int lineHeight,
                               const std::vector<HexRun>& runs) const {
    for (const HexRun& run : runs) {
        const int left = x + run.cell * charWidth;
        const QRect box(left, y, int(run.text.size()) * charWidth, lineHeight);
        if (run.shade == RunShade::Selected)
            painter.fillRect(box, highlight_);
        else if (run.shade == RunShade::After)
            painter.fillRect(box, window_);
        DrawLine(painter, left, y, run.text);
    }
}
