#pragma once

#include <QDialog>

#include "app/station_settings.h"

class QComboBox;
class QLineEdit;
class QSpinBox;

// File > Production...'s second question, once the recipe is chosen: who
// runs the station, its name, its record, what starts the next unit and
// when a failing place stops.
class StationOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // The fields start with these values; an empty station shows the host name.
    explicit StationOptionsDialog(const StationSettings& start, QWidget* parent = nullptr);

    StationSettings settings() const;

private:
    void BrowseRecord();

    QLineEdit* operator_;
    QLineEdit* station_;
    QLineEdit* record_;
    QComboBox* next_;
    QSpinBox* stopAfter_;
};
