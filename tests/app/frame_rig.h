#pragma once

#include <QPointer>
#include <QTemporaryDir>
#include <memory>

#include "app/app_settings.h"
#include "app/main_frame.h"
#include "panel/control_panel.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/scripted_prompts.h"

// A frame over the simulated adapter with its settings in a temporary file.
// Restart() ends the frame and starts a new one on the same settings file, as
// quitting and starting the program again would.
struct FrameRig {
    QTemporaryDir dir;
    AdapterSimulator adapter;
    SimulatedBackend bus{&adapter};
    LinkTiming timing = ShortTiming();
    ScriptedPrompts prompts;
    std::unique_ptr<AppSettings> settings;
    QPointer<CMainFrame> frame;

    static LinkTiming ShortTiming() {
        LinkTiming t;
        t.replyTimeoutMs = 200;
        t.reopenDelayMs = 20;
        t.readSliceMs = 5;
        return t;
    }

    explicit FrameRig(bool plugged = true, SimConfig config = {},
                      const LinkTiming& linkTiming = ShortTiming())
        : adapter(std::move(config)), timing(linkTiming) {
        if (plugged) bus.PlugAdapter();
        RunFor(0);
        Start();
    }
    ~FrameRig() { Stop(); }

    QString settingsFile() const { return dir.filePath("settings.ini"); }

    void Start() {
        settings = std::make_unique<AppSettings>(settingsFile());
        frame = new CMainFrame(bus, &bus, prompts, *settings, timing);
        frame->show();
        RunFor(0);  // the panel's first menu messages
    }
    void Stop() {
        delete frame.data();
        settings.reset();
    }
    void Restart() {
        Stop();
        Start();
    }

    QAction* action(int id) const { return frame->action(id); }
    void Trigger(int id) { action(id)->trigger(); }
    ControlPanel& panel() const { return *frame->panel(); }
    JobEngine& engine() const { return frame->panel()->engine(); }
};
