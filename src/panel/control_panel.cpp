#include "panel/control_panel.h"

#include <QAbstractItemView>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextEdit>
#include <QTimer>

#include "controls/icon_button.h"
#include "engine/chip_catalogue.h"
#include "hexview/hex_view.h"
#include "panel/log_menu.h"
#include "panel/panel_colours.h"
#include "panel/panel_layout.h"

namespace {

struct ButtonSpec {
    int id;
    const char* text;
    const char* icon;
};

// Creation order is the tab order: top to bottom.
constexpr ButtonSpec kButtons[] = {
    {PanelLayout::Exit, "Exit", ":/icons/exit.png"},
    {PanelLayout::Detect, "Detect", ":/icons/detect.png"},
    {PanelLayout::Open, "Open", ":/icons/open.png"},
    {PanelLayout::Save, "Save", ":/icons/save.png"},
    {PanelLayout::Erase, "Erase", ":/icons/erase.png"},
    {PanelLayout::Read, "Read", ":/icons/read.png"},
    {PanelLayout::Program, "Program", ":/icons/program.png"},
    {PanelLayout::Verify, "Verify", ":/icons/verify.png"},
    {PanelLayout::AutoProgram, "Auto Program", ":/icons/auto_program.png"},
};

constexpr char kQuitQuestion[] = "A job is running. Quit anyway?";
constexpr char kUnsavedQuestion[] = "There are unsaved edits in the buffers. Save them before quitting?";

// The log control shows line ends the platform's way.
QString ForDisplay(const QString& text) {
    QString shown = text;
    shown.remove(QLatin1Char('\r'));
    return shown;
}

QString Hex6(std::uint32_t value) { return QString("%1").arg(value, 6, 16, QChar('0')).toUpper(); }

}  // namespace

ControlPanel::ControlPanel(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                           QObject* frame, QWidget* parent, const LinkTiming& timing)
    : QWidget(parent),
      prompts_(std::make_unique<WindowPrompts>(prompts)),
      engine_(std::make_unique<JobEngine>(backend, hotplug, *this, *prompts_, timing)) {
    CreateControls();
    hexView_->SetPrompts(prompts_.get());
    CreateButtons();
    ApplyColours();
    SetProgress(0, 0);
    chipList_->setCurrentIndex(ChipCatalogue::kDefaultIndex);
    SetAutoChip(true);
    ConnectControls();
    ConnectImages();
    SetTabOrder();
    CreateCaption();
    resize(PanelLayout::TemplateSize());
    ApplyLayout();
    engine_->link().SetMenuTarget(frame);
    engine_->Initialise();
    EnableHexView(false);
}

ControlPanel::~ControlPanel() {
    // The engine closes the link; it must go before the widgets it reports to.
    engine_.reset();
}

void ControlPanel::CreateControls() {
    const char* radioTexts[] = {"8bit Data", "16bit Data", "32bit Data"};
    auto* widths = new QButtonGroup(this);
    for (int i = 0; i < 3; ++i) {
        radios_[i] = new QRadioButton(radioTexts[i], this);
        widths->addButton(radios_[i], i);
        controls_[PanelLayout::Radio8 + i] = radios_[i];
    }
    radios_[0]->setChecked(true);
    autoChip_ = new QCheckBox("Auto Chip", this);
    chipList_ = new QComboBox(this);
    for (int i = 0; i < ChipCatalogue::kChipCount; ++i)
        chipList_->addItem(QString::fromLatin1(ChipCatalogue::listText(i).data(),
                                               int(ChipCatalogue::listText(i).size())));
    group_ = new QGroupBox(this);
    group_->lower();
    hexView_ = new HexView(this);
    progress_ = new QProgressBar(this);
    progress_->setOrientation(Qt::Vertical);
    progress_->setTextVisible(false);
    log_ = new QTextEdit(this);
    log_->setReadOnly(true);
    log_->setAcceptRichText(false);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setContextMenuPolicy(Qt::CustomContextMenu);
    controls_[PanelLayout::AutoChip] = autoChip_;
    controls_[PanelLayout::ChipList] = chipList_;
    controls_[PanelLayout::Group] = group_;
    controls_[PanelLayout::HexView] = hexView_;
    controls_[PanelLayout::Progress] = progress_;
    controls_[PanelLayout::Log] = log_;
}

