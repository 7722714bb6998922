#include "hexview/hex_view.h"

#include <QPainter>

HexView::HexView(QWidget* parent) : QWidget(parent) {
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void HexView::SetData(const std::uint8_t* data, std::size_t length) {
    data_.assign(data, data + length);
    update();
}

void HexView::SetDisplayWidth(int bits) {
    if (bits != 8 && bits != 16 && bits != 32) return;
    displayWidth_ = bits;
    update();
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.setPen(QColor(128, 128, 128));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
}
