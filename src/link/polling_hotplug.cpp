#include "link/polling_hotplug.h"

#include <algorithm>

namespace {

bool SameDevice(const HidDeviceInfo& a, const HidDeviceInfo& b) {
    return a.path == b.path && a.vendorId == b.vendorId && a.productId == b.productId;
}

bool Contains(const std::vector<HidDeviceInfo>& list, const HidDeviceInfo& device) {
    return std::any_of(list.begin(), list.end(),
                       [&](const HidDeviceInfo& d) { return SameDevice(d, device); });
}

// The devices of `from` that `other` lacks, each once: a device with several
// interfaces or usages may be listed more than once.
std::vector<HidDeviceInfo> Missing(const std::vector<HidDeviceInfo>& from,
                                   const std::vector<HidDeviceInfo>& other) {
    std::vector<HidDeviceInfo> missing;
    for (const HidDeviceInfo& device : from)
        if (!Contains(other, device) && !Contains(missing, device)) missing.push_back(device);
    return missing;
}

}  // namespace

PollingHotplug::PollingHotplug(HidBackend& backend, std::string reason, int intervalMs,
                               QObject* parent)
    : QObject(parent), backend_(backend), reason_(std::move(reason)) {
    // What is there at the start is no arrival: the link opens it by itself.
    present_ = backend_.Enumerate();
    timer_.setInterval(intervalMs);
    connect(&timer_, &QTimer::timeout, this, &PollingHotplug::Poll);
    timer_.start();
}

std::string PollingHotplug::StartupNote() const {
    std::string note = "Hot-plug notifications are unavailable";
    if (!reason_.empty()) note += " (" + reason_ + ")";
    note += "; looking for the adapter ";
    note += timer_.interval() == 1000 ? std::string("every second")
                                      : "every " + std::to_string(timer_.interval()) + " ms";
    return note + " instead";
}

void PollingHotplug::Poll() {
    std::vector<HidDeviceInfo> now = backend_.Enumerate();
    const std::vector<HidDeviceInfo> left = Missing(present_, now);
    const std::vector<HidDeviceInfo> arrived = Missing(now, present_);
    present_ = std::move(now);
    // Removals first: an adapter that restarted between two lists under a new
    // path must be dropped before the new one is opened.
    Report(HotplugEvent::Kind::Removal, left);
    Report(HotplugEvent::Kind::Arrival, arrived);
}

void PollingHotplug::Report(HotplugEvent::Kind kind, const std::vector<HidDeviceInfo>& devices) {
    for (const HidDeviceInfo& device : devices)
        if (listener_) listener_({kind, device.path, device.vendorId, device.productId});
}
