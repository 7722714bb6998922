#include "link/adapter_link.h"

#include <QCoreApplication>

#include "link/adapter_listing.h"
#include "link/adapter_report.h"
#include "link/window_messages.h"

AdapterLink::AdapterLink(HidBackend& backend, HotplugSource* hotplug, QObject* replyTarget,
                         const LinkTiming& timing)
    : backend_(backend), hotplug_(hotplug), transport_(replyTarget, timing) {
    reopenTimer_.setSingleShot(true);
    reopenTimer_.setInterval(timing.reopenDelayMs);
    connect(&reopenTimer_, &QTimer::timeout, this, &AdapterLink::OnReopenTimer);
    ownerTimer_.setSingleShot(true);
    ownerTimer_.setInterval(timing.ownerRetryMs);
    connect(&ownerTimer_, &QTimer::timeout, this, &AdapterLink::OnOwnerTimer);
}

AdapterLink::~AdapterLink() { CloseAdapter(); }

void AdapterLink::Initialise() {
    if (OpenAdapter() == 0) {
        PostMenus(MENUS_UPDATE_FIRMWARE, 1);
        PostMenus(MENUS_ACCESS_MODE, 1);
        attached_ = true;
    } else {
        PostMenus(MENUS_UPDATE_FIRMWARE, 0);
        PostMenus(MENUS_ACCESS_MODE, 0);
        attached_ = false;
    }
    if (hotplug_) hotplug_->SetListener([this](const HotplugEvent& e) { OnDeviceChange(e); });
}

int AdapterLink::OpenAdapter() { return Open(true); }

// The first adapter in the platform's order that no other program has wins;
// a second one is never opened. Its lock is taken before the node is opened,
// so an adapter that is another program's is never touched.
int AdapterLink::Open(bool sayAgain) {
    bool refused = false;
    std::string busyPath;
    int busyPid = 0;
    for (const HidDeviceInfo& device : backend_.Enumerate()) {
        if (device.vendorId != kAdapterVendorId || device.productId != kAdapterProductId) continue;
        if (!adapterPath_.empty() && device.path != adapterPath_) continue;
        AdapterLocks::Claim claim;
        if (const AdapterLocks* locks = backend_.locks()) claim = locks->Take(device.path, device.serial);
        if (claim.ownerPid != 0) {
            if (busyPath.empty()) busyPath = device.path, busyPid = claim.ownerPid;
            continue;
        }
        std::shared_ptr<HidHandle> writeHandle = backend_.Open(device.path);
        if (!writeHandle) {  // a path that cannot be opened is skipped, and its lock let go
            refused = true;
            continue;
        }
        // The second open has no check of its own: a missing read handle shows
        // up as the read-handle error of the first request.
        std::shared_ptr<HidHandle> readHandle = backend_.Open(device.path);
        transport_.Connect(std::move(writeHandle), std::move(readHandle));
        lock_ = std::move(claim.lock);
        openPath_ = device.path;
        SetProblem({}, 0, false);
        emit StateChanged();
        return 0;
    }
    // An adapter that is there but refuses this user, or is another
    // program's, must not look absent.
    std::string line = !busyPath.empty() ? InUseLine(busyPath, busyPid)
                       : refused         ? AccessProblemLine(ListAdapters(backend_))
                                         : std::string();
    SetProblem(std::move(line), busyPid, sayAgain);
    emit StateChanged();
    return 3;
}

// A line the log already has is said again only when asked: the owner timer
// looks every second, the log hears of it once.
void AdapterLink::SetProblem(std::string line, int ownerPid, bool sayAgain) {
    const bool news = sayAgain || line != accessProblem_;
    accessProblem_ = std::move(line);
    ownerPid_ = ownerPid;
    // The other program lets go without a word to us.
    if (ownerPid_ != 0 && !closed_ && !released_) ownerTimer_.start();
    else ownerTimer_.stop();
    if (news && !accessProblem_.empty() && problemHook_) problemHook_(accessProblem_);
}

