#include "app/station_tile.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace {

constexpr int kStatePointSize = 28;

struct Look {
    QString text;
    const char* colour;  // the state's background
};

Look LookOf(const ProductionLoop::PlaceView& place) {
    using O = SessionResult::Outcome;
    if (place.running) return {"programming", "#f2c94c"};
    if (place.out) return {"OUT", "#9e9e9e"};
    if (!place.ended) return {"waiting", "#dfe6ee"};
    switch (place.outcome) {
        case O::Ok: return {"PASS", "#3cb371"};
        case O::Failed: return {"FAIL", "#e05a4f"};
        case O::Cancelled: return {"cancelled", "#c8c8c8"};
    }
    return {"waiting", "#dfe6ee"};
}

}  // namespace

StationTile::StationTile(QWidget* parent)
    : QFrame(parent),
      place_(new QLabel(this)),
      state_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      detail_(new QLabel(this)),
      serial_(new QLabel(this)),
      counts_(new QLabel(this)) {
    setFrameShape(QFrame::Box);
    setMinimumWidth(220);
    QFont big = state_->font();
    big.setPointSize(kStatePointSize);
    big.setBold(true);
    state_->setFont(big);
    state_->setAlignment(Qt::AlignCenter);
    state_->setMinimumHeight(70);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    detail_->setWordWrap(true);
    QFont serial = serial_->font();
    serial.setPointSize(serial.pointSize() + 4);
    serial_->setFont(serial);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* w : std::initializer_list<QWidget*>{place_, state_, bar_, detail_, serial_, counts_})
        layout->addWidget(w);
    layout->addStretch();
}

void StationTile::Show(const ProductionLoop::PlaceView& place) {
    const Look look = LookOf(place);
    place_->setText(place.label);
    state_->setText(look.text);
    state_->setStyleSheet(QString("background: %1; border-radius: 4px;").arg(look.colour));
    bar_->setVisible(place.running);
    bar_->setValue(int(place.fraction * 1000));
    // A failure says where it stopped and why; a running unit names its step.
    if (place.running) detail_->setText(place.step);
    else if (place.ended && place.outcome == SessionResult::Outcome::Failed) detail_->setText(place.detail);
    else detail_->clear();
    serial_->setText(place.values.join("  "));
    counts_->setText(QString("unit %1   passed %2   failed %3").arg(place.unit).arg(place.passed).arg(place.failed));
}

QString StationTile::stateText() const { return state_->text(); }
QString StationTile::serialText() const { return serial_->text(); }
QString StationTile::countsText() const { return counts_->text(); }
