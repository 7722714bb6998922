#pragma once

#include <QObject>
#include <QTimer>
#include <functional>

#include "link/adapter_lock.h"
#include "link/hid_backend.h"
#include "link/hotplug_source.h"
#include "link/link_timing.h"
#include "link/report_transport.h"

// Keeps the link to the adapter in step with the adapter being plugged in and
// pulled out: finds and opens it, closes it on removal, reopens it a moment
// after an arrival, and tells the frame which adapter-dependent menu items to
// offer. It does not care which backend is underneath.
class AdapterLink : public QObject {
    Q_OBJECT
public:
    AdapterLink(HidBackend& backend, HotplugSource* hotplug, QObject* replyTarget,
                const LinkTiming& timing = {});
    ~AdapterLink() override;

    // Where WM_ADAPTER_MENUS goes (the frame). Without one nothing is posted.
    void SetMenuTarget(QObject* frame) { menuTarget_ = frame; }

    // Called after the reopen timer opened the link (a firmware update continues there).
    void SetReopenHook(std::function<void()> hook) { reopenHook_ = std::move(hook); }
    // Called after a removal closed the link.
    void SetDropHook(std::function<void()> hook) { dropHook_ = std::move(hook); }
    // How the transport tells an answer from a stale reply; set before Initialise.
    void SetReplyMatcher(ReplyMatcher matcher, ReplyCodeCheck knownCode = nullptr) {
        transport_.SetReplyMatcher(matcher, knownCode);
    }
    // Called with a log line when adapters are there but none can be opened
    // (for want of permission, or another program has it).
    void SetAccessProblemHook(std::function<void(const std::string&)> hook) { problemHook_ = std::move(hook); }

    // Serve only the adapter at this path (one engine per adapter on a
    // bench); empty, the default, serves the first adapter found.
    void SetAdapterPath(std::string path) { adapterPath_ = std::move(path); }
    const std::string& adapterPath() const { return adapterPath_; }

    // The main panel's start-up share: open if present, post the menu state,
    // set `attached`, and start listening for arrivals and removals.
    void Initialise();

    // 0 = opened, 3 = no adapter found.
    int OpenAdapter();
    // Closes the link after a removal.
    void DropAdapter();
    // Closes the link for good when the panel goes away.
    void CloseAdapter();

    // Lets go of the adapter, its lock with it, for another owner in this
    // process (a production station); arrivals open nothing meanwhile.
    // Retake opens it again as at start, if it is there.
    void Release();
    void Retake();
    bool released() const { return released_; }

    void OnDeviceChange(const HotplugEvent& event);
    static bool ConcernsAdapter(const HotplugEvent& event);
    // The path rule, narrowed to this link's own adapter when it has one.
    bool ConcernsThisLink(const HotplugEvent& event) const;

    bool attached() const { return attached_; }
    bool isOpen() const { return transport_.hasWriteHandle(); }
    // The path of the adapter the link has open; empty while none is.
    const std::string& openPath() const { return openPath_; }
    // The diagnosis line while adapters are there but none could be opened
    // (for want of permission, say); empty otherwise.
    const std::string& accessProblem() const { return accessProblem_; }
    // While the adapter is another program's, that program's pid (-1 when it
    // left none); 0 otherwise. The link looks again every ownerRetryMs.
    int ownerPid() const { return ownerPid_; }
    bool reopenPending() const { return reopenTimer_.isActive(); }
    // What the hot-plug source has to say at start; empty when nothing.
    std::string StartupNote() const { return hotplug_ ? hotplug_->StartupNote() : std::string(); }

    int SendAdapterReport(const std::uint8_t* payload, std::size_t length, int mode) {
        return transport_.SendAdapterReport(payload, length, mode);
    }
    std::uint64_t lastRequestSerial() const { return transport_.lastRequestSerial(); }

    static constexpr int kReopenTimerId = 501;

signals:
    // The link opened or closed, or what stands in the way of opening changed.
    void StateChanged();

private:
    int Open(bool sayAgain);
    void SetProblem(std::string line, int ownerPid, bool sayAgain);
    void OnReopenTimer();
    void OnOwnerTimer();
    void ReviewAccessProblem();
    void PostMenus(int items, int enable);

    HidBackend& backend_;
    HotplugSource* hotplug_;
    QObject* menuTarget_ = nullptr;
    ReportTransport transport_;
    QTimer reopenTimer_;
    QTimer ownerTimer_;
    AdapterLock lock_;  // held while the link has the adapter open
    std::function<void()> reopenHook_;
    std::function<void()> dropHook_;
    std::function<void(const std::string&)> problemHook_;
    std::string adapterPath_;
    std::string openPath_;
    std::string accessProblem_;
    int ownerPid_ = 0;
    bool attached_ = false;
    bool closed_ = false;
    bool released_ = false;
};
