#pragma once

#include <QRect>
#include <QSize>
#include <map>

// Where the main panel's controls go for a given panel size. The template's
// positions are measured once. Lower than the template, the button column
// rises with the bottom edge and the group box shortens with it; up to the
// start window's width the log and the progress bar widen. Beyond that the
// hex view and the log take the room, and the chip box and the buttons keep
// their size at the top right.
class PanelLayout {
public:
    // Control ids of the panel template.
    enum Id {
        AutoProgram = 1000, HexView = 1001, Log = 1002, Verify = 1003, Program = 1004,
        Read = 1005, Erase = 1006, Save = 1007, Open = 1008, Detect = 1009, Exit = 1011,
        AutoChip = 1013, ChipList = 1014, Group = 1015, Progress = 1016,
        Radio8 = 1017, Radio16 = 1018, Radio32 = 1019,
        // Not in the template: ends the running job at its next block.
        Stop = 1030,
    };

    // The template at 2 pixels per dialog unit: 399 x 229 units.
    static QSize TemplateSize() { return {798, 458}; }
    static const std::map<int, QRect>& TemplateRects();

    static std::map<int, QRect> Arrange(QSize size);
    // The smallest size that keeps the layout whole: below it the group box,
    // which follows the button column up, would cut into its chip list, or
    // the progress bar would thin away between the hex view and the group box.
    static QSize MinimumSize();
};
