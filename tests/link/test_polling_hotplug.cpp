#include <gtest/gtest.h>

#include <functional>

#include "link/adapter_link.h"
#include "link/polling_hotplug.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/function_device.h"
#include "support/message_recorder.h"
#include "support/qt_printers.h"
#include "support/short_timing.h"

namespace {

using Bus = SimulatedBackend;
const HidDeviceInfo kMouse{"/dev/hidraw1", 0x046d, 0xc077};
const QString kAdapter = QString(Bus::kAdapterPath) + " 9";

QString Text(const HotplugEvent& e) {
    const char* kind = e.kind == HotplugEvent::Kind::Arrival ? "+" : "-";
    return kind + QString::fromStdString(e.path) + " " + QString::number(e.productId, 16);
}

}  // namespace

TEST(PollingHotplug, ReportsWhatChangedBetweenTwoListsRemovalsFirst) {
    struct Case {
        std::function<void(Bus&)> atStart, change;
        QStringList events;
    };
    const Case cases[] = {
        // What was there at start never arrives; a device listed twice is one device.
        {[](Bus& b) { b.PlugAdapter(); },
         [](Bus& b) {
             b.PlugDevice(kMouse);
             b.PlugDevice(kMouse);
             b.UnplugAdapter();
         },
         {"-" + kAdapter, "+/dev/hidraw1 c077"}},
        // The same path with other ids is another device.
        {[](Bus& b) { b.PlugDevice(kMouse); },
         [](Bus& b) {
             b.UnplugDevice(kMouse.path);
             b.PlugDevice({kMouse.path, 0x0712, 9});
         },
         {"-/dev/hidraw1 c077", "+/dev/hidraw1 9"}},
    };
    for (const Case& c : cases) {
        FunctionDevice device;
        Bus bus(&device);
        c.atStart(bus);
        PollingHotplug poll(bus, "", 3600000);  // polled by hand only
        QStringList events;
        poll.SetListener([&](const HotplugEvent& e) { events << Text(e); });
        c.change(bus);
        poll.Poll();
        poll.Poll();
        EXPECT_EQ(events, c.events);
    }
}

// Only the lists tell the link: the bus's own announcements reach nobody.
TEST(PollingHotplug, LinkFollowsTheAdapterOnThePollingTimer) {
    FunctionDevice device;
    Bus bus(&device);
    MessageRecorder replies;
    PollingHotplug poll(bus, "", 5);
    AdapterLink link(bus, &poll, &replies, ShortLinkTiming());
    link.Initialise();
    for (bool plugged : {true, false, true}) {
        plugged ? bus.PlugAdapter() : bus.UnplugAdapter();
        ASSERT_TRUE(RunUntil([&] { return link.isOpen() == plugged; })) << plugged;
        EXPECT_EQ(link.attached(), plugged);
    }
}
