#pragma once

#include <QColor>
#include <QFont>
#include <cstdint>
#include <vector>

#include "hexview/hex_format.h"

class HexEditor;
class QImage;
class QPainter;

// Composes one whole frame of the view into an off-screen image: white
// ground, then the address, hex and text columns of the rows on screen.
class HexFramePainter {
public:
    static QColor TextColour() { return QColor(150, 13, 50); }
    static QColor GroundColour() { return QColor(255, 255, 255); }
    // Behind bytes that differ from the other image.
    static QColor MarkColour() { return QColor(255, 214, 102); }
    // Under bytes edited since the data was last loaded or saved.
    static QColor EditedColour() { return QColor(30, 110, 220); }

    // highlight: the selection's background; window: the background after it.
    HexFramePainter(const QFont& font, const QColor& highlight, const QColor& window);

    // marks: offsets drawn on the difference colour, ascending, or null.
    void Paint(QImage& frame, const HexEditor& editor, const std::vector<std::uint32_t>* marks = nullptr) const;
    const QFont& font() const { return font_; }

private:
    void PaintRow(QPainter& painter, const HexEditor& editor, const RowSpan& row, int y) const;
    void PaintMarks(QPainter& painter, const HexEditor& editor, const RowSpan& row, int y,
                    const std::vector<std::uint32_t>& marks, bool withText) const;
    void PaintEdited(QPainter& painter, const HexEditor& editor, const RowSpan& row, int y) const;
    void DrawLine(QPainter& painter, int x, int y, const std::string& text) const;
    void DrawRuns(QPainter& painter, int x, int y, int charWidth, int lineHeight,
                  const std::vector<HexRun>& runs) const;

    QFont font_;
    QColor highlight_;
    QColor window_;
    int ascent_;
};
