#include "app/loader_app.h"

#include <QDir>
#include <QIcon>
#include <QLockFile>
#include <QStandardPaths>

#include "app/app_settings.h"
#include "app/main_frame.h"
#include "controls/skin_resources.h"
#include "engine/user_prompts.h"

LoaderApp::LoaderApp(HidBackend& backend, HotplugSource* hotplug, UserPrompts& prompts,
                     Environment environment)
    : backend_(backend),
      hotplug_(hotplug),
      prompts_(prompts),
      environment_(std::move(environment)) {}

LoaderApp::~LoaderApp() {
    // The frame goes before the settings it writes to and the backend under its panel.
    delete frame_.data();
}

CMainFrame* LoaderApp::mainFrame() const {
    return frame_;
}

QString LoaderApp::lockFilePath() const {
    QString directory = environment_.lockDirectory;
    if (directory.isEmpty())
        directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty()) directory = QDir::tempPath();
    return QDir(directory).filePath(AppSettings::ApplicationName() + ".lock");
}

bool LoaderApp::ownsInstanceLock() const {
    return instanceLock_ && instanceLock_->isLocked();
}

bool LoaderApp::InitInstance() {
    if (!CheckSingleInstance()) return false;
    // Nothing here uses sockets, rich-text libraries or component layers:
    // Qt needs no start-up for any of them.
    LoadSkinResources();
    settings_ = environment_.settingsFile.isEmpty()
                    ? std::make_unique<AppSettings>()
                    : std::make_unique<AppSettings>(environment_.settingsFile);
    frame_ = new CMainFrame(backend_, hotplug_, prompts_, *settings_, environment_.timing);
    // A file named on the command line is loaded by main() once the frame stands.
    frame_->SetMenuBarColour(CMainFrame::kMenuBarColour);
    frame_->setWindowIcon(QIcon(":/icons/brellix.png"));
    frame_->show();
    return true;
}

// The lock only says that a copy runs. A copy that goes on after the warning
// does not take it over, so the next copy is warned as long as the first
// runs; a crashed copy's lock is recognised as stale and taken over.
bool LoaderApp::CheckSingleInstance() {
    auto lock = std::make_unique<QLockFile>(lockFilePath());
    // However long the first copy runs, its lock is never stale while it lives.
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        instanceLock_ = std::move(lock);
        return true;
    }
    // A lock that cannot be written at all says nothing about another copy.
    if (lock->error() != QLockFile::LockFailedError) return true;
    return prompts_.AskWarning(kAlreadyRunning, "Warning", UserPrompts::Buttons::OkCancel);
}
