#include "link/udev_hotplug.h"

#include <libudev.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// HID_ID reads "bus:vendor:product" in hex, e.g. "0003:00000712:00000009".
bool ParseHidId(const char* text, std::uint16_t* vendor, std::uint16_t* product) {
    if (!text) return false;
    unsigned bus = 0, v = 0, p = 0;
    if (std::sscanf(text, "%x:%x:%x", &bus, &v, &p) != 3) return false;
    *vendor = std::uint16_t(v);
    *product = std::uint16_t(p);
    return true;
}

bool IdsOfHidraw(udev_device* hidraw, std::uint16_t* vendor, std::uint16_t* product) {
    if (ParseHidId(udev_device_get_property_value(hidraw, "HID_ID"), vendor, product)) return true;
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    return hid && ParseHidId(udev_device_get_property_value(hid, "HID_ID"), vendor, product);
}

// libudev does not always leave an error number behind its failures.
std::string ErrnoText(const std::string& what, int error) {
    return error > 0 ? what + ": " + std::strerror(error) : what;
}

}  // namespace

UdevHotplug::UdevHotplug(std::string netlinkSource, QObject* parent) : QObject(parent) {
    errno = 0;
    udev_ = udev_new();
    if (!udev_) {
        failure_ = ErrnoText("libudev could not start", errno);
        return;
    }
    if (netlinkSource.empty())
        netlinkSource = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
    errno = 0;
    monitor_ = udev_monitor_new_from_netlink(udev_, netlinkSource.c_str());
    if (!monitor_) {
        failure_ = ErrnoText("no udev monitor on the " + netlinkSource + " events", errno);
        return;
    }
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr);
    udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hid", nullptr);
    // It answers with a negative error number.
    if (const int rc = udev_monitor_enable_receiving(monitor_); rc < 0) {
        failure_ = ErrnoText("the udev monitor could not listen", -rc);
        udev_monitor_unref(monitor_);
        monitor_ = nullptr;
        return;
    }
    RememberPresentDevices();
    notifier_ = new QSocketNotifier(udev_monitor_get_fd(monitor_), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &UdevHotplug::OnReadable);
}

UdevHotplug::~UdevHotplug() {
    delete notifier_;
    if (monitor_) udev_monitor_unref(monitor_);
    if (udev_) udev_unref(udev_);
}

void UdevHotplug::RememberPresentDevices() {
    udev_enumerate* e = udev_enumerate_new(udev_);
    udev_enumerate_add_match_subsystem(e, "hidraw");
    udev_enumerate_scan_devices(e);
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
        udev_device* d = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
        if (!d) continue;
        std::uint16_t v = 0, p = 0;
        const char* node = udev_device_get_devnode(d);
        if (node && IdsOfHidraw(d, &v, &p)) knownNodes_[node] = {v, p};
        udev_device_unref(d);
    }
    udev_enumerate_unref(e);
}

void UdevHotplug::OnReadable() {
    while (udev_device* device = udev_monitor_receive_device(monitor_)) {
        Deliver(device);
        udev_device_unref(device);
    }
}

void UdevHotplug::Deliver(udev_device* device) {
    const char* action = udev_device_get_action(device);
    const char* subsystem = udev_device_get_subsystem(device);
    if (!action || !subsystem) return;
    HotplugEvent event;
    const bool hidraw = std::strcmp(subsystem, "hidraw") == 0;
    if (std::strcmp(action, "add") == 0 && hidraw) {
        // Arrival is reported for the hidraw node: that is what the backend opens.
        const char* node = udev_device_get_devnode(device);
        if (!node || !IdsOfHidraw(device, &event.vendorId, &event.productId)) return;
        event.kind = HotplugEvent::Kind::Arrival;
        event.path = node;
        knownNodes_[node] = {event.vendorId, event.productId};
    } else if (std::strcmp(action, "remove") == 0 && hidraw) {
        const char* node = udev_device_get_devnode(device);
        if (!node) return;
        auto known = knownNodes_.find(node);
        if (known == knownNodes_.end()) return;
        event.kind = HotplugEvent::Kind::Removal;
        event.path = node;
        std::tie(event.vendorId, event.productId) = known->second;
        knownNodes_.erase(known);
    } else if (std::strcmp(action, "remove") == 0) {
        // The hid device's own removal carries its ids in the event itself.
        if (!ParseHidId(udev_device_get_property_value(device, "HID_ID"), &event.vendorId,
                        &event.productId))
            return;
        event.kind = HotplugEvent::Kind::Removal;
        const char* path = udev_device_get_syspath(device);
        event.path = path ? path : "";
    } else {
        return;
    }
    if (listener_) listener_(event);
}
