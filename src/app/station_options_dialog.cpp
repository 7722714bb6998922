#include "app/station_options_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSysInfo>

namespace {

constexpr int kMostFailures = 999;

}  // namespace

StationOptionsDialog::StationOptionsDialog(const StationSettings& start, QWidget* parent)
    : QDialog(parent),
      operator_(new QLineEdit(start.operatorName, this)),
      station_(new QLineEdit(start.station.isEmpty() ? QSysInfo::machineHostName() : start.station, this)),
      record_(new QLineEdit(start.db, this)),
      next_(new QComboBox(this)),
      stopAfter_(new QSpinBox(this)) {
    setWindowTitle("Production station");
    operator_->setObjectName("Operator");
    station_->setObjectName("Station");
    record_->setObjectName("Record");
    record_->setPlaceholderText("beside the recipe");
    record_->setToolTip("An SQLite file, or postgresql://USER@HOST/DBNAME; empty for a file beside the recipe");
    next_->setObjectName("Next");
    next_->addItems({"adapter re-plug", "Enter key"});
    next_->setCurrentIndex(start.nextOnKey ? 1 : 0);
    stopAfter_->setObjectName("StopAfterFailures");
    stopAfter_->setRange(0, kMostFailures);
    stopAfter_->setSpecialValueText("never");
    stopAfter_->setSuffix(" failures in a row");
    stopAfter_->setValue(start.stopAfterFailures);

    auto* browse = new QPushButton("Browse...", this);
    connect(browse, &QPushButton::clicked, this, &StationOptionsDialog::BrowseRecord);
    auto* recordRow = new QHBoxLayout;
    recordRow->addWidget(record_);
    recordRow->addWidget(browse);

    auto* form = new QFormLayout;
    form->addRow("&Operator:", operator_);
    form->addRow("&Station:", station_);
    form->addRow("&Record:", recordRow);
    form->addRow("&Next unit on:", next_);
    form->addRow("S&top a place after:", stopAfter_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

StationSettings StationOptionsDialog::settings() const {
    StationSettings s;
    s.operatorName = operator_->text().trimmed();
    s.station = station_->text().trimmed();
    s.db = record_->text().trimmed();
    s.nextOnKey = next_->currentIndex() == 1;
    s.stopAfterFailures = stopAfter_->value();
    return s;
}

// A record that does not exist yet is made at the run's start, so the
// dialog asks for a file to save to, not one to open.
void StationOptionsDialog::BrowseRecord() {
    const QString file = QFileDialog::getSaveFileName(this, "Record", record_->text(),
                                                      "SQLite records (*.sqlite)", nullptr,
                                                      QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty()) record_->setText(file);
}
