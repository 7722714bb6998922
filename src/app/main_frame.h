#pragma once

#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <map>
#include <memory>

#include "brellix_version.h"
#include "link/link_timing.h"

class AppSettings;
class ControlPanel;
class FrameStatusBar;
class HidBackend;
class HotplugSource;
class MenuBarDrag;
class QScrollArea;
class RecentFilesMenu;
class TabBar;
class UserPrompts;

// The program's one window: the menu bar, and the tab strip whose first page
// is the main panel. It keeps the two remembered settings in step with the
// menu, and follows the panel's word on which adapter items to offer.
class CMainFrame : public QMainWindow {
    Q_OBJECT
  public:
    // Menu command ids.
    enum Command {
        ID_EDIT_CLEAR_INFO = 32772,
        ID_FILE_OPEN_FILE = 32782,
        ID_CONFIG_READ_WHOLE_CHIP = 32781,
        ID_OPTION_ALWAYS_ON_TOP = 32783,
        ID_CONFIG_DIRECT_ACCESS = 32784,
        ID_CONFIG_JTAG_ACCESS = 32785,
        ID_OPTION_UPDATE_FIRMWARE = 32786,
        ID_CONFIG_RELOAD_LAST_FILE = 32788,
        ID_FILE_QUIT = 57665,
        ID_HELP_KEYS = 57670,
        ID_HELP_ABOUT = 57664,
    };

    static constexpr char kTitle[] = "Brellix(" BRELLIX_VERSION ")";
    static constexpr int kWidth = 840;
    static constexpr int kHeight = 480;
    // Presses on the menu bar right of this x drag the window.
    static constexpr int kCaptionFromX = 200;
    static const QColor kMenuBarColour;

    CMainFrame(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
               AppSettings& settings, const LinkTiming& timing = {}, QWidget* parent = nullptr);
    ~CMainFrame() override;

    ControlPanel* panel() const;
    TabBar* tabBar() const { return tabBar_; }
    QAction* action(int id) const;
    MenuBarDrag* menuBarDrag() const { return drag_; }
    RecentFilesMenu* recentFiles() const { return recent_.get(); }
    FrameStatusBar* statusPane() const { return status_; }

    void SetMenuBarColour(const QColor& colour);
    // What the Help menu's About box says.
    static QString AboutText();
    // Every menu command comes through here.
    void OnCommand(int id);

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void CreateMenus();
    void CreateTabBar(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                      const LinkTiming& timing);
    void CreateStatusPane();
    void CentreOnScreen();
    // What desktop users expect of a window: recent files, dropped files,
    // keys for the buttons, a size that cannot crush the panel, and the
    // focus on Detect to begin with.
    void AddDesktopHabits();
    // The outer size, frame included, and the centre of the screen.
    void PlaceAtStart();
    // The window's least size: what the panel needs, or the screen when that
    // is less (the panel then scrolls).
    void FitMinimumToScreen();
    void ReadSettings();
    // The size and place the window had last; false when none is stored.
    bool RestoreWindowPlace();
    void SaveWindowPlace();
    void OnAdapterMenus(int items, std::int64_t enable);
    // Access mode is offered when the adapter allows it and no job runs.
    void RefreshAccessItems();
    void AddTabKeys();

    void OpenFile();
    // File > Production...: a recipe chosen, its station in a window of its own.
    void OpenProduction();
    void OnStationClosed();
    void SetAccessMode(std::uint8_t mode);
    void SetReloadLastFile(bool on);
    void SetAlwaysOnTop(bool on);
    void UpdateFirmware();

    UserPrompts& prompts_;
    int simulatedAdapters_ = 0;  // the bench a station window runs on when simulated
    int stationsOpen_ = 0;       // station windows opened from here, still open
    AppSettings& settings_;
    QScrollArea* scroller_ = nullptr;
    TabBar* tabBar_ = nullptr;
    QPointer<ControlPanel> panel_;
    MenuBarDrag* drag_ = nullptr;
    FrameStatusBar* status_ = nullptr;
    std::map<int, QAction*> actions_;
    std::unique_ptr<RecentFilesMenu> recent_;
    QSize startClientSize_;
    bool adapterAllowsAccess_ = true;
    bool placed_ = false;
    bool placementSettled_ = false;
};
