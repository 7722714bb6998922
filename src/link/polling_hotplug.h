#pragma once

#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

#include "link/hid_backend.h"
#include "link/hotplug_source.h"

// Arrival and removal of HID devices found by listing the backend at a fixed
// interval, for when the platform will not tell us. A device is the same
// device while its path, vendor and product stay the same; what appears
// between two lists has arrived, what vanished has left. Polls on the
// user-interface thread, so its events arrive there too.
class PollingHotplug : public QObject, public HotplugSource {
    Q_OBJECT
  public:
    static constexpr int kIntervalMs = 1000;

    // reason says why the platform's notifications are missing; it may be empty.
    PollingHotplug(HidBackend& backend, std::string reason, int intervalMs = kIntervalMs,
                   QObject* parent = nullptr);

    void SetListener(Listener listener) override { listener_ = std::move(listener); }
    std::string StartupNote() const override;

    // Lists the devices now and reports the differences from the last list.
    void Poll();
    int intervalMs() const { return timer_.interval(); }

  private:
    void Report(HotplugEvent::Kind kind, const std::vector<HidDeviceInfo>& devices);

    HidBackend& backend_;
    std::string reason_;
    QTimer timer_;
    Listener listener_;
    std::vector<HidDeviceInfo> present_;
};
