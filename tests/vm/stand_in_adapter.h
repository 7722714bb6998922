#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sim/simulated_device.h"

// A small adapter that answers the way the firmware does for the requests the
// link checks send: every reply echoes the command code, a detect finds one
// MX25L3208, a written block comes back as read back, and entering the boot
// loader restarts the adapter as a new device. It keeps the uhid program free
// of the full firmware model, which needs nothing from this one to replace it.
class StandInAdapter : public SimulatedDevice {
public:
    static constexpr std::uint8_t kDetect = 23;
    static constexpr std::uint8_t kReadId = 13;
    static constexpr std::uint8_t kWriteBlock = 15;
    static constexpr std::uint8_t kEnterBoot = 17;
    static constexpr std::uint8_t kStatusAck = 0x06;
    static constexpr std::uint8_t kBootRestarting = 0x58;
    static constexpr std::uint8_t kChipMx25l3208 = 5;

    // How long the restarting boot loader stays off the bus, and how long after
    // its reply it leaves.
    static constexpr int kBootLeaveAfterMs = 50;
    static constexpr int kBootReturnAfterMs = 300;

    DeviceAnswer OnReport(const std::uint8_t* report, std::size_t length) override {
        DeviceAnswer answer;
        if (length != kReportSize) {
            answer.reply = false;  // not a request the firmware understands
            return answer;
        }
        const std::uint8_t* request = report + 1;  // report id 0 comes first
        Payload& reply = answer.payload;
        reply[0] = request[0];
        switch (request[0]) {
        case kDetect:
            reply[1] = 1;  // one chip found ...
            reply[2] = 0;
            reply[16] = kChipMx25l3208;  // ... and its type
            break;
        case kReadId:
            reply[3] = kChipMx25l3208;
            break;
        case kWriteBlock:
            reply[12] = kStatusAck;
            std::copy(request + 16, request + kPayloadSize, reply.begin() + 16);
            break;
        case kEnterBoot:
            reply[12] = kBootRestarting;
            answer.leaveAfterMs = kBootLeaveAfterMs;
            answer.returnAfterMs = kBootReturnAfterMs;
            break;
        default:
            reply[12] = kStatusAck;
            break;
        }
        return answer;
    }
};
