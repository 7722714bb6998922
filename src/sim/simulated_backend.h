#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "link/hid_backend.h"
#include "link/hotplug_source.h"
#include "sim/simulated_device.h"

struct SimulatedNode;

// A HID bus with a simulated adapter on it (and, for tests, other devices). It
// serves the same interfaces as the real backend and hot-plug source, so the
// link, the transport and the engine run against it unchanged. Its adapters
// have node paths of their own (/dev/hidraw-sim1, /dev/hidraw-sim2, ...) that
// no real hidraw node has; like those they carry no ids, so the link goes by
// the ids the bus reports. The bus lives in one process only, so its adapters
// need no lock against other programs.
class SimulatedBackend : public QObject, public HidBackend, public HotplugSource {
    Q_OBJECT
public:
    static constexpr const char* kAdapterPath = "/dev/hidraw-sim1";

    // device answers the first adapter's reports; it must outlive the backend.
    explicit SimulatedBackend(SimulatedDevice* device, QObject* parent = nullptr);
    ~SimulatedBackend() override;

    std::vector<HidDeviceInfo> Enumerate() override;
    std::unique_ptr<HidHandle> Open(const std::string& path) override;
    void SetListener(Listener listener) override;

    // Puts the adapter on the bus (a new device each time) or takes it off;
    // both announce themselves like real hot-plug events.
    void PlugAdapter() { PlugAdapter(0); }
    void UnplugAdapter() { UnplugAdapter(0); }
    bool adapterPresent() const { return adapterPresent(0); }

    // A bench of several adapters: each further one has its own firmware
    // (device, which must outlive the backend), path and serial number.
    // Returns its index; the constructor's adapter is index 0.
    int AddAdapter(SimulatedDevice* device);
    int adapterCount() const;
    void PlugAdapter(int index);
    void UnplugAdapter(int index);
    bool adapterPresent(int index) const;
    static std::string AdapterPath(int index);
    static std::string AdapterSerial(int index);

    // Another device on the bus, listed and announced like the adapter.
    void PlugDevice(const HidDeviceInfo& info);
    void UnplugDevice(const std::string& path);

    // Each change is announced this many times (several notification classes
    // report one plug on the original platform).
    void SetAnnouncements(int count) { announcements_ = count; }
    // Opening a path that already has an open handle fails.
    void SetRefuseSecondOpen(bool refuse) { refuseSecondOpen_ = refuse; }

    // Every output report written to the adapter, in order (unless not kept).
    std::vector<AdapterReport> writtenReports() const;
    void SetKeepReports(bool keep) { keepReports_ = keep; }

    // On a virtual clock the bus answers at once: a read that would wait
    // moves the clock on by its wait instead of sleeping, and a reply becomes
    // readable once the clock reaches its latency. A silent adapter then
    // costs a host nothing but the slices of its reply time-out, so whole
    // campaigns of failing jobs run at the speed of the code.
    void SetVirtualTime(bool on) { virtualTime_ = on; }
    bool virtualTime() const { return virtualTime_; }
    // Lets time pass on the virtual clock (a user's pause between two jobs).
    void AdvanceVirtualTime(int ms) { virtualNowMs_ += ms; }
    std::int64_t virtualNowMs() const { return virtualNowMs_; }

private:
    void Announce(HotplugEvent::Kind kind, const HidDeviceInfo& info);
    void Deliver(HotplugEvent event);
    void ScheduleLeave(int adapter, int leaveAfterMs, int returnAfterMs);
    int AdapterIndexOf(const std::string& path) const;
    friend class SimulatedHandle;

    std::vector<SimulatedDevice*> adapters_;  // by index; guarded by mutex_
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<SimulatedNode>> nodes_;
    std::vector<AdapterReport> written_;
    Listener listener_;
    int announcements_ = 1;
    bool refuseSecondOpen_ = false;
    int adapterInstance_ = 0;
    std::atomic<bool> virtualTime_ = false;
    std::atomic<bool> keepReports_ = true;
    std::atomic<std::int64_t> virtualNowMs_ = 0;
};
