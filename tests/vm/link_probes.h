#pragma once

#include <QElapsedTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "link/hid_backend.h"
#include "link/hotplug_source.h"

// The real backend, passed through, noting when the link opened a device and
// what the platform listed, so that a failing check can say what it saw.
class RecordingBackend : public HidBackend {
  public:
    RecordingBackend(HidBackend& real, const QElapsedTimer& clock) : real_(real), clock_(clock) {}

    std::vector<HidDeviceInfo> Enumerate() override {
        lastListing = real_.Enumerate();
        return lastListing;
    }
    std::unique_ptr<HidHandle> Open(const std::string& path) override {
        std::unique_ptr<HidHandle> handle = real_.Open(path);
        if (handle) lastOpenMs = clock_.elapsed();
        return handle;
    }

    std::string DescribeListing() const {
        std::string text;
        for (const HidDeviceInfo& d : lastListing) {
            char line[64];
            std::snprintf(line, sizeof line, " %04x:%04x", d.vendorId, d.productId);
            text += d.path + line + ";";
        }
        return text.empty() ? "no HID devices" : text;
    }

    std::vector<HidDeviceInfo> lastListing;
    qint64 lastOpenMs = -1;

  private:
    HidBackend& real_;
    const QElapsedTimer& clock_;
};

// The real hot-plug source, passed through, logging every event it delivers
// and noting when the adapter last arrived.
class TapHotplug : public HotplugSource {
  public:
    TapHotplug(HotplugSource& real, const QElapsedTimer& clock) : real_(real), clock_(clock) {}

    void SetListener(Listener listener) override {
        listener_ = std::move(listener);
        real_.SetListener([this](const HotplugEvent& e) { Forward(e); });
    }

    qint64 lastArrivalMs = -1;
    int events = 0;
    int removals = 0;

  private:
    void Forward(const HotplugEvent& e) {
        const bool arrival = e.kind == HotplugEvent::Kind::Arrival;
        std::printf("  event: %s %s %04x:%04x\n", arrival ? "arrival" : "removal", e.path.c_str(),
                    e.vendorId, e.productId);
        std::fflush(stdout);
        ++events;
        if (!arrival) ++removals;
        // The first arrival after a reset is the one that started the reopen timer.
        if (arrival && lastArrivalMs < 0) lastArrivalMs = clock_.elapsed();
        if (listener_) listener_(e);
    }

    HotplugSource& real_;
    const QElapsedTimer& clock_;
    Listener listener_;
};
