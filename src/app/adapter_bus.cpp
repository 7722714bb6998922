#include "app/adapter_bus.h"

#include "link/hidapi_backend.h"
#include "link/udev_hotplug.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"

std::unique_ptr<AdapterBus> AdapterBus::Real() {
    std::unique_ptr<AdapterBus> bus(new AdapterBus);
    bus->hidapi_ = std::make_unique<HidapiBackend>();
    bus->udev_ = std::make_unique<UdevHotplug>();
    bus->backend_ = bus->hidapi_.get();
    bus->hotplug_ = bus->udev_.get();
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
