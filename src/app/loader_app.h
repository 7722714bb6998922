#pragma once

#include <QPointer>
#include <QString>
#include <memory>

#include "link/link_timing.h"

class AppSettings;
class CMainFrame;
class HidBackend;
class HotplugSource;
class QLockFile;
class UserPrompts;

// The application object: asks when another copy already runs, opens the
// settings, creates and shows the frame, and destroys the frame if it is
// still there when the program ends. The adapter backend and the prompts
// come from outside and must outlive it.
class LoaderApp {
  public:
    struct Environment {
        QString lockDirectory;  // empty: the user's runtime directory
        QString settingsFile;   // empty: the user's own settings store
        LinkTiming timing;
    };

    static constexpr char kAlreadyRunning[] =
        "Brellix is already running on this machine.\r\n"
        "It is not recommended to run multiple simultaneous instances of Brellix\r\n"
        "Do you want to continue?";

    LoaderApp(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
              Environment environment = {});
    ~LoaderApp();

    // Start-up; false when the program must end at once.
    bool InitInstance();

    CMainFrame* mainFrame() const;
    // The settings store, once InitInstance has opened it.
    AppSettings* settings() const { return settings_.get(); }
    // Whether this copy holds the single-instance lock.
    bool ownsInstanceLock() const;
    QString lockFilePath() const;

  private:
    bool CheckSingleInstance();

    HidBackend& backend_;
    HotplugSource* hotplug_;
    UserPrompts& prompts_;
    Environment environment_;
    std::unique_ptr<QLockFile> instanceLock_;
    std::unique_ptr<AppSettings> settings_;
    QPointer<CMainFrame> frame_;
};
