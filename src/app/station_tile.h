#pragma once

#include <QFrame>

#include "cli/production_loop.h"

class QLabel;
class QProgressBar;

// One place of a production station, readable from across the bench: its
// state in large letters, the bar while it programs, the unit's serial and
// the place's counts.
class StationTile : public QFrame {
    Q_OBJECT
public:
    explicit StationTile(QWidget* parent = nullptr);

    void Show(const ProductionLoop::PlaceView& place);
    QString stateText() const;
    QString serialText() const;
    QString countsText() const;

private:
    QLabel* place_;
    QLabel* state_;
    QProgressBar* bar_;
    QLabel* detail_;
    QLabel* serial_;
    QLabel* counts_;
};
