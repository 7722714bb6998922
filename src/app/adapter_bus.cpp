#include "app/adapter_bus.h"

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
    std::unique_ptr<AdapterBus> bus(new AdapterBus);
    bus->simulator_ = std::make_unique<AdapterSimulator>(config);
    bus->simulated_ = std::make_unique<SimulatedBackend>(bus->simulator_.get());
    bus->simulated_->PlugAdapter();
    bus->backend_ = bus->simulated_.get();
    bus->hotplug_ = bus->simulated_.get();
    return bus;
}

AdapterBus::~AdapterBus() {
    // The simulated bus refers to its adapter, so it goes first.
    simulated_.reset();
    simulator_.reset();
}

SimConfig AdapterBus::DemoConfig() {
    SimConfig config;
    config.chips = {5};  // MX25L3208
    config.latencyMs = 3;
    return config;
}
