#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "bus/adapter_bus.h"
#include "app/app_settings.h"
#include "app/main_frame.h"
#include "panel/control_panel.h"
#include "support/qt_printers.h"
#include "support/scripted_prompts.h"

TEST(AdapterBus, RealBusWithoutUdevLooksEverySecondAndTheLogSaysSoOnce) {
    const std::unique_ptr<AdapterBus> bus = AdapterBus::Real("nowhere");
    QTemporaryDir dir;
    AppSettings settings(dir.filePath("settings.ini"));
    ScriptedPrompts prompts;
    CMainFrame frame(bus->backend(), bus->hotplug(), prompts, settings);
    EXPECT_EQ(frame.panel()->committedLog(),
              "Hot-plug notifications are unavailable (no udev monitor on the nowhere events: "
              "Invalid argument); looking for the adapter every second instead\r\n");
}
