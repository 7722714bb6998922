#pragma once

#include <QObject>
#include <map>
#include <string>

#include "link/hotplug_source.h"

class QSocketNotifier;
struct udev;
struct udev_monitor;
struct udev_device;

// Arrival and removal of HID devices, from a udev monitor read on the
// user-interface thread. With udevd running (the normal desktop) it listens to
// udev's own events, which come after the device node has its permissions;
// without it, to the kernel's.
class UdevHotplug : public QObject, public HotplugSource {
    Q_OBJECT
public:
    // netlinkSource names the events to listen to ("udev" or "kernel"); empty
    // picks udev's own when udevd runs, else the kernel's.
    explicit UdevHotplug(std::string netlinkSource = {}, QObject* parent = nullptr);
    ~UdevHotplug() override;
    void SetListener(Listener listener) override { listener_ = std::move(listener); }
    bool isListening() const { return monitor_ != nullptr; }
    // Why the monitor could not listen; empty while it listens.
    const std::string& failure() const { return failure_; }

private:
    void OnReadable();
    void Deliver(udev_device* device);
    void RememberPresentDevices();

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    Listener listener_;
    std::string failure_;
    // Vendor and product of each hidraw node seen, since a node's parent can
    // no longer be asked once the device is gone.
    std::map<std::string, std::pair<std::uint16_t, std::uint16_t>> knownNodes_;
};
