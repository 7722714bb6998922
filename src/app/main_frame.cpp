#include "app/main_frame.h"

#include "app/station_options_dialog.h"
#include "app/station_window.h"
#include "sim/simulated_backend.h"

#include <hidapi.h>

#include <QAbstractButton>
#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <algorithm>

#include "app/app_settings.h"
#include "app/image_file_drop.h"
#include "app/frame_status_bar.h"
#include "app/menu_bar_drag.h"
#include "app/recent_files_menu.h"
#include "app/window_keys_first.h"
#include "app/window_shortcuts.h"
#include "controls/tab_bar.h"
#include "hexview/hex_view.h"
#include "link/window_messages.h"
#include "panel/buffer_page.h"
#include "panel/control_panel.h"
#include "panel/panel_layout.h"

const QColor CMainFrame::kMenuBarColour(203, 228, 253);

namespace {

enum class Kind { Command, Check, Radio, Separator };

struct MenuItem {
    int popup;
    const char* text;
    int id;
    Kind kind;
};

const char* const kPopups[] = {"&File", "&Edit", "&Configuration", "&Option", "&Job", "&Help"};
constexpr int kFilePopup = 0;
constexpr int kJobPopup = 4;

constexpr MenuItem kMenu[] = {
    {0, "&Open File", CMainFrame::ID_FILE_OPEN_FILE, Kind::Command},
    {1, "&Clear Info", CMainFrame::ID_EDIT_CLEAR_INFO, Kind::Command},
    {2, "&Always Read Whole chip", CMainFrame::ID_CONFIG_READ_WHOLE_CHIP, Kind::Check},
    {2, nullptr, 0, Kind::Separator},
    {2, "Direct Access", CMainFrame::ID_CONFIG_DIRECT_ACCESS, Kind::Radio},
    {2, "JTAG Access", CMainFrame::ID_CONFIG_JTAG_ACCESS, Kind::Radio},
    {2, nullptr, 0, Kind::Separator},
    {2, "Auto Reload Last File", CMainFrame::ID_CONFIG_RELOAD_LAST_FILE, Kind::Check},
    {3, "&Alway on Top", CMainFrame::ID_OPTION_ALWAYS_ON_TOP, Kind::Check},
    {3, "Update Firmware", CMainFrame::ID_OPTION_UPDATE_FIRMWARE, Kind::Command},
    {5, "&Keys", CMainFrame::ID_HELP_KEYS, Kind::Command},
    {5, "&About Brellix", CMainFrame::ID_HELP_ABOUT, Kind::Command},
};

constexpr char kFirmwareWarning[] =
    "You are attemp to update the firmware,\r\nIf failed it may damage you programmer,\r\n"
    "Are you want to continue?";

struct TabSpec {
    const char* strip;
    QRect hit;
    const char* toolTip;
};

// Hit rectangles from their corners, right and bottom excluded.
const TabSpec kTabs[] = {
    {":/skin/tab_status.png", QRect(QPoint(0, 0), QPoint(31, 41)), "Status"},
    {":/skin/tab_read_buffer.png", QRect(QPoint(0, 52), QPoint(31, 95)), "ReadBuffer"},
    {":/skin/tab_write_buffer.png", QRect(QPoint(0, 104), QPoint(31, 149)), "WriteBuffer"},
};

}  // namespace

CMainFrame::CMainFrame(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                       AppSettings& settings, const LinkTiming& timing, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), settings_(settings) {
    setWindowTitle(kTitle);
    resize(kWidth, kHeight);
    // Closing the window ends the program: the frame goes at once, taking
    // the tab strip and then the panel with it.
    setAttribute(Qt::WA_DeleteOnClose);
    CreateMenus();
    CreateTabBar(backend, hotplug, prompts, timing);
    if (const auto* simulated = dynamic_cast<const SimulatedBackend*>(&backend))
        simulatedAdapters_ = simulated->adapterCount();
    CreateStatusPane();
    CentreOnScreen();
    ReadSettings();
    AddDesktopHabits();
    // Exit on the panel ends the program without closing the window first.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &CMainFrame::SaveWindowPlace);
}

