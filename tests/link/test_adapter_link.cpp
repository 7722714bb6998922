#include <gtest/gtest.h>

#include "link/adapter_link.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/function_device.h"
#include "support/message_recorder.h"
#include "support/short_timing.h"

namespace {

constexpr const char* kSecondAdapterPath =
    "\\\\?\\hid#Vid_0712&Pid_0009#7&99aa00&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";

LinkTiming ShortTiming() {
    LinkTiming t = ShortLinkTiming();
    t.reopenDelayMs = 30;
    return t;
}

// Remembers which paths the link opened.
class OpenRecorder : public HidBackend {
public:
    explicit OpenRecorder(HidBackend& inner) : inner_(inner) {}
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path) override {
        opened.push_back(path);
        return inner_.Open(path);
    }
    std::vector<std::string> opened;

private:
    HidBackend& inner_;
};

using Menus = std::vector<std::pair<int, std::int64_t>>;

struct Rig {
    FunctionDevice device;
    SimulatedBackend bus{&device};
    OpenRecorder backend{bus};
    MessageRecorder replies;
    MessageRecorder frame;
    AdapterLink link{backend, &bus, &replies, ShortTiming()};

    explicit Rig(bool adapterAtStart) {
        if (adapterAtStart) bus.PlugAdapter();
        RunFor(0);  // the arrival of a device present at start is history
        link.SetMenuTarget(&frame);
        link.Initialise();
        RunFor(0);
    }

    Menus menus() {
        Menus out;
        for (const auto& e : frame.of(WM_ADAPTER_MENUS)) out.emplace_back(e.wParam, e.lParam);
        return out;
    }
    void clearMenus() { frame.entries.clear(); }
};

}  // namespace

TEST(AdapterLinkStart, WithAdapterOpensItAndEnablesTheMenus) {
    Rig rig(true);
    EXPECT_TRUE(rig.link.attached());
    EXPECT_TRUE(rig.link.isOpen());
    EXPECT_EQ(rig.menus(), (Menus{{2, 1}, {1, 1}}));
}

TEST(AdapterLinkStart, WithoutAdapterGreysTheMenus) {
    Rig rig(false);
    EXPECT_FALSE(rig.link.attached());
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_EQ(rig.menus(), (Menus{{2, 0}, {1, 0}}));
}

TEST(AdapterLinkHotplug, ArrivalReopensAfterTheDelay) {
    Rig rig(false);
    rig.clearMenus();
    rig.bus.PlugAdapter();
    RunFor(0);
    EXPECT_TRUE(rig.link.attached());
    EXPECT_FALSE(rig.link.isOpen());  // not before the reopen timer fires
    EXPECT_TRUE(rig.link.reopenPending());
    EXPECT_EQ(rig.menus(), (Menus{{1, 1}}));

    ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
    RunFor(0);
    EXPECT_EQ(rig.menus(), (Menus{{1, 1}, {2, 1}}));
}

TEST(AdapterLinkHotplug, SeveralNotificationsOfOnePlugActOnce) {
    Rig rig(false);
    rig.bus.SetAnnouncements(3);
    rig.clearMenus();
    rig.bus.PlugAdapter();
    ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
    RunFor(60);
    EXPECT_EQ(rig.menus(), (Menus{{1, 1}, {2, 1}}));
    EXPECT_EQ(rig.backend.opened.size(), 2u);  // one open: write handle and read handle

    rig.clearMenus();
    rig.bus.UnplugAdapter();
    RunFor(0);
    EXPECT_EQ(rig.menus(), (Menus{{2, 0}, {1, 0}}));
}

TEST(AdapterLinkHotplug, ArrivalWhileAttachedDoesNothing) {
    Rig rig(true);
    rig.clearMenus();
    rig.link.OnDeviceChange({HotplugEvent::Kind::Arrival, SimulatedBackend::kAdapterPath, 0x0712, 9});
    EXPECT_FALSE(rig.link.reopenPending());
    RunFor(0);
    EXPECT_TRUE(rig.menus().empty());
}

TEST(AdapterLinkHotplug, TwoAdaptersOpenTheFirstAndEitherRemovalDrops) {
    for (bool pullSecond : {false, true}) {
        Rig rig(false);
        rig.bus.PlugAdapter();
        rig.bus.PlugDevice({kSecondAdapterPath, 0x0712, 0x0009});
        ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
        for (const std::string& path : rig.backend.opened) EXPECT_EQ(path, SimulatedBackend::kAdapterPath);

        if (pullSecond) rig.bus.UnplugDevice(kSecondAdapterPath);
        else rig.bus.UnplugAdapter();
        RunFor(0);
        EXPECT_FALSE(rig.link.attached());
        EXPECT_FALSE(rig.link.isOpen());
    }
}

TEST(AdapterLinkHotplug, PathRuleIsCaseSensitiveAndIdsDecideForPlainNodes) {
    auto event = [](const char* path, std::uint16_t vid, std::uint16_t pid) {
        return HotplugEvent{HotplugEvent::Kind::Arrival, path, vid, pid};
    };
    EXPECT_TRUE(AdapterLink::ConcernsAdapter(event("\\\\?\\hid#Vid_0712&Pid_0009#1", 0, 0)));
    EXPECT_FALSE(AdapterLink::ConcernsAdapter(event("\\\\?\\hid#vid_0712&pid_0009#1", 0x0712, 9)));
    EXPECT_FALSE(AdapterLink::ConcernsAdapter(event("\\\\?\\hid#VID_0712&PID_0009#1", 0x0712, 9)));
    EXPECT_TRUE(AdapterLink::ConcernsAdapter(event("/dev/hidraw3", 0x0712, 0x0009)));
    EXPECT_FALSE(AdapterLink::ConcernsAdapter(event("/dev/hidraw3", 0x0712, 0x0008)));
    EXPECT_FALSE(AdapterLink::ConcernsAdapter(event("/dev/hidraw3", 0x046d, 0x0009)));

    Rig rig(true);
    rig.link.OnDeviceChange({HotplugEvent::Kind::Removal, "\\\\?\\hid#vid_0712&pid_0009#1", 0x0712, 9});
    EXPECT_TRUE(rig.link.attached());
    EXPECT_TRUE(rig.link.isOpen());
}

