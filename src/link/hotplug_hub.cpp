#include "link/hotplug_hub.h"

#include <algorithm>

class HotplugHub::TapSource : public HotplugSource {
public:
    explicit TapSource(HotplugHub& hub) : hub_(hub) { hub_.taps_.push_back(this); }
    ~TapSource() override { std::erase(hub_.taps_, this); }
    void SetListener(Listener listener) override { listener_ = std::move(listener); }
    std::string StartupNote() const override { return hub_.inner_ ? hub_.inner_->StartupNote() : std::string(); }
    void Deliver(const HotplugEvent& event) const {
        if (listener_) listener_(event);
    }

private:
    HotplugHub& hub_;
    Listener listener_;
};

HotplugHub::HotplugHub(HotplugSource* inner) : inner_(inner) {
    if (inner_) inner_->SetListener([this](const HotplugEvent& event) { Deliver(event); });
}

HotplugHub::~HotplugHub() {
    if (inner_) inner_->SetListener(nullptr);
}

std::unique_ptr<HotplugSource> HotplugHub::Tap() { return std::make_unique<TapSource>(*this); }

// A listener may take its tap away while it hears of an event.
void HotplugHub::Deliver(const HotplugEvent& event) {
    const std::vector<TapSource*> taps = taps_;
    for (TapSource* tap : taps)
        if (std::find(taps_.begin(), taps_.end(), tap) != taps_.end()) tap->Deliver(event);
}