void ControlPanel::CreateButtons() {
    for (const ButtonSpec& spec : kButtons) {
        auto* button = new IconButton(spec.text, this);
        button->setObjectName(QString::number(spec.id));
        button->setAutoDefault(false);
        button->SetIcon(spec.icon);
        button->SetColour(IconButton::BackgroundNormal, kPanelColour);
        button->SetFlat(true);
        controls_[spec.id] = button;
        jobButtons_[spec.id] = button;
    }
    // Not a job button: it is usable exactly while a job runs. It sits under
    // the progress bar, which leaves room for its icon only.
    auto* stop = new IconButton(QString(), this);
    stop->setAccessibleName("Stop");
    stop_ = stop;
    stop_->setObjectName(QString::number(PanelLayout::Stop));
    stop->setAutoDefault(false);
    stop->SetIcon(":/icons/stop.png");
    stop->SetColour(IconButton::BackgroundNormal, kPanelColour);
    stop->SetFlat(true);
    stop_->setEnabled(false);
    controls_[PanelLayout::Stop] = stop_;
}

// Down the button column, the boxes beside it, the log, and the hex view last:
// Tab moves the view's caret between its columns and leaves it no more.
void ControlPanel::SetTabOrder() {
    const int order[] = {PanelLayout::Exit,    PanelLayout::Detect,      PanelLayout::Open,   PanelLayout::Save,
                         PanelLayout::Erase,   PanelLayout::Read,        PanelLayout::Program, PanelLayout::Verify,
                         PanelLayout::AutoProgram, PanelLayout::Stop,    PanelLayout::Radio8, PanelLayout::Radio16,
                         PanelLayout::Radio32, PanelLayout::AutoChip,    PanelLayout::ChipList, PanelLayout::Log,
                         PanelLayout::HexView};
    for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(control(order[i - 1]), control(order[i]));
}

void ControlPanel::ApplyColours() {
    setAutoFillBackground(true);
    QPalette panel = palette();
    panel.setColor(QPalette::Window, kPanelColour);
    setPalette(panel);
    for (QWidget* w : {static_cast<QWidget*>(autoChip_), static_cast<QWidget*>(group_),
                       static_cast<QWidget*>(radios_[0]), static_cast<QWidget*>(radios_[1]),
                       static_cast<QWidget*>(radios_[2])}) {
        QPalette p = w->palette();
        p.setColor(QPalette::WindowText, kLabelColour);
        w->setPalette(p);
    }
    QPalette list = chipList_->palette();
    list.setColor(QPalette::Text, kChipEditColour);
    list.setColor(QPalette::ButtonText, kChipEditColour);
    chipList_->setPalette(list);
    QPalette popup = chipList_->view()->palette();
    popup.setColor(QPalette::Base, kPanelColour);
    popup.setColor(QPalette::Text, kLabelColour);
    chipList_->view()->setPalette(popup);

    QPalette logPalette = log_->palette();
    logPalette.setColor(QPalette::Base, kPanelColour);
    logPalette.setColor(QPalette::Text, kLogColour);
    log_->setPalette(logPalette);
    log_->setTextColor(kLogColour);
    progress_->setStyleSheet(
        QString("QProgressBar { background: %1; border: 1px solid #8c8c8c; }"
                "QProgressBar::chunk { background: %2; }")
            .arg(kPanelColour.name(), kProgressColour.name()));
}