CMainFrame::~CMainFrame() {
    // The tab strip releases its skin first; the panel, its child, follows
    // and closes the adapter link.
    delete tabBar_;
}

ControlPanel* CMainFrame::panel() const {
    return panel_;
}

QAction* CMainFrame::action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void CMainFrame::CreateMenus() {
    QMenu* popups[std::size(kPopups)];
    for (std::size_t i = 0; i < std::size(kPopups); ++i) popups[i] = menuBar()->addMenu(kPopups[i]);
    auto* accessModes = new QActionGroup(this);
    for (const MenuItem& item : kMenu) {
        QMenu* menu = popups[item.popup];
        if (item.kind == Kind::Separator) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(item.text);
        action->setObjectName(QString::number(item.id));
        action->setCheckable(item.kind != Kind::Command);
        if (item.kind == Kind::Radio) accessModes->addAction(action);
        const int id = item.id;
        connect(action, &QAction::triggered, this, [this, id] { OnCommand(id); });
        actions_[id] = action;
    }
    drag_ = new MenuBarDrag(menuBar(), this, kCaptionFromX);
}

void CMainFrame::CreateTabBar(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                              const LinkTiming& timing) {
    // On a screen too small for the panel (a high scale on a small screen)
    // the window still fits, and the panel scrolls instead of being cut off.
    scroller_ = new QScrollArea(this);
    scroller_->setObjectName("PanelScroller");
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidgetResizable(true);
    setCentralWidget(scroller_);
    tabBar_ = new TabBar(scroller_);
    scroller_->setWidget(tabBar_);
    tabBar_->SetBackground(":/skin/background.png");
    tabBar_->SetLeftEdge(":/skin/left_edge.png");
    tabBar_->SetRightEdge(":/skin/right_edge.png");
    tabBar_->SetTopEdge(":/skin/top_edge.png");
    tabBar_->SetBottomEdge(":/skin/bottom_edge.png");
    tabBar_->SetTabCount(int(std::size(kTabs)));
    // The panel reports its adapter menu state to this frame from its first
    // moment, so it learns the frame before it opens the adapter.
    panel_ = new ControlPanel(backend, hotplug, prompts, this, tabBar_, timing);
    WindowPrompts& asks = panel_->prompts();
    QWidget* pages[] = {panel_.data(), new BufferPage(BufferPage::Kind::ReadBuffer, panel_->engine(), asks, tabBar_),
                        new BufferPage(BufferPage::Kind::WriteBuffer, panel_->engine(), asks, tabBar_)};
    for (int i = 0; i < int(std::size(kTabs)); ++i)
        tabBar_->SetTab(i, kTabs[i].strip, kTabs[i].hit, kTabs[i].toolTip, pages[i]);
}

void CMainFrame::CreateStatusPane() {
    status_ = new FrameStatusBar(panel_->engine(), this);
    status_->SetProgressSource([panel = panel_] { return panel ? panel->progressPercent() : -1; });
    setStatusBar(status_);
    for (HexView* view : findChildren<HexView*>())
        connect(view, &HexView::SelectionChanged, status_, &FrameStatusBar::ShowSelection);
}

// A window's position is that of its frame, decorations included. On a
// screen smaller than the window the caption stays on the screen.
void CMainFrame::CentreOnScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect available = screen->availableGeometry();
    QRect frame = frameGeometry();
    frame.moveCenter(available.center());
    move(std::max(frame.left(), available.left()), std::max(frame.top(), available.top()));
}

// Qt brings a place that lies off every screen back onto the nearest one.
bool CMainFrame::RestoreWindowPlace() {
    const QByteArray stored = settings_.GetProfileBytes(AppSettings::kWindowGeometry);
    return !stored.isEmpty() && restoreGeometry(stored);
}

