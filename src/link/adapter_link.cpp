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

int AdapterLink::OpenAdapter() {
    // The first adapter in the platform's order wins; a second one is never opened.
    bool refused = false;
    for (const HidDeviceInfo& device : backend_.Enumerate()) {
        if (device.vendorId != kAdapterVendorId || device.productId != kAdapterProductId) continue;
        if (!adapterPath_.empty() && device.path != adapterPath_) continue;
        std::shared_ptr<HidHandle> writeHandle = backend_.Open(device.path);
        if (!writeHandle) {  // a path that cannot be opened is skipped
            refused = true;
            continue;
        }
        // The second open has no check of its own: a missing read handle shows
        // up as the read-handle error of the first request.
        std::shared_ptr<HidHandle> readHandle = backend_.Open(device.path);
        transport_.Connect(std::move(writeHandle), std::move(readHandle));
        openPath_ = device.path;
        accessProblem_.clear();
        emit StateChanged();
        return 0;
    }
    // An adapter that is there but refuses this user must not look absent.
    accessProblem_ = refused ? AccessProblemLine(ListAdapters(backend_)) : std::string();
    if (!accessProblem_.empty() && problemHook_) problemHook_(accessProblem_);
    emit StateChanged();
    return 3;
}

void AdapterLink::DropAdapter() {
    transport_.Disconnect();
    openPath_.clear();
    emit StateChanged();
}

void AdapterLink::CloseAdapter() {
    if (closed_) return;
    closed_ = true;
    reopenTimer_.stop();
    if (hotplug_) hotplug_->SetListener(nullptr);
    DropAdapter();
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
    if (closed_ || !ConcernsThisLink(event)) return;
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
        accessProblem_.clear();
        DropAdapter();
        PostMenus(MENUS_UPDATE_FIRMWARE, 0);
        PostMenus(MENUS_ACCESS_MODE, 0);
        if (dropHook_) dropHook_();
    }
}

void AdapterLink::ReviewAccessProblem() {
    if (accessProblem_.empty()) return;
    accessProblem_ = AccessProblemLine(ListAdapters(backend_));
    emit StateChanged();
}

void AdapterLink::OnReopenTimer() {
    reopenTimer_.stop();
    if (OpenAdapter() == 0 && reopenHook_) reopenHook_();
    PostMenus(MENUS_UPDATE_FIRMWARE, 1);
}

void AdapterLink::PostMenus(int items, int enable) {
    if (menuTarget_) QCoreApplication::postEvent(menuTarget_, new WindowMessage(WM_ADAPTER_MENUS, items, enable));
}