void ControlPanel::ConnectControls() {
    connect(jobButtons_[PanelLayout::Detect], &QAbstractButton::clicked, this, [this] { engine_->Detect(); });
    connect(jobButtons_[PanelLayout::AutoProgram], &QAbstractButton::clicked, this,
            [this] { engine_->AutoProgram(); });
    connect(jobButtons_[PanelLayout::Open], &QAbstractButton::clicked, this, [this] { engine_->OpenFile(); });
    connect(jobButtons_[PanelLayout::Erase], &QAbstractButton::clicked, this, [this] { engine_->Erase(); });
    connect(jobButtons_[PanelLayout::Program], &QAbstractButton::clicked, this, [this] { engine_->Program(); });
    connect(jobButtons_[PanelLayout::Verify], &QAbstractButton::clicked, this, [this] { engine_->Verify(); });
    connect(jobButtons_[PanelLayout::Read], &QAbstractButton::clicked, this, [this] { engine_->Read(); });
    connect(jobButtons_[PanelLayout::Save], &QAbstractButton::clicked, this, [this] {
        prompts_->ProposeSaveName(ReadBackSaveName());
        engine_->Save();
    });
    connect(jobButtons_[PanelLayout::Exit], &QAbstractButton::clicked, this, &ControlPanel::Exit);
    connect(stop_, &QAbstractButton::clicked, this, &ControlPanel::Stop);
    connect(engine_.get(), &JobEngine::JobBegun, stop_, [this] { stop_->setEnabled(true); });
    // The next job may have begun before the last one's notice arrives.
    connect(engine_.get(), &JobEngine::JobEnded, stop_, [this] { stop_->setEnabled(engine_->state().busy); });
    connect(autoChip_, &QCheckBox::clicked, this, [this](bool checked) { chipList_->setEnabled(!checked); });
    for (QRadioButton* radio : radios_)
        connect(radio, &QRadioButton::clicked, this, &ControlPanel::OnDataWidth);
    connect(log_, &QWidget::customContextMenuRequested, this, &ControlPanel::OnLogMenu);
}

QWidget* ControlPanel::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

// ---- log ---------------------------------------------------------------

void ControlPanel::AppendLog(const QString& text) {
    shown_ += text;
    committed_ = shown_;
    PushLog();
}

void ControlPanel::ShowTransientLine(const QString& line) {
    const QString shown = committed_ + line;
    // A program job repeats the same percent line for many blocks in a row.
    if (shown == shown_) return;
    shown_ = shown;
    PushLog();
}

void ControlPanel::ClearLog() {
    committed_.clear();
    shown_.clear();
    PushLog();
}

void ControlPanel::PushLog() {
    log_->setPlainText(ForDisplay(shown_));
    // The scroll runs once the text has been laid out.
    QTimer::singleShot(0, log_, [log = log_] {
        log->verticalScrollBar()->setValue(log->verticalScrollBar()->maximum());
    });
}

QMenu* ControlPanel::BuildLogMenu() {
    const LogMenu::Log log{log_, [this] { return shown_; }, [this] { ClearLog(); }};
    return LogMenu::Build(log, *prompts_, this);
}

void ControlPanel::OnLogMenu(const QPoint& pos) {
    QMenu* menu = BuildLogMenu();
    menu->exec(log_->viewport()->mapToGlobal(pos));
    delete menu;
}

// ---- progress and buttons ------------------------------------------------

// The engine ends the job at its next reply and logs that it did.
void ControlPanel::Stop() {
    engine_->Cancel();
}

int ControlPanel::progressPercent() const {
    if (!engine_->state().busy || progressMaximum_ <= 0) return -1;
    return int(std::clamp<std::int64_t>(std::int64_t(progressPosition_) * 100 / progressMaximum_, 0, 100));
}

void ControlPanel::SetProgress(int maximum, int position) {
    // The bar works in 16-bit values; an empty range shows an empty bar.
    const int top = std::uint16_t(maximum);
    const int at = std::int16_t(position);
    progress_->setRange(0, std::max(top, 1));
    progress_->setValue(top == 0 ? 0 : std::clamp(at, 0, top));
    progressMaximum_ = top;
    progressPosition_ = std::clamp(at, 0, top);
}

void ControlPanel::HoldJobButtons(bool hold) {
    buttonsHeld_ = hold;
    if (hold) DisableJobButtons();
    else if (!engine_->state().busy) EnableJobButtons();
}