void AdapterLink::DropAdapter() {
    transport_.Disconnect();
    lock_.Release();
    openPath_.clear();
    emit StateChanged();
}

void AdapterLink::CloseAdapter() {
    if (closed_) return;
    closed_ = true;
    reopenTimer_.stop();
    ownerTimer_.stop();
    if (hotplug_) hotplug_->SetListener(nullptr);
    DropAdapter();
}

void AdapterLink::Release() {
    if (closed_ || released_) return;
    released_ = true;
    reopenTimer_.stop();
    ownerTimer_.stop();
    accessProblem_.clear();
    ownerPid_ = 0;
    PostMenus(MENUS_UPDATE_FIRMWARE, 0);
    PostMenus(MENUS_ACCESS_MODE, 0);
    DropAdapter();
}

void AdapterLink::Retake() {
    if (closed_ || !released_) return;
    released_ = false;
    attached_ = OpenAdapter() == 0;
    PostMenus(MENUS_UPDATE_FIRMWARE, attached_ ? 1 : 0);
    PostMenus(MENUS_ACCESS_MODE, attached_ ? 1 : 0);
}

bool AdapterLink::ConcernsAdapter(const HotplugEvent& event) {
    // Device paths that carry the vendor and product as text are matched on
    // that exact text, letter case included; other platforms' paths (a
    // /dev/hidraw node) carry no ids, and there the ids of the event decide.
    static const char kAdapterPathText[] = "Vid_0712&Pid_0009";
    if (event.path.find(kAdapterPathText) != std::string::npos) return true;
    const bool pathCarriesIds = QString::fromStdString(event.path).contains("vid_", Qt::CaseInsensitive);
    if (pathCarriesIds) return false;
    return event.vendorId == kAdapterVendorId && event.productId == kAdapterProductId;
}

bool AdapterLink::ConcernsThisLink(const HotplugEvent& event) const {
    if (!ConcernsAdapter(event)) return false;
    return adapterPath_.empty() || event.path == adapterPath_;
}

void AdapterLink::OnDeviceChange(const HotplugEvent& event) {
    if (closed_ || released_ || !ConcernsThisLink(event)) return;
    // One plug or pull can be reported several times; `attached` lets only the
    // first report of each kind act.
    if (event.kind == HotplugEvent::Kind::Arrival) {
        if (attached_) return;
        attached_ = true;
        reopenTimer_.start();
        PostMenus(MENUS_ACCESS_MODE, 1);
    } else {
        // The adapter that refused may be the one leaving.
        if (!attached_) return ReviewAccessProblem();
        attached_ = false;
        SetProblem({}, 0, false);
        DropAdapter();
        PostMenus(MENUS_UPDATE_FIRMWARE, 0);
        PostMenus(MENUS_ACCESS_MODE, 0);
        if (dropHook_) dropHook_();
    }
}

void AdapterLink::ReviewAccessProblem() {
    if (accessProblem_.empty()) return;
    if (ownerPid_ != 0) return OnOwnerTimer();
    accessProblem_ = AccessProblemLine(ListAdapters(backend_));
    emit StateChanged();
}

void AdapterLink::OnReopenTimer() {
    reopenTimer_.stop();
    if (OpenAdapter() == 0 && reopenHook_) reopenHook_();
    PostMenus(MENUS_UPDATE_FIRMWARE, 1);
}

// The other program may have let go; an arrival's own reopen comes first.
void AdapterLink::OnOwnerTimer() {
    if (closed_ || released_ || isOpen() || reopenTimer_.isActive()) return;
    if (Open(false) != 0) return;
    attached_ = true;
    PostMenus(MENUS_UPDATE_FIRMWARE, 1);
    PostMenus(MENUS_ACCESS_MODE, 1);
}

void AdapterLink::PostMenus(int items, int enable) {
    if (menuTarget_) QCoreApplication::postEvent(menuTarget_, new WindowMessage(WM_ADAPTER_MENUS, items, enable));
}
