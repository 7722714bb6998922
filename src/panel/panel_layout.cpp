#include "panel/panel_layout.h"

#include <algorithm>
#include <array>

namespace {

QRect Units(int x, int y, int w, int h) { return {2 * x, 2 * y, 2 * w, 2 * h}; }

// Bottom-to-top: each button keeps its template gap above the one below it.
constexpr std::array<int, 9> kButtonColumn = {
    PanelLayout::AutoProgram, PanelLayout::Verify, PanelLayout::Program,
    PanelLayout::Read,        PanelLayout::Erase,  PanelLayout::Save,
    PanelLayout::Open,        PanelLayout::Detect, PanelLayout::Exit,
};

int Bottom(const QRect& r) { return r.y() + r.height(); }
int Right(const QRect& r) { return r.x() + r.width(); }

}  // namespace

const std::map<int, QRect>& PanelLayout::TemplateRects() {
    // The combo box's template height is its drop-down extent; closed, it is
    // one line high.
    static const std::map<int, QRect> rects = {
        {Radio8, Units(346, 10, 45, 10)},   {Radio16, Units(346, 20, 45, 10)},
        {Radio32, Units(346, 30, 45, 10)},  {AutoChip, Units(347, 43, 43, 10)},
        {ChipList, Units(345, 56, 47, 12)}, {Group, Units(343, 1, 50, 91)},
        {Exit, Units(343, 93, 50, 14)},     {Detect, Units(343, 108, 50, 14)},
        {Open, Units(343, 123, 50, 14)},    {Save, Units(343, 138, 50, 14)},
        {Erase, Units(343, 153, 50, 14)},   {Read, Units(343, 168, 50, 14)},
        {Program, Units(343, 183, 50, 14)}, {Verify, Units(343, 198, 50, 14)},
        {AutoProgram, Units(343, 213, 50, 14)}, {HexView, Units(1, 1, 304, 123)},
        {Progress, Units(314, 1, 18, 106)}, {Stop, Units(314, 110, 18, 13)}, {Log, Units(0, 126, 338, 102)},
    };
    return rects;
}

// Narrower than the template, only the progress bar gives way: it keeps at
// least half its width. Lower, only the group box, the log and the button
// column do: the box keeps a margin below the chip list, and everything else
// follows from that. The margin leaves the panel room enough under the
// window's status bar at the start size.
QSize PanelLayout::MinimumSize() {
    constexpr int kRoomBelowChipList = 10;
    const std::map<int, QRect>& t = TemplateRects();
    const QSize t0 = TemplateSize();
    const int narrower = t.at(Progress).width() - t.at(Progress).width() / 2;
    const int roomBelow = kRoomBelowChipList;
    const int lower = Bottom(t.at(Group)) - (Bottom(t.at(ChipList)) + roomBelow);
    return {t0.width() - narrower, t0.height() - lower};
}

// Up to the start window's width the extra room goes to the log and the
// bar, as it always has; beyond it, and above the template's height, it goes
// to the hex view and the log. The chip box and the buttons keep their size
// and stay at the top right, so no empty box grows with the window.
std::map<int, QRect> PanelLayout::Arrange(QSize size) {
    constexpr int kBarWidens = 42;  // the start window is this much wider than the template
    const std::map<int, QRect>& t = TemplateRects();
    const QSize t0 = TemplateSize();
    const int hexWider = std::max(0, size.width() - t0.width() - kBarWidens);
    const int dx = size.width() - t0.width();
    const int taller = std::max(0, size.height() - t0.height());
    const int dy = size.height() - t0.height() - taller;
    const int hexTaller = taller / 2;
    std::map<int, QRect> r = t;
    r[HexView].setWidth(t.at(HexView).width() + hexWider);
    r[HexView].setHeight(t.at(HexView).height() + hexTaller);

    r[AutoProgram] = t.at(AutoProgram).translated(dx, dy);
    for (std::size_t i = 1; i < kButtonColumn.size(); ++i) {
        const int id = kButtonColumn[i], below = kButtonColumn[i - 1];
        const int gap = t.at(below).y() - Bottom(t.at(id));
        QRect moved = t.at(id).translated(dx, 0);
        moved.moveBottom(r[below].y() - gap - 1);
        r[id] = moved;
    }

    QRect group = t.at(Group).translated(dx, 0);
    group.setBottom(r[Exit].y() - (t.at(Exit).y() - Bottom(t.at(Group))) - 1);
    r[Group] = group;

    for (int id : {Radio8, Radio16, Radio32, AutoChip, ChipList}) r[id] = t.at(id).translated(dx, 0);

    QRect log = t.at(Log).translated(0, hexTaller);
    log.setRight(r[AutoProgram].x() - (t.at(AutoProgram).x() - Right(t.at(Log))) - 1);
    log.setBottom(size.height() - (t0.height() - Bottom(t.at(Log))) - 1);
    r[Log] = log;

    QRect progress = t.at(Progress);
    progress.setLeft(Right(r[HexView]) + (t.at(Progress).x() - Right(t.at(HexView))));
    progress.setRight(r[Group].x() - (t.at(Group).x() - Right(t.at(Progress))) - 1);
    progress.setBottom(r[Log].y() - (t.at(Log).y() - Bottom(t.at(Progress))) - 1);
    r[Progress] = progress;
    // Stop sits under the bar, as wide as it, nearest the job buttons.
    r[Stop].setLeft(progress.left());
    r[Stop].setRight(progress.right());
    r[Stop].translate(0, hexTaller);

    return r;
}
