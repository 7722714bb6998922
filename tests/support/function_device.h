#pragma once

#include <functional>

#include "sim/simulated_device.h"

// A simulated device whose answers come from a test's own function.
class FunctionDevice : public SimulatedDevice {
public:
    using Responder = std::function<DeviceAnswer(const std::uint8_t* report, std::size_t length)>;
    explicit FunctionDevice(Responder responder = Echo) : responder_(std::move(responder)) {}
    void Set(Responder responder) { responder_ = std::move(responder); }
    DeviceAnswer OnReport(const std::uint8_t* report, std::size_t length) override {
        return responder_(report, length);
    }

    // Answers every request with its own payload.
    static DeviceAnswer Echo(const std::uint8_t* report, std::size_t) {
        DeviceAnswer a;
        std::copy(report + 1, report + kReportSize, a.payload.begin());
        return a;
    }

private:
    Responder responder_;
};