void CMainFrame::SaveWindowPlace() {
    if (placed_) settings_.WriteProfileBytes(AppSettings::kWindowGeometry, saveGeometry());
}

void CMainFrame::FitMinimumToScreen() {
    const QScreen* screen = this->screen();
    if (!screen) return;
    const QSize chrome = frameGeometry().size() - scroller_->size();
    scroller_->setMinimumSize(tabBar_->minimumSize().boundedTo(screen->availableGeometry().size() - chrome));
}

void CMainFrame::PlaceAtStart() {
    FitMinimumToScreen();
    if (RestoreWindowPlace()) {
        startClientSize_ = size();
        return;
    }
    const QSize decorations = frameGeometry().size() - geometry().size();
    resize(QSize(kWidth, kHeight) - decorations);
    startClientSize_ = size();
    CentreOnScreen();
}

void CMainFrame::AddDesktopHabits() {
    QMenu* file = menuBar()->actions().at(kFilePopup)->menu();
    QMenu* recent = file->addMenu("Recent &Files");
    recent->menuAction()->setObjectName("RecentFiles");
    JobEngine& engine = panel_->engine();
    const auto open = [&engine](const QString& path) { engine.OpenPath(path); };
    recent_ = std::make_unique<RecentFilesMenu>(recent, settings_, open);
    connect(&engine, &JobEngine::FileLoaded, this,
            [this](const QString& path) { recent_->Add(path); });
    new ImageFileDrop(this, open);
    file->addSeparator();
    QAction* production = file->addAction("&Production...");
    production->setObjectName("Production");
    connect(production, &QAction::triggered, this, &CMainFrame::OpenProduction);
    file->addSeparator();
    QAction* quit = file->addAction("&Quit");
    quit->setObjectName(QString::number(ID_FILE_QUIT));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quit, &QAction::triggered, this, [this] { OnCommand(ID_FILE_QUIT); });
    actions_[ID_FILE_QUIT] = quit;
    WindowShortcuts::Install(*this, *menuBar()->actions().at(kJobPopup)->menu(), *panel_,
                             action(ID_FILE_OPEN_FILE));
    AddTabKeys();
    auto* keysFirst = new WindowKeysFirst([&engine] { return engine.state().busy; }, this);
    for (HexView* view : findChildren<HexView*>()) keysFirst->Watch(view);
    panel_->prompts().SetWholeChip([this] { return action(ID_CONFIG_READ_WHOLE_CHIP)->isChecked(); });
    connect(&engine, &JobEngine::JobBegun, this, &CMainFrame::RefreshAccessItems);
    connect(&engine, &JobEngine::JobEnded, this, &CMainFrame::RefreshAccessItems);
    // The window cannot shrink the panel below what its layout needs; the
    // tab strip's skin and the menu bar come on top of that.
    panel_->setMinimumSize(PanelLayout::MinimumSize());
    tabBar_->setMinimumSize(PanelLayout::MinimumSize() + tabBar_->size() -
                            tabBar_->PageArea().size());
    scroller_->setMinimumSize(tabBar_->minimumSize());
    // Given before the window shows, the focus goes to Detect once it is active.
    panel_->control(PanelLayout::Detect)->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::ReadSettings() {
    JobEngine& engine = panel_->engine();
    const int stored = settings_.GetProfileInt(AppSettings::kAccessMode, engine.state().accessMode);
    const auto mode = std::uint8_t(stored & 0xFF);
    engine.SetAccessMode(mode);
    action(mode != 0 ? ID_CONFIG_JTAG_ACCESS : ID_CONFIG_DIRECT_ACCESS)->setChecked(true);
    const int reload =
        settings_.GetProfileInt(AppSettings::kReloadFile, engine.state().reloadLastFile);
    engine.SetReloadLastFile(reload != 0);
    action(ID_CONFIG_RELOAD_LAST_FILE)->setChecked(reload != 0);
}

