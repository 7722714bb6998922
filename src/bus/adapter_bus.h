#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sim/sim_config.h"

class AdapterSimulator;
class HidBackend;
class HidapiBackend;
class HotplugSource;
class PollingHotplug;
class SimulatedBackend;
class UdevHotplug;

// Where the program finds its adapter: the real HID devices with udev
// hot-plug (or, where udev cannot listen, a look at the devices every second),
// or the built-in simulated adapter on its own simulated bus.
class AdapterBus {
  public:
    // netlinkSource as for UdevHotplug: empty picks the right one.
    static std::unique_ptr<AdapterBus> Real(const std::string& netlinkSource = {});
    // The simulated adapter, plugged in, answering like the real one.
    static std::unique_ptr<AdapterBus> Simulated(const SimConfig& config = DemoConfig());
    // A bench of simulated adapters, one for each configuration, all plugged in.
    static std::unique_ptr<AdapterBus> Simulated(const std::vector<SimConfig>& configs);
    ~AdapterBus();

    HidBackend& backend() const { return *backend_; }
    HotplugSource* hotplug() const { return hotplug_; }
    AdapterSimulator* simulator(int index = 0) const {
        return index < int(simulators_.size()) ? simulators_[std::size_t(index)].get() : nullptr;
    }
    SimulatedBackend* simulatedBus() const { return simulated_.get(); }

    // One MX25L3208 in the socket, and replies slow enough that a job's
    // progress can be watched.
    static SimConfig DemoConfig();

  private:
    AdapterBus() = default;

    std::unique_ptr<HidapiBackend> hidapi_;
    std::unique_ptr<UdevHotplug> udev_;
    std::unique_ptr<PollingHotplug> polling_;  // lists hidapi_, so it is declared after it
    std::vector<std::unique_ptr<AdapterSimulator>> simulators_;
    std::unique_ptr<SimulatedBackend> simulated_;
    HidBackend* backend_ = nullptr;
    HotplugSource* hotplug_ = nullptr;
};
