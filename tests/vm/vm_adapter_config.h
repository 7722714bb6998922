#pragma once

#include "engine/chip_catalogue.h"
#include "sim/sim_config.h"

// The adapter both sides of the VM checks agree on: one MX25L3208 in the
// socket (its write replies carry the page as read back, so a write is a full
// round trip of data), and a boot loader that restarts as a new device.
inline SimConfig VmAdapterConfig() {
    SimConfig config;
    config.chips = {ChipCatalogue::kCompareWritesIndex};
    config.bootEntry = SimConfig::BootEntry::Restarting;
    config.leaveDelayMs = 50;
    config.reconnectDelayMs = 300;
    return config;
}
