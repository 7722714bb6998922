#include "support/sim_rig.h"

#include <QCoreApplication>

#include "support/event_loop.h"

SimRig::SimRig(SimConfig config, LinkTiming timing)
    : sim(std::move(config)), link(bus, &bus, &replies, timing) {
    bus.PlugAdapter();
    RunFor(0);  // the arrival of a device that was there before the panel is not news
    link.SetMenuTarget(&menus);
    link.SetReopenHook([this] { ++reopens; });
    link.Initialise();
}

MessageRecorder::Entry SimRig::Exchange(const Payload& request) {
    const std::size_t before = outcomes();
    // Without a reader (no handle, failed or short write) the outcome, if
    // any, is already posted; otherwise the reader posts within the time-out.
    const bool readerStarted = link.SendAdapterReport(request.data(), request.size(), 1) == 0;
    if (!RunUntil([&] { return outcomes() > before; }, readerStarted ? 2000 : 20))
        return {WM_ADAPTER_REPLY, -1, 0, {}};
    return replies.of(WM_ADAPTER_REPLY).back();
}

void SimRig::Settle() {
    for (int pass = 0; pass < 8; ++pass) QCoreApplication::processEvents();
}
