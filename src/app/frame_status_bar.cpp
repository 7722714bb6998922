#include "app/frame_status_bar.h"

#include <QFileInfo>
#include <QLabel>

#include "engine/chip_catalogue.h"
#include "engine/job_engine.h"
#include "engine/job_meter.h"
#include "image/checksum.h"
#include "link/adapter_listing.h"

FrameStatusBar::FrameStatusBar(JobEngine& engine, QWidget* parent) : QStatusBar(parent), engine_(engine) {
    setSizeGripEnabled(false);
    for (int i = 0; i < FieldCount; ++i) {
        fields_[i] = new QLabel(this);
        fields_[i]->setTextFormat(Qt::PlainText);
        fields_[i]->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
        fields_[i]->setContentsMargins(4, 0, 4, 0);
        addPermanentWidget(fields_[i], i == Adapter ? 1 : 0);
    }
    selection_ = new QLabel(this);
    selection_->setTextFormat(Qt::PlainText);
    selection_->setContentsMargins(4, 0, 4, 0);
    selection_->hide();
    addWidget(selection_);
    // The adapter's diagnosis may be long: it takes what room the others
    // leave and never widens the window (its tooltip holds all of it).
    fields_[Adapter]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    jobClock_.setInterval(kJobRefreshMs);
    connect(&jobClock_, &QTimer::timeout, this, &FrameStatusBar::RefreshJob);
    connect(&engine_.link(), &AdapterLink::StateChanged, this, &FrameStatusBar::RefreshAdapter);
    connect(&engine_, &JobEngine::ImagesChanged, this, &FrameStatusBar::RefreshFile);
    connect(&engine_, &JobEngine::JobBegun, this, &FrameStatusBar::OnJobBegun);
    connect(&engine_, &JobEngine::JobEnded, this, &FrameStatusBar::OnJobEnded);
    connect(&engine_, &JobEngine::ChipInUseChanged, this, &FrameStatusBar::RefreshChip);
    RefreshAdapter();
    RefreshChip();
    RefreshFile();
    RefreshJob();
}

QString FrameStatusBar::text(Field field) const {
    return fields_[field]->text();
}

QString FrameStatusBar::toolTip(Field field) const {
    return fields_[field]->toolTip();
}

// Between an arrival and the moment the link opens there is no path yet.
void FrameStatusBar::RefreshAdapter() {
    const AdapterLink& link = engine_.link();
    QString text = "no adapter";
    QString tip;
    if (link.released()) {
        text = "a production station is running";
    } else if (link.isOpen()) {
        text = "attached: " + QString::fromStdString(link.openPath());
    } else if (link.ownerPid() != 0) {
        text = QString::fromStdString(link.accessProblem()).trimmed();
    } else if (!link.accessProblem().empty()) {
        text = "no permission: " + QString::fromStdString(AccessAdvice());
        tip = QString::fromStdString(link.accessProblem()).trimmed();
    } else if (link.attached()) {
        text = "attached";
    }
    fields_[Adapter]->setText(text);
    fields_[Adapter]->setToolTip(tip.isEmpty() ? text : tip);
}

void FrameStatusBar::RefreshChip() {
    const int chip = engine_.chipInUse();
    const std::string_view name = ChipCatalogue::listText(chip);
    fields_[Chip]->setText(chip == JobEngine::kNoChipNamed
                               ? QString("chip: not detected")
                               : "chip: " + QString::fromLatin1(name.data(), qsizetype(name.size())));
}

void FrameStatusBar::RefreshFile() {
    if (!engine_.state().fileLoaded) {
        fields_[File]->setText("no file");
        fields_[File]->setToolTip({});
        return;
    }
    const ImageBuffer& image = engine_.image();
    QString name = QFileInfo(image.loadedFilePath).fileName();
    if (name.isEmpty()) name = "untitled";
    // A long name would push the checksum out of sight; the tooltip has the path.
    if (name.size() > kNameShown)
        name = name.left(kNameShown / 2) + "..." + name.right(kNameShown / 2 - 3);
    QString text = QString("%1, %2 bytes, CRC-32 %3")
                       .arg(name)
                       .arg(image.imageSize())
                       .arg(Crc32Text(engine_.images().programCrc()));
    if (engine_.images().programModified()) text += " (modified)";
    fields_[File]->setText(text);
    fields_[File]->setToolTip(image.loadedFilePath);
}

void FrameStatusBar::RefreshJob() {
    const JobKind job = engine_.runningJob();
    fields_[Job]->setVisible(job != JobKind::None);
    if (job == JobKind::None) {
        fields_[Job]->clear();
        return;
    }
    const std::int64_t ms = engine_.jobElapsedMs();
    QString text =
        QString("%1: %2").arg(JobName(job), JobMeter::Seconds(ms));
    if (const QString rate = JobMeter::Rate(ms, engine_.jobBytesDone()); !rate.isEmpty())
        text += ", " + rate;
    // The time left assumes the rest goes as fast as what is done.
    if (const int percent = percent_ ? percent_() : -1; percent >= 0) {
        text += QString(", %1%").arg(percent);
        if (percent > 0 && percent < 100)
            text += ", " + JobMeter::Seconds(ms * (100 - percent) / percent) + " left";
    }
    fields_[Job]->setText(text);
}

void FrameStatusBar::OnJobBegun() {
    jobClock_.start();
    RefreshJob();
}

// A job may have changed what is loaded (a firmware update leaves no file).
// The next job may already have begun by the time the notice arrives.
void FrameStatusBar::OnJobEnded() {
    if (engine_.runningJob() == JobKind::None) jobClock_.stop();
    RefreshJob();
    RefreshFile();
}

void FrameStatusBar::ShowSelection(int length, quint32 crc) {
    selection_->setText(length > 0 ? QString("Selected %1 bytes, CRC-32 %2").arg(length).arg(Crc32Text(crc)) : QString());
    selection_->setVisible(length > 0);
}

QString FrameStatusBar::selectionText() const { return selection_->text(); }
