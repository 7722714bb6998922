#pragma once

#include <memory>
#include <vector>

#include "link/hotplug_source.h"

// Hands each arrival and removal of one hot-plug source to several
// listeners: every link on a bench of adapters hears of every event and
// picks out its own adapter. The hub must outlive its taps.
class HotplugHub {
public:
    explicit HotplugHub(HotplugSource* inner);
    ~HotplugHub();
    HotplugHub(const HotplugHub&) = delete;
    HotplugHub& operator=(const HotplugHub&) = delete;

    // A source of its own for one listener.
    std::unique_ptr<HotplugSource> Tap();

private:
    class TapSource;
    void Deliver(const HotplugEvent& event);

    HotplugSource* inner_;
    std::vector<TapSource*> taps_;
};
