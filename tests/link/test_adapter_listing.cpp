#include <gtest/gtest.h>

#include "link/adapter_link.h"
#include "link/adapter_listing.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/message_recorder.h"
#include "support/short_timing.h"

namespace {

// A bench whose first adapter's node this user may not open.
class GuardedBus : public HidBackend {
public:
    explicit GuardedBus(HidBackend& inner) : inner_(inner) {}
    std::vector<HidDeviceInfo> Enumerate() override { return inner_.Enumerate(); }
    std::unique_ptr<HidHandle> Open(const std::string& path) override {
        return path == guarded ? nullptr : inner_.Open(path);
    }
    std::string AccessProblem(const std::string& path) override {
        return path == guarded ? "permission denied" : std::string();
    }
    std::string guarded = SimulatedBackend::AdapterPath(0);

private:
    HidBackend& inner_;
};

}  // namespace

// Each link of a bench serves its own adapter; one the user may not open is
// listed with the reason and named in one line, never taken for absent.
TEST(AdapterListing, BenchOfAdaptersEachLinkItsOwnAndTheRefusedOneNamed) {
    AdapterSimulator first, second;
    SimulatedBackend bus(&first);
    ASSERT_EQ(bus.AddAdapter(&second), 1);
    bus.PlugAdapter(0);
    bus.PlugAdapter(1);
    RunFor(0);
    GuardedBus guarded(bus);

    const std::vector<AdapterListing> listed = ListAdapters(guarded);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].problem, "permission denied");
    EXPECT_EQ(listed[1].device.serial, "SIM0002");
    EXPECT_TRUE(listed[1].problem.empty());

    MessageRecorder replies;
    std::string problem;
    AdapterLink refused(guarded, &bus, &replies, ShortLinkTiming());
    refused.SetAdapterPath(SimulatedBackend::AdapterPath(0));
    refused.SetAccessProblemHook([&](const std::string& line) { problem = line; });
    refused.Initialise();
    EXPECT_FALSE(refused.isOpen());
    EXPECT_EQ(problem, AccessProblemLine(listed));
    EXPECT_NE(problem.find("cannot be opened (permission denied): install the udev rule 70-brellix.rules"),
              std::string::npos);

    AdapterLink own(bus, &bus, &replies, ShortLinkTiming());
    own.SetAdapterPath(SimulatedBackend::AdapterPath(1));
    own.Initialise();
    ASSERT_TRUE(own.isOpen());
    bus.UnplugAdapter(0);  // another adapter leaving is none of this link's business
    ASSERT_TRUE(RunUntil([&] { return !bus.adapterPresent(0); }));
    RunFor(0);
    EXPECT_TRUE(own.attached() && own.isOpen());
    bus.UnplugAdapter(1);
    ASSERT_TRUE(RunUntil([&] { return !own.attached(); }));
    EXPECT_FALSE(own.isOpen());
}
