#pragma once

#include <cstddef>

#include "engine/request_block.h"
#include "link/adapter_link.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/message_recorder.h"
#include "support/short_timing.h"

// A simulated adapter on a simulated bus, with the link opened on it the way
// the main panel opens it. Replies and menu messages are recorded; the link
// follows the bus's hot-plug events.
struct SimRig {
    explicit SimRig(SimConfig config = {}, LinkTiming timing = ShortLinkTiming());

    // Lets the event loop run the work already queued (a device leaving the
    // bus, the link following it) without waiting for any clock.
    static void Settle();

    // Sends the 272 bytes and returns the request's one outcome (wParam -1
    // when none arrived, as after a short write).
    MessageRecorder::Entry Exchange(const Payload& request);
    MessageRecorder::Entry Exchange(const RequestBlock& request) {
        return Exchange(request.bytes());
    }
    std::size_t outcomes() const { return replies.of(WM_ADAPTER_REPLY).size(); }

    AdapterSimulator sim;
    SimulatedBackend bus{&sim};
    MessageRecorder replies;
    MessageRecorder menus;
    AdapterLink link;
    int reopens = 0;  // times the link reopened after an arrival
};
