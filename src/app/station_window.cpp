#include "app/station_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QGridLayout>
#include <QLabel>
#include <QSysInfo>
#include <csignal>

#include "app/station_tile.h"
#include "cli/cli_runner.h"
#include "cli/production_loop.h"
#include "image/checksum.h"
#include "production/recipe.h"

namespace {

constexpr int kRefreshMs = 100;
constexpr int kColumns = 4;

}  // namespace

CliOptions StationWindow::OptionsFor(const QString& recipePath, int simulatedAdapters,
                                     const StationSettings& settings) {
    CliOptions options;
    settings.ApplyTo(options);
    options.command = "production";
    options.recipe = recipePath;
    options.all = true;
    options.simulate = simulatedAdapters;
    // The window shows the units; the terminal gets only the complaints.
    options.quiet = true;
    // Enter comes from this window, not from the terminal that started it.
    options.keysFromInput = false;
    return options;
}

StationWindow::StationWindow(const CliOptions& options, QWidget* parent)
    : QWidget(parent),
      runner_(std::make_unique<CliRunner>(options)),
      header_(new QLabel(this)),
      options_(new QLabel(this)),
      totals_(new QLabel(this)),
      message_(new QLabel(this)),
      grid_(new QGridLayout) {
    setWindowTitle("Brellix production");
    setFocusPolicy(Qt::StrongFocus);
    QFont big = totals_->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    totals_->setFont(big);
    message_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(header_);
    layout->addWidget(options_);
    layout->addWidget(totals_);
    layout->addWidget(message_);
    layout->addLayout(grid_);
    layout->addStretch();
    // The run's complaints name the command line; here the window is the program.
    runner_->console().TapErrors([this](const QString& line) {
        static const QString kProgram = "brellix-cli: ";
        message_->setText(line.startsWith(kProgram) ? line.mid(kProgram.size()) : line);
    });
    connect(runner_.get(), &CliRunner::Done, this, &StationWindow::OnDone);
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &StationWindow::Refresh);
}

StationWindow::~StationWindow() = default;

void StationWindow::Start() {
    setFocus();  // Enter, with the next unit on it, is the window's
    refresh_.start();
    runner_->Start();
    if (ProductionLoop* loop = runner_->production())
        connect(loop, &ProductionLoop::PlacesChanged, this, &StationWindow::Refresh);
    Refresh();
}

void StationWindow::Refresh() {
    const CliOptions& o = runner_->options();
    if (const Recipe* recipe = runner_->recipe()) {
        header_->setText(QString("%1 %2   image CRC-32 %3   operator %4   station %5")
                             .arg(recipe->name, recipe->version, Crc32Text(runner_->imageCrc()),
                                  o.operatorName.isEmpty() ? "-" : o.operatorName,
                                  o.station.isEmpty() ? QSysInfo::machineHostName() : o.station));
    }
    options_->setText(StationSettings::Describe(o));
    const ProductionLoop* loop = runner_->production();
    if (!loop) return;
    const ProductionLoop::Totals t = loop->totals();
    const int ended = t.passed + t.failed;
    totals_->setText(QString("passed %1   failed %2   cancelled %3   yield %4")
                         .arg(t.passed)
                         .arg(t.failed)
                         .arg(t.cancelled)
                         .arg(ended > 0 ? QString::asprintf("%.1f%%", 100.0 * t.passed / ended) : QString("-")));
    const std::vector<ProductionLoop::PlaceView> places = loop->Places();
    while (tiles_.size() < qsizetype(places.size())) {
        auto* tile = new StationTile(this);
        grid_->addWidget(tile, int(tiles_.size()) / kColumns, int(tiles_.size()) % kColumns);
        tiles_ << tile;
    }
    for (std::size_t i = 0; i < places.size(); ++i) tiles_[qsizetype(i)]->Show(places[i]);
}

QString StationWindow::headerText() const { return header_->text(); }
QString StationWindow::optionsText() const { return options_->text(); }
QString StationWindow::totalsText() const { return totals_->text(); }
QString StationWindow::messageText() const { return message_->text(); }

void StationWindow::OnDone(int code) {
    ended_ = true;
    refresh_.stop();
    Refresh();
    emit Ended(code);
    if (closing_) close();
}

// Closing mid-run ends each unit at its next block, as Ctrl+C does on the
// command line, so that every unit started gets its row; the window goes
// once the run is over.
void StationWindow::closeEvent(QCloseEvent* event) {
    if (ended_ || !runner_->production()) return event->accept();
    closing_ = true;
    runner_->Interrupt(SIGINT);
    event->ignore();
}

void StationWindow::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    ProductionLoop* loop = runner_->production();
    if (!enter || !runner_->options().nextOnKey || !loop || ended_) return QWidget::keyPressEvent(event);
    loop->NextUnit();
    event->accept();
}