void CMainFrame::SetMenuBarColour(const QColor& colour) {
    QPalette bar = menuBar()->palette();
    bar.setColor(QPalette::Window, colour);
    bar.setColor(QPalette::Button, colour);
    menuBar()->setPalette(bar);
    menuBar()->setAutoFillBackground(true);
    menuBar()->update();
}

// ---- messages ------------------------------------------------------------------

bool CMainFrame::event(QEvent* event) {
    // Some window managers add their frame only once the window is up: the
    // first activation corrects the size, unless the user has changed it.
    if (event->type() == QEvent::WindowActivate && placed_ && !placementSettled_) {
        placementSettled_ = true;
        if (size() == startClientSize_ && frameGeometry().size() != QSize(kWidth, kHeight))
            PlaceAtStart();
    }
    if (event->type() == WM_ADAPTER_MENUS) {
        auto* message = static_cast<WindowMessage*>(event);
        OnAdapterMenus(message->wParam, message->lParam);
        return true;
    }
    return QMainWindow::event(event);
}

// The only way the adapter-dependent items change their state.
void CMainFrame::OnAdapterMenus(int items, std::int64_t enable) {
    if (enable != 0 && enable != 1) return;
    switch (items) {
        case MENUS_ACCESS_MODE:
            adapterAllowsAccess_ = enable == 1;
            RefreshAccessItems();
            break;
        case MENUS_UPDATE_FIRMWARE:
            action(ID_OPTION_UPDATE_FIRMWARE)->setEnabled(enable == 1);
            break;
        default:
            break;
    }
}

// A read under way consults the access mode at every block.
void CMainFrame::RefreshAccessItems() {
    const bool offered = adapterAllowsAccess_ && !panel_->engine().state().busy;
    action(ID_CONFIG_DIRECT_ACCESS)->setEnabled(offered);
    action(ID_CONFIG_JTAG_ACCESS)->setEnabled(offered);
}

// Ctrl+1..3 go to a tab, Ctrl+Tab and Ctrl+Shift+Tab to the next and the
// previous one, round the strip.
void CMainFrame::AddTabKeys() {
    const auto add = [this](const QKeySequence& keys, auto choose) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, tabBar_, [bar = tabBar_, choose] { bar->Select(choose(bar)); });
    };
    for (int i = 0; i < tabBar_->tabCount(); ++i)
        add(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + i)), [i](TabBar*) { return i; });
    add(QKeySequence(Qt::CTRL | Qt::Key_Tab),
        [](TabBar* bar) { return (bar->selected() + 1) % bar->tabCount(); });
    // Shift+Tab arrives as Backtab on some platforms and as Tab on others.
    for (Qt::Key key : {Qt::Key_Backtab, Qt::Key_Tab})
        add(QKeySequence(Qt::CTRL | Qt::SHIFT | key),
            [](TabBar* bar) { return (bar->selected() + bar->tabCount() - 1) % bar->tabCount(); });
}

// Closing during a job would leave the chip half done: the user decides, and
// No leaves the window and the job as they are.
void CMainFrame::closeEvent(QCloseEvent* event) {
    if (panel_ && !panel_->ConfirmQuit()) {
        event->ignore();
        return;
    }
    SaveWindowPlace();
    QMainWindow::closeEvent(event);
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (placed_) return;
    placed_ = true;
    PlaceAtStart();
}

void CMainFrame::focusInEvent(QFocusEvent* event) {
    QMainWindow::focusInEvent(event);
    tabBar_->setFocus(Qt::OtherFocusReason);
}

// ---- commands ------------------------------------------------------------------

