#include "sim/sim_config.h"

#include <algorithm>
#include <iterator>
#include <random>

SimConfig::Faults SeededFaults(std::uint32_t seed, int requestSpan) {
    // mt19937's output is fixed by the language for a given seed; the
    // library's distributions are not, so the draws are reduced by hand.
    std::mt19937 draw(seed);
    SimConfig::Faults faults;
    faults.seed = seed;
    const int request = requestSpan > 0 ? int(draw() % unsigned(requestSpan)) : 0;
    static constexpr std::uint8_t kCodes[] = {CMD_READ_BLOCK, CMD_ERASE,       CMD_VERIFY,
                                              CMD_READ_ID,    CMD_WRITE_BLOCK, CMD_DETECT};
    switch (draw() % 9) {
        case 0:
            faults.silentRequest = request;
            break;
        case 1:
            faults.refuseErase = true;
            break;
        case 2:
            faults.refuseWriteBlock = request;
            break;
        case 3:
            faults.corruptReadBack = request;
            break;
        case 4:
            faults.wrongEchoRequest = request;
            break;
        case 5:
            faults.unplugAfterRequest = request;
            break;
        case 6:
            faults.shortWriteRequest = request;
            break;
        case 7:
            faults.failWriteRequest = request;
            break;
        default:
            faults.silentCommand = kCodes[draw() % std::size(kCodes)];
            break;
    }
    return faults;
}

namespace {

struct QuirkName {
    const char* name;
    SimQuirk quirk;
};

constexpr QuirkName kQuirkNames[] = {{"restart", SimQuirk::Restart},
                                     {"slow", SimQuirk::SlowReply},
                                     {"stale", SimQuirk::StaleReply},
                                     {"boot-restart", SimQuirk::BootRestart}};

int Below(std::mt19937& draw, int bound) { return bound > 0 ? int(draw() % unsigned(bound)) : 0; }

}  // namespace

void SeedQuirk(SimConfig& config, SimQuirk quirk, int request, std::uint32_t seed, const LinkTiming& host) {
    std::mt19937 draw(seed);
    SimConfig::Quirks& q = config.quirks;
    switch (quirk) {
        case SimQuirk::Restart:
            q.restartRequest = request;
            // No host waits for it (after a firmware update, nothing is
            // left to do); it is back soon enough for the next job.
            q.restartReturnAfterMs = Below(draw, host.reconnectDeadlineMs / 10 + 1);
            break;
        case SimQuirk::SlowReply:
            // Somewhere in the last fiftieth of the time-out, never at it.
            q.slowRequest = request;
            q.slowReplyMs = host.replyTimeoutMs - 1 - Below(draw, std::max(host.replyTimeoutMs / 50, 1));
            break;
        case SimQuirk::StaleReply:
            q.staleReplyRequest = request;
            q.staleReplyEarly = draw() % 2 == 0;
            break;
        case SimQuirk::BootRestart: {
            // The host's deadline runs from the reply, and it reopens a
            // moment after the arrival; timers on a busy machine fire late,
            // so three quarters of the deadline stay spare.
            const int budget = std::max(host.reconnectDeadlineMs / 4 - host.reopenDelayMs, 2);
            config.bootEntry = SimConfig::BootEntry::Restarting;
            config.leaveDelayMs = Below(draw, budget / 2);
            config.reconnectDelayMs = Below(draw, budget - config.leaveDelayMs);
            break;
        }
    }
}

bool ApplyNamedQuirk(SimConfig& config, const std::string& name, int request) {
    for (const QuirkName& q : kQuirkNames) {
        if (name != q.name) continue;
        SeedQuirk(config, q.quirk, request, std::uint32_t(request));
        return true;
    }
    return false;
}
