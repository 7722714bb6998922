#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "link/adapter_report.h"

// What a simulated device does with one output report. The simulated backend
// asks it on the writer's thread, one report at a time.
struct DeviceAnswer {
    int written = int(kReportSize);  // bytes the write transfers; -1 makes the write fail
    int errorCode = 0;               // the system error of a failed write
    bool reply = true;               // false: the device stays silent
    Payload payload{};
    int latencyMs = 0;    // the reply becomes readable this long after the write
    // An answer to an earlier request that reaches the host just now, ahead of this one's reply.
    std::optional<Payload> earlierReply;
    bool repeatReply = false;  // the reply comes twice
    // >= 0: the device drops off the bus this long after its reply is read
    // (after the request, when it sends none).
    int leaveAfterMs = -1;
    int returnAfterMs = -1;  // >= 0: and arrives again as a new device this long after leaving
};

class SimulatedDevice {
public:
    virtual ~SimulatedDevice() = default;
    // report holds the whole output report, report id first.
    virtual DeviceAnswer OnReport(const std::uint8_t* report, std::size_t length) = 0;
    // The device was removed from the bus or came back (a boot-loader restart).
    virtual void OnPlugged(bool /*present*/) {}
};
