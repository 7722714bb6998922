#include "bus/adapter_bus.h"

#include "link/hidapi_backend.h"
#include "link/polling_hotplug.h"
#include "link/udev_hotplug.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"

std::unique_ptr<AdapterBus> AdapterBus::Real(const std::string& netlinkSource) {
    std::unique_ptr<AdapterBus> bus(new AdapterBus);
    bus->hidapi_ = std::make_unique<HidapiBackend>();
    bus->backend_ = bus->hidapi_.get();
    bus->udev_ = std::make_unique<UdevHotplug>(netlinkSource);
    if (bus->udev_->isListening()) {
        bus->hotplug_ = bus->udev_.get();
        return bus;
    }
    // A monitor that cannot listen hears nothing: the link would keep a pulled
    // adapter's dead handles and never see it come back.
    bus->polling_ = std::make_unique<PollingHotplug>(*bus->hidapi_, bus->udev_->failure());
    bus->udev_.reset();
    bus->hotplug_ = bus->polling_.get();
    return bus;
}

std::unique_ptr<AdapterBus> AdapterBus::Simulated(const SimConfig& config) {
    return Simulated(std::vector<SimConfig>{config});
}

std::unique_ptr<AdapterBus> AdapterBus::Simulated(const std::vector<SimConfig>& configs) {
    std::unique_ptr<AdapterBus> bus(new AdapterBus);
    // Nothing here inspects the requests afterwards: none is kept.
    for (SimConfig config : configs) {
        config.keepTranscript = false;
        bus->simulators_.push_back(std::make_unique<AdapterSimulator>(config));
    }
    if (bus->simulators_.empty()) bus->simulators_.push_back(std::make_unique<AdapterSimulator>(DemoConfig()));
    bus->simulated_ = std::make_unique<SimulatedBackend>(bus->simulators_.front().get());
    bus->simulated_->SetKeepReports(false);
    for (std::size_t i = 1; i < bus->simulators_.size(); ++i) bus->simulated_->AddAdapter(bus->simulators_[i].get());
    for (int i = 0; i < int(bus->simulators_.size()); ++i) bus->simulated_->PlugAdapter(i);
    bus->backend_ = bus->simulated_.get();
    bus->hotplug_ = bus->simulated_.get();
    return bus;
}

AdapterBus::~AdapterBus() {
    // The simulated bus refers to its adapters, so it goes first.
    simulated_.reset();
    simulators_.clear();
}

SimConfig AdapterBus::DemoConfig() {
    SimConfig config;
    config.chips = {5};  // MX25L3208
    config.latencyMs = 3;
    return config;
}