// Check and radio marks have already moved when a command arrives here.
void CMainFrame::OnCommand(int id) {
    // clang-format off
    switch (id) {
        case ID_FILE_OPEN_FILE: OpenFile(); break;
        case ID_EDIT_CLEAR_INFO: panel_->ClearLog(); break;
        case ID_CONFIG_READ_WHOLE_CHIP: break;  // only its mark, which the read options consult
        case ID_CONFIG_DIRECT_ACCESS: SetAccessMode(0); break;
        case ID_CONFIG_JTAG_ACCESS: SetAccessMode(1); break;
        case ID_CONFIG_RELOAD_LAST_FILE: SetReloadLastFile(action(id)->isChecked()); break;
        case ID_OPTION_ALWAYS_ON_TOP: SetAlwaysOnTop(action(id)->isChecked()); break;
        case ID_OPTION_UPDATE_FIRMWARE: UpdateFirmware(); break;
        case ID_FILE_QUIT: static_cast<QAbstractButton*>(panel_->control(PanelLayout::Exit))->click(); break;
        case ID_HELP_KEYS: prompts_.ShowInformation("Keys", WindowShortcuts::KeyTableText()); break;
        case ID_HELP_ABOUT: prompts_.ShowInformation("About Brellix", AboutText()); break;
        default: break;
    }
    // clang-format on
}

// The station drives the adapters itself: the panel lets go of its own
// (one owner per adapter) until the last station window has closed, and
// its job buttons rest meanwhile. A job under way keeps its adapter.
void CMainFrame::OpenProduction() {
    if (panel_->engine().state().busy || panel_->engine().loadRunning()) {
        panel_->AppendLog("Progrmming is busy!\r\n");
        return;
    }
    const std::optional<UserPrompts::FileAnswer> answer =
        prompts_.AskOpenFile({"Recipes (*.json)|*.json|All Files (*.*)|*.*||", "json", {}});
    if (!answer) return;
    StationOptionsDialog dialog(StationSettings::Load(settings_), this);
    if (dialog.exec() != QDialog::Accepted) return;
    const StationSettings chosen = dialog.settings();
    chosen.Save(settings_);
    auto* station = new StationWindow(StationWindow::OptionsFor(answer->path, simulatedAdapters_, chosen));
    station->setAttribute(Qt::WA_DeleteOnClose);
    if (stationsOpen_++ == 0) {
        panel_->engine().link().Release();
        panel_->HoldJobButtons(true);
    }
    connect(station, &QObject::destroyed, this, &CMainFrame::OnStationClosed);
    station->show();
    station->Start();
}

void CMainFrame::OnStationClosed() {
    if (--stationsOpen_ > 0 || !panel_) return;
    panel_->engine().link().Retake();
    panel_->HoldJobButtons(false);
}

void CMainFrame::OpenFile() {
    panel_->engine().OpenFile();
}

void CMainFrame::SetAccessMode(std::uint8_t mode) {
    panel_->engine().SetAccessMode(mode);
    settings_.WriteProfileInt(AppSettings::kAccessMode, mode);
    action(mode != 0 ? ID_CONFIG_JTAG_ACCESS : ID_CONFIG_DIRECT_ACCESS)->setChecked(true);
}

void CMainFrame::SetReloadLastFile(bool on) {
    panel_->engine().SetReloadLastFile(on);
    settings_.WriteProfileInt(AppSettings::kReloadFile, on ? 1 : 0);
}

void CMainFrame::SetAlwaysOnTop(bool on) {
    // Changing a window flag makes Qt hide the window; it comes back where
    // it was, at the size it had.
    const QRect where = geometry();
    const Qt::WindowStates state = windowState();
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    setGeometry(where);
    setWindowState(state);
    if (shown) show();
}

QString CMainFrame::AboutText() {
    return QString("Brellix %1\nQt %2\nhidapi %3\nudev rule: %4")
        .arg(BRELLIX_VERSION, qVersion(), HID_API_VERSION_STR, BRELLIX_UDEV_RULE);
}

void CMainFrame::UpdateFirmware() {
    if (prompts_.AskWarning(kFirmwareWarning, "Warning", UserPrompts::Buttons::YesNo))
        panel_->engine().StartFirmwareUpdate();
}