TEST(AdapterLinkHotplug, RemovingAnotherDeviceChangesNothing) {
    Rig rig(true);
    rig.bus.PlugDevice({"\\\\?\\hid#Vid_046d&Pid_c077#1", 0x046d, 0xc077});
    RunFor(0);
    rig.clearMenus();
    rig.bus.UnplugDevice("\\\\?\\hid#Vid_046d&Pid_c077#1");
    RunFor(0);
    EXPECT_TRUE(rig.link.attached());
    EXPECT_TRUE(rig.link.isOpen());
    EXPECT_TRUE(rig.menus().empty());
}

TEST(AdapterLinkHotplug, RemovalWithinTheReopenDelayStillFiresTheTimer) {
    Rig rig(false);
    rig.bus.PlugAdapter();
    RunFor(0);
    rig.bus.UnplugAdapter();
    RunFor(0);
    EXPECT_FALSE(rig.link.attached());
    rig.clearMenus();
    ASSERT_TRUE(RunUntil([&] { return !rig.link.reopenPending(); }));
    RunFor(0);
    // The reopen found nothing, yet Update Firmware is offered.
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_FALSE(rig.link.attached());
    EXPECT_EQ(rig.menus(), (Menus{{2, 1}}));
}

TEST(AdapterLinkHotplug, RemovalWhileAReplyIsAwaitedPostsNothingAfterwards) {
    Rig rig(true);
    rig.device.Set([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.reply = false;
        return a;
    });
    Payload request{};
    request[0] = 23;
    ASSERT_EQ(rig.link.SendAdapterReport(request.data(), request.size(), 1), 0);
    RunFor(10);
    rig.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return !rig.link.isOpen(); }));
    // The pulled device may fail the pending read before its removal is
    // handled; that is the request's one outcome. Nothing comes after the close.
    const std::size_t atClose = rig.replies.of(WM_ADAPTER_REPLY).size();
    EXPECT_LE(atClose, 1u);
    RunFor(400);  // past the reply time-out of the abandoned request
    EXPECT_EQ(rig.replies.of(WM_ADAPTER_REPLY).size(), atClose);
}

TEST(AdapterLinkHotplug, DropWhileAReaderWaitsPostsNothing) {
    Rig rig(true);
    rig.device.Set([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.reply = false;
        return a;
    });
    Payload request{};
    rig.link.SendAdapterReport(request.data(), request.size(), 1);
    RunFor(10);
    rig.link.DropAdapter();
    RunFor(400);
    EXPECT_TRUE(rig.replies.of(WM_ADAPTER_REPLY).empty());
}

TEST(AdapterLinkHotplug, ReplugAfterRemovalReopensAndExchangesAgain) {
    Rig rig(true);
    rig.bus.UnplugAdapter();
    RunFor(0);
    rig.bus.PlugAdapter();
    ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
    Payload request{};
    request[0] = 13;
    rig.link.SendAdapterReport(request.data(), request.size(), 1);
    ASSERT_TRUE(RunUntil([&] { return !rig.replies.of(WM_ADAPTER_REPLY).empty(); }));
    EXPECT_EQ(rig.replies.of(WM_ADAPTER_REPLY)[0].wParam, REPLY_READY);
    EXPECT_EQ(rig.replies.of(WM_ADAPTER_REPLY)[0].reply[0], 13);
}

TEST(AdapterLinkHotplug, ReopenHookRunsOnlyWhenTheReopenSucceeds) {
    Rig rig(false);
    int hooks = 0;
    rig.link.SetReopenHook([&] { ++hooks; });
    rig.bus.PlugAdapter();
    ASSERT_TRUE(RunUntil([&] { return rig.link.isOpen(); }));
    EXPECT_EQ(hooks, 1);

    rig.bus.UnplugAdapter();
    RunFor(0);
    rig.bus.PlugAdapter();
    RunFor(0);
    rig.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return !rig.link.reopenPending(); }));
    EXPECT_EQ(hooks, 1);
}

TEST(AdapterLinkClose, ClosingWhileAReaderWaitsReturnsPromptlyAndPostsNothing) {
    FunctionDevice device([](const std::uint8_t*, std::size_t) {
        DeviceAnswer a;
        a.reply = false;
        return a;
    });
    SimulatedBackend bus{&device};
    bus.PlugAdapter();
    MessageRecorder replies;
    LinkTiming timing = ShortTiming();
    timing.replyTimeoutMs = 2000;
    {
        AdapterLink link{bus, &bus, &replies, timing};
        link.Initialise();
        Payload request{};
        link.SendAdapterReport(request.data(), request.size(), 1);
        RunFor(10);
        QElapsedTimer clock;
        clock.start();
        link.CloseAdapter();
        EXPECT_LT(clock.elapsed(), 150);
    }
    RunFor(50);
    EXPECT_TRUE(replies.of(WM_ADAPTER_REPLY).empty());
}