void ControlPanel::EnableJobButtons() {
    if (buttonsHeld_) return DisableJobButtons();
    for (auto& [id, button] : jobButtons_) button->setEnabled(true);
}

void ControlPanel::DisableJobButtons() {
    for (auto& [id, button] : jobButtons_) button->setEnabled(id == PanelLayout::Exit);
}

// ---- chip list -------------------------------------------------------------

int ControlPanel::SelectedChip() const { return chipList_->currentIndex(); }

void ControlPanel::SelectChip(int index) { chipList_->setCurrentIndex(index); }

bool ControlPanel::AutoChipChecked() const { return autoChip_->isChecked(); }

void ControlPanel::SetAutoChip(bool checked) {
    autoChip_->setChecked(checked);
    chipList_->setEnabled(!checked);
}

// ---- hex view --------------------------------------------------------------

void ControlPanel::ShowData(const std::uint8_t* data, std::size_t length) {
    const ImageBuffer& image = engine_->image();
    viewShows_ = data == image.program() ? Shown::Program : data == image.readBack() ? Shown::ReadBack : Shown::Nothing;
    hexView_->SetData(data, length);
    shownLength_ = length;
    ShowCaption();
}

// A small label in the view's top right corner, in the room the rows leave
// beside their characters; where they leave none, as at the window's first
// size, it would hide bytes, so the view's tooltip says it instead.
void ControlPanel::CreateCaption() {
    caption_ = new QLabel(hexView_);
    caption_->setObjectName("ViewCaption");
    caption_->setAutoFillBackground(true);
    caption_->setContentsMargins(4, 1, 4, 1);
    caption_->hide();
    hexView_->SetEmptyHint(tr("Open an image file (Ctrl+O) or drop one here,\n"
                              "or press F5 to detect the chip."));
    connect(engine_.get(), &JobEngine::FileLoaded, this,
            [this](const QString& path) {
                loadedFile_ = QFileInfo(path).fileName();
                ShowCaption();
            });
}

QString ControlPanel::viewCaption() const {
    if (shownLength_ == 0) return {};
    const std::optional<ReadBackRange>& range = engine_->images().readRange();
    switch (viewShows_) {
        case Shown::Program: return QString("File %1").arg(loadedFile_);
        case Shown::ReadBack:
            return range ? QString("Chip, read %1\u2013%2").arg(Hex6(range->start), Hex6(range->end))
                         : QString("Chip, read");
        case Shown::Nothing: return QString("Firmware image");
    }
    return {};
}

void ControlPanel::ShowCaption() {
    const QString text = viewCaption();
    caption_->setText(text);
    caption_->adjustSize();
    hexView_->setToolTip(text);
    hexView_->setAccessibleDescription(text);
    const HexLayout& rows = hexView_->editor().layout();
    const int charactersEnd = rows.textX() + rows.bytesPerLine() * rows.charWidth();
    const int left = hexView_->clientRect().right() - caption_->width() - 2;
    caption_->move(std::max(0, left), 2);
    caption_->setVisible(!text.isEmpty() && left >= charactersEnd);
}

// The view follows the image it shows, and an edit in it becomes that image;
// while a job runs it only shows.
void ControlPanel::ConnectImages() {
    connect(hexView_, &HexView::Edited, this, &ControlPanel::OnViewEdited);
    connect(engine_.get(), &JobEngine::ImagesChanged, this, [this](ImageChange change) {
        if ((change == ImageChange::Program && viewShows_ == Shown::Program) ||
            (change == ImageChange::ReadBack && viewShows_ == Shown::ReadBack))
            RefreshView();
        ShowCaption();
    });
    connect(engine_.get(), &JobEngine::JobBegun, this, [this] { hexView_->SetReadOnly(true); });
    connect(engine_.get(), &JobEngine::JobEnded, this, [this] { hexView_->SetReadOnly(false); });
}

