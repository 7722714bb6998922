#include <gtest/gtest.h>

#include <QCoreApplication>

#include "engine/protocol.h"
#include "link/window_messages.h"
#include "support/engine_rig.h"

namespace {

void Program(EngineRig& rig) {
    std::vector<std::uint8_t> image(0x2800);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint8_t(i * 7 + 1);
    rig.engine->UseImage(image.data(), std::uint32_t(image.size()), "chip.bin", "now");
    rig.engine->Program();
}

void ReadFirst4K(EngineRig& rig) {
    rig.engine->SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers.push_back(
        ReadOptions{ReadRangeMode::FromBeginTo, {}, {}, "FFF", {}});
    rig.engine->Read();
}

// The link finds no write handle: its line carries no line end.
void LoseWriteHandle(EngineRig& rig) {
    rig.engine->Detect();
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_NO_HANDLE, 0, {}));
}

}  // namespace

// The duration follows the job's own last line, with the rate over the bytes
// the job moved when it moved any and did what it was asked to.
TEST(JobDuration, FollowsTheClosingLine) {
    struct Case {
        const char* name;
        SimConfig::Faults faults;
        void (*start)(EngineRig&);
        std::int64_t ms;  // how long the job takes on the test's clock
        QString ending;
    };
    // clang-format off
    const Case cases[] = {
        {"program", {}, Program, 500, "Program Finished\r\nDone in 0.5 s (20.0 KiB/s)\r\n"},
        {"read", {}, ReadFirst4K, 2000, "Read from addr:000000 to 000FFF finished!\r\nDone in 2.0 s (2.0 KiB/s)\r\n"},
        {"no data", {}, [](EngineRig& r) { r.engine->Erase(); }, 300, "Erase Finished\r\nDone in 0.3 s\r\n"},
        {"failed", {.refuseWriteBlock = 1}, Program, 5000,
         "Programming Error!\r\nprogram block at 0x000100: wrong status 0x15\r\nDone in 5.0 s\r\n"},
        {"own line", {.silentRequest = 0}, LoseWriteHandle, 1000,
         "write handle error!\r\ndetect: no write handle\r\nDone in 1.0 s\r\n"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config;
        config.faults = c.faults;
        EngineRig rig(config);
        std::int64_t now = 0;
        rig.engine->SetClock([&now] { return now; });
        c.start(rig);
        ASSERT_TRUE(rig.state().busy);
        now = c.ms;
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.full.endsWith(c.ending)) << rig.host.full.toStdString();
        EXPECT_EQ(rig.host.durations.size(), 1);
    }
}
