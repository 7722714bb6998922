#pragma once

#include <memory>

#include "engine/job_engine.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/qt_printers.h"
#include "support/recording_host.h"
#include "support/scripted_prompts.h"
#include "support/short_timing.h"

// The real job engine, link and transport against the adapter simulator on a
// simulated bus, with short injected waits.
struct EngineRig {
    std::unique_ptr<AdapterSimulator> adapter;
    std::unique_ptr<SimulatedBackend> bus;
    RecordingHost host;
    ScriptedPrompts prompts;
    std::unique_ptr<JobEngine> engine;

    static LinkTiming ShortTiming() {
        LinkTiming t = ShortLinkTiming();
        t.reconnectDeadlineMs = 1000;
        return t;
    }

    explicit EngineRig(SimConfig config = {}, bool plugged = true, LinkTiming timing = ShortTiming()) {
        adapter = std::make_unique<AdapterSimulator>(std::move(config));
        bus = std::make_unique<SimulatedBackend>(adapter.get());
        if (plugged) bus->PlugAdapter();
        RunFor(0);
        engine = std::make_unique<JobEngine>(*bus, bus.get(), host, prompts, timing);
        engine->Initialise();
    }
    ~EngineRig() {
        engine.reset();
        bus.reset();
    }

    JobState& state() { return engine->state(); }

    // Puts an image into the program image as a successful load would.
    void LoadImage(const std::vector<std::uint8_t>& bytes = {0x00}) {
        std::copy(bytes.begin(), bytes.end(), engine->image().ResetStaging());
        engine->image().CommitLoad(std::uint32_t(bytes.size()));
        state().fileLoaded = true;
    }

    // Runs the event loop until the running job has ended.
    bool Settle(int limitMs = 5000) {
        const bool ended = RunUntil([&] { return !engine->state().busy; }, limitMs);
        RunFor(0);
        return ended;
    }

    std::vector<Payload> requests() const { return adapter->transcript(); }
    std::vector<std::uint8_t> commands() const {
        std::vector<std::uint8_t> codes;
        for (const Payload& p : adapter->transcript()) codes.push_back(p[0]);
        return codes;
    }
};