void ControlPanel::RefreshView() {
    if (editing_ || viewShows_ == Shown::Nothing) return;
    const ImageBuffer& image = engine_->image();
    shownLength_ = viewShows_ == Shown::Program ? (engine_->state().fileLoaded ? image.imageSize() : 0)
                                                : engine_->images().readBackLength();
    hexView_->SetData(viewShows_ == Shown::Program ? image.program() : image.readBack(), shownLength_);
}

void ControlPanel::OnViewEdited() {
    const std::vector<std::uint8_t>& bytes = hexView_->data();
    editing_ = true;
    bool taken = false;
    if (viewShows_ == Shown::Program) taken = engine_->EditProgram(bytes.data(), bytes.size());
    if (viewShows_ == Shown::ReadBack) taken = engine_->EditReadBack(bytes.data(), bytes.size());
    editing_ = false;
    if (!taken) RefreshView();
}

void ControlPanel::EnableHexView(bool enable) { hexView_->setEnabled(enable); }

void ControlPanel::OnDataWidth() {
    static constexpr int kBits[] = {8, 16, 32};
    for (int i = 0; i < 3; ++i)
        if (radios_[i]->isChecked()) hexView_->SetDisplayWidth(kBits[i]);
    hexView_->repaint();
}

QString ControlPanel::ReadBackSaveName() const {
    const std::optional<ReadBackRange>& range = engine_->images().readRange();
    if (!range) return {};
    const int chip = engine_->chipInUse();
    const std::string_view name = ChipCatalogue::listText(chip);
    const QString chipName =
        chip == JobEngine::kNoChipNamed ? QString("chip") : QString::fromLatin1(name.data(), qsizetype(name.size()));
    return QString("%1_%2-%3.hex").arg(chipName, Hex6(range->start), Hex6(range->end));
}

// ---- frame -----------------------------------------------------------------

// A running job, or edits that quitting would throw away, make the user decide.
bool ControlPanel::ConfirmQuit() {
    if (quitConfirmed_) return true;
    if (engine_->state().busy || engine_->loadRunning()) {
        quitConfirmed_ = prompts_->AskWarning(kQuitQuestion, "Warning", UserPrompts::Buttons::YesNo);
        return quitConfirmed_;
    }
    const ImageKeeper& images = engine_->images();
    if (!images.programModified() && !images.readBackModified()) return true;
    switch (prompts_->AskSaveDiscard(kUnsavedQuestion, "Warning")) {
        case UserPrompts::Keep::Cancel:
            return false;
        case UserPrompts::Keep::Save:
            if (!SaveEdits()) return false;
            break;
        case UserPrompts::Keep::Discard:
            break;
    }
    quitConfirmed_ = true;
    return true;
}

// Each buffer with edits through its own save; true once none is left.
bool ControlPanel::SaveEdits() {
    const ImageKeeper& images = engine_->images();
    if (images.programModified()) {
        prompts_->ProposeSaveName(QFileInfo(engine_->image().loadedFilePath).fileName());
        engine_->SaveProgram();
    }
    if (images.readBackModified()) {
        prompts_->ProposeSaveName(ReadBackSaveName());
        engine_->Save();
    }
    return !images.programModified() && !images.readBackModified();
}

// Quitting closes the frame as well, which must not ask a second time.
void ControlPanel::Exit() {
    if (!ConfirmQuit()) return;
    engine_->CloseWorkerSlot();
    QCoreApplication::quit();
}

void ControlPanel::resizeEvent(QResizeEvent*) { ApplyLayout(); }

// Focus given to the panel (by the tab strip, say) goes to Detect, never to the
// panel itself. Not a focus proxy: Tab would then take every pass through the
// panel's place in the chain to Detect, skipping the controls after it.
void ControlPanel::focusInEvent(QFocusEvent* event) {
    jobButtons_[PanelLayout::Detect]->setFocus(event->reason());
}

void ControlPanel::ApplyLayout() {
    for (const auto& [id, rect] : PanelLayout::Arrange(size()))
        if (QWidget* w = control(id)) w->setGeometry(rect);
    if (caption_) ShowCaption();
}

// The panel never closes itself: Enter and Escape do nothing here.
void ControlPanel::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}
