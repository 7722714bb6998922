#include <gtest/gtest.h>

#include <QCoreApplication>

#include "engine/protocol.h"
#include "link/window_messages.h"
#include "support/engine_rig.h"

namespace {

const QString kChecking = "QZProgrammer attached! Checking device...";

SimConfig WithChips(std::vector<std::uint8_t> chips) {
    SimConfig c;
    c.chips = std::move(chips);
    return c;
}

SimConfig SilentOn(std::uint8_t command, std::vector<std::uint8_t> chips = {5}) {
    SimConfig c = WithChips(std::move(chips));
    c.faults.silentCommand = command;
    return c;
}

void PostReply(QObject* engine, int outcome, std::int64_t detail, Payload reply = {}) {
    QCoreApplication::postEvent(engine, new AdapterReplyMessage(outcome, detail, reply));
    RunFor(0);
}

}  // namespace

TEST(Detect, WithoutAdapterLogsAndSendsNothing) {
    EngineRig rig({}, /*plugged=*/false);
    rig.engine->Detect();
    RunFor(0);
    EXPECT_EQ(rig.host.committed, "No adapter attached! please check you hardware connection.\r\n");
    EXPECT_TRUE(rig.requests().empty());
    EXPECT_FALSE(rig.state().busy);
    EXPECT_EQ(rig.host.progress.back(), std::make_pair(0, 7));
}

TEST(Detect, NoChipEndsTheJobAndKeepsAutoChip) {
    EngineRig rig(WithChips({}));
    rig.host.autoChip = false;
    rig.engine->Detect();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, kChecking + "no chip detected\r\ndetect: no chip detected\r\n");
    EXPECT_TRUE(rig.host.autoChip);
    EXPECT_EQ(rig.engine->request().chipIndex(), 8);  // the adapter's own byte 3
    ASSERT_EQ(rig.requests().size(), 1u);
    EXPECT_EQ(rig.requests()[0][0], CMD_DETECT);
}

TEST(Detect, OneChipOfEachTypeLogsItsLinesAndSelectsIt) {
    struct Case {
        std::uint8_t type;
        QString lines;
    };
    const Case cases[] = {
        {0, "NEC 78K0S series Microprocessor found\r\n"},
        {1, "PIC24FJ64GA004 found\r\nChip Version:0C0A\r\n"},
        {2, "no chip detected\r\n"},
        {3, "PIC24FJ64GB106 found\r\nChip Version:0C0A\r\n"},
        {4, "no chip detected\r\n"},
        {5, "Maxronix MX25L3208 found\r\n"},
        {6, "NEC 78K0R uPD78F1166 found\r\n"},
        {7, "no chip detected\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.type));
        EngineRig rig(WithChips({c.type}));
        rig.host.autoChip = false;
        rig.engine->Detect();
        ASSERT_TRUE(rig.Settle());
        // The checking line has no line end: the answer continues it.
        EXPECT_EQ(rig.host.committed, kChecking + c.lines);
        EXPECT_EQ(rig.host.selectedChip, c.type);
        EXPECT_TRUE(rig.host.autoChip);
        EXPECT_EQ(rig.engine->request().chipIndex(), c.type);
        EXPECT_FALSE(rig.state().autoProgram);
    }
}

TEST(Detect, TwoChipsAskTheUserToChooseAndEndTheJob) {
    EngineRig rig(WithChips({5, 1}));
    rig.host.selectedChip = 3;
    rig.engine->Detect();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, kChecking +
                                      "Maxronix MX25L3208 found\r\nPIC24FJ64GA004 found\r\nChip Version:0C0A\r\n"
                                      "detect: 2 chips detected, one must be chosen\r\n");
    EXPECT_EQ(rig.prompts.messages,
              QStringList{"more than one chip detected, please select the chip manual!"});
    EXPECT_FALSE(rig.host.autoChip);
    EXPECT_EQ(rig.host.selectedChip, 0);
}

TEST(Detect, TwoChipsEndEvenAnAutoProgram) {
    EngineRig rig(WithChips({0, 3}));
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_FALSE(rig.state().autoProgram);
    EXPECT_EQ(rig.commands(), std::vector<std::uint8_t>{CMD_DETECT});
}

TEST(Detect, RefusedWhileAJobRuns) {
    EngineRig rig(SilentOn(CMD_DETECT));
    rig.engine->Detect();
    rig.engine->Detect();
    RunFor(0);
    EXPECT_EQ(rig.host.committed, kChecking + "Program is busy\r\n");
    EXPECT_EQ(rig.requests().size(), 1u);
    ASSERT_TRUE(rig.Settle());
}

TEST(AutoProgram, RefusesWithoutFileWhileBusyAndWhileDetached) {
    {
        EngineRig rig;
        rig.engine->AutoProgram();
        EXPECT_EQ(rig.host.committed, "please open a file first\r\n");
    }
    {
        EngineRig rig(SilentOn(CMD_DETECT));
        rig.LoadImage();
        rig.engine->Detect();
        rig.engine->AutoProgram();
        EXPECT_EQ(rig.host.committed, kChecking + "Program is busy\r\n");
        ASSERT_TRUE(rig.Settle());
    }
    {
        EngineRig rig({}, /*plugged=*/false);
        rig.LoadImage();
        rig.engine->AutoProgram();
        EXPECT_EQ(rig.host.committed, "Please connect your programmer first!\r\n");
        EXPECT_FALSE(rig.state().busy);
    }
}

TEST(AutoProgram, DetectedChipGoesOnToEraseWithItsIndex) {
    EngineRig rig(SilentOn(CMD_ERASE, {3}));
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(RunUntil([&] { return rig.requests().size() == 2; }));
    const auto requests = rig.requests();
    EXPECT_EQ(requests[1][0], CMD_ERASE);
    EXPECT_EQ(requests[1][3], 3);
    EXPECT_TRUE(rig.state().busy);
    EXPECT_TRUE(rig.state().autoProgram);
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.endsWith("Chip Version:0C0A\r\nErase Failed\r\nerase: no reply within 200 ms\r\n"));
}

TEST(AutoProgram, DetectedChipOutsideTheListEndsTheChain) {
    EngineRig rig(WithChips({8}));
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, kChecking + "no chip detected\r\n"
                                              "detect: the adapter reports chip type 8, which is not in the chip list\r\n");
    EXPECT_FALSE(rig.state().autoProgram);
    EXPECT_EQ(rig.commands(), std::vector<std::uint8_t>{CMD_DETECT});
}

TEST(ChipCheck, AutoChipOffAsksForTheSelectedChipsId) {
    EngineRig rig(SilentOn(CMD_ERASE, {5}));
    rig.host.autoChip = false;
    rig.host.selectedChip = 5;
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(RunUntil([&] { return rig.requests().size() == 2; }));
    const auto requests = rig.requests();
    EXPECT_EQ(requests[0][0], CMD_READ_ID);
    EXPECT_EQ(requests[0][3], 5);
    EXPECT_EQ(requests[1][0], CMD_ERASE);
    EXPECT_EQ(requests[1][3], 5);
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.startsWith(kChecking + "Selected Chip MX25L3208 found!\r\n"));
}

TEST(ChipCheck, ChipsWithoutAMessageNameAreConfirmedByTheirListText) {
    EngineRig rig(SilentOn(CMD_ERASE, {7}));
    rig.host.autoChip = false;
    rig.host.selectedChip = 7;
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.startsWith(kChecking + "Selected Chip BF592 found!\r\n"));
}

TEST(ChipCheck, MismatchEndsTheJob) {
    EngineRig rig(WithChips({5}));
    rig.host.autoChip = false;  // the list still shows the default, PIC24FJ64GA004
    rig.LoadImage();
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed,
              kChecking + "Selected cihp not found!\r\nread id: the adapter reports chip 5, not the selected chip 1\r\n");
    EXPECT_FALSE(rig.state().autoProgram);
    ASSERT_EQ(rig.requests().size(), 1u);
    EXPECT_EQ(rig.requests()[0][3], 1);  // the default selection rides in byte 3
}

TEST(Timeouts, EachCommandHasItsOwnLine) {
    struct Case {
        std::uint8_t silent;
        bool autoChip;
        const char* line;
        const char* step;
    };
    const Case cases[] = {
        {CMD_DETECT, true, "unknown Commands timeout\r\n", "detect"},
        {CMD_READ_ID, false, "Read Id Failed\r\n", "read id"},
        {CMD_ERASE, true, "Erase Failed\r\n", "erase"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.silent));
        EngineRig rig(SilentOn(c.silent, {1}));
        rig.host.autoChip = c.autoChip;
        rig.LoadImage();
        rig.engine->AutoProgram();
        ASSERT_TRUE(rig.Settle());
        // The reason follows the job's own last line.
        EXPECT_TRUE(rig.host.committed.endsWith(c.line + QString(c.step) + ": no reply within 200 ms\r\n"))
            << rig.host.committed.toStdString();
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_EQ(rig.engine->lastJobDetail(), "no reply within 200 ms");
        EXPECT_FALSE(rig.state().autoProgram);
    }
}

// A cancel belongs to the job it was asked of: when that job ends another
// way first (here by a time-out), the next job runs to its end.
TEST(Cancel, EndsOnlyTheJobItWasAskedOf) {
    EngineRig rig(SilentOn(CMD_ERASE));
    rig.engine->Erase();
    rig.engine->Cancel();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.contains("Erase Failed\r\n")) << rig.host.committed.toStdString();
    rig.engine->Detect();
    ASSERT_TRUE(rig.Settle());
    EXPECT_FALSE(rig.host.committed.contains("cancelled")) << rig.host.committed.toStdString();
    EXPECT_TRUE(rig.host.committed.endsWith("MX25L3208 found\r\n")) << rig.host.committed.toStdString();
}

TEST(Cancel, EndsAtTheNextReplyWithTheStepItWasIn) {
    EngineRig rig(WithChips({1}));
    rig.LoadImage(std::vector<std::uint8_t>(0x300, 0x12));
    rig.engine->Program();
    rig.engine->Cancel();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.endsWith("Program cancelled\r\nprogram block at 0x000000: cancelled\r\n"))
        << rig.host.committed.toStdString();
    EXPECT_EQ(rig.commands().size(), 1u);
}

TEST(Replies, IgnoredWhileNoJobRuns) {
    EngineRig rig;
    Payload reply{};
    reply[0] = CMD_DETECT;
    reply[1] = 1;
    reply[16] = 5;
    for (int outcome : {REPLY_READY, REPLY_TIMEOUT, REPLY_NO_HANDLE, REPLY_WRITE_FAILED})
        PostReply(rig.engine.get(), outcome, 1, reply);
    EXPECT_TRUE(rig.host.committed.isEmpty());
    EXPECT_EQ(rig.host.selectedChip, 1);
}

TEST(Replies, LinkErrorsLogTheirLineAndEndTheJob) {
    struct Case {
        int outcome;
        std::int64_t detail;
        QString line;
    };
    const Case cases[] = {
        {REPLY_NO_HANDLE, 0, "write handle error!\r\ndetect: no write handle\r\n"},
        {REPLY_NO_HANDLE, 1, "read handle error!\r\ndetect: no read handle\r\n"},
        {REPLY_WRITE_FAILED, 19, "Usb Error,Error Code:19. Processing Terminated!\r\ndetect: USB write failed, error 19\r\n"},
    };
    for (const Case& c : cases) {
        EngineRig rig(SilentOn(CMD_DETECT));
        rig.LoadImage();
        rig.engine->AutoProgram();
        PostReply(rig.engine.get(), c.outcome, c.detail);
        EXPECT_EQ(rig.host.committed, kChecking + c.line);
        EXPECT_FALSE(rig.state().busy);
        EXPECT_FALSE(rig.state().autoProgram);
        RunFor(250);  // the silent request's time-out comes later and is ignored
        EXPECT_EQ(rig.host.committed, kChecking + c.line);
    }
}

TEST(Replies, FailedOrShortWriteEndsTheJob) {
    for (bool shortWrite : {false, true}) {
        SimConfig config;
        (shortWrite ? config.faults.shortWriteRequest : config.faults.failWriteRequest) = 0;
        config.faults.failWriteError = 5;
        config.faults.shortWriteBytes = 64;
        EngineRig rig(config);
        rig.engine->Detect();
        ASSERT_TRUE(rig.Settle());
        const QString detail = shortWrite ? "USB write of 64 of 273 bytes" : "USB write failed, error 5";
        EXPECT_EQ(rig.host.committed, kChecking + QString("Usb Error,Error Code:%1. Processing Terminated!\r\n")
                                                      .arg(shortWrite ? 64 : 5) + "detect: " + detail + "\r\n");
        EXPECT_EQ(rig.engine->lastJobStep(), "detect");
        EXPECT_EQ(rig.engine->lastJobDetail(), detail);
        rig.engine->Detect();
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.committed.endsWith("Chip Version:0C0A\r\n"));
    }
}

// A reply of another kind never reaches a job's handler: the link drops it
// and waits on, and one that gets past the link ends the job.
// A code the protocol does not have is said once, while the request waits on.
TEST(Replies, ReplyOfTheWrongKindNeverReachesAHandler) {
    struct Case {
        std::uint8_t code;
        QString log;
    };
    const Case cases[] = {
        {CMD_READ_BLOCK, "unknown Commands timeout\r\ndetect: no reply within 200 ms; 1 reply dropped because it "
                         "did not answer the request (code 0x01)\r\n"},
        {2, "undefined commands feed back!unknown Commands timeout\r\ndetect: no reply within 200 ms; 1 reply "
            "dropped because it did not answer the request (code 0x02)\r\n"},
    };
    for (const Case& c : cases) {
        SimConfig config;
        config.faults.wrongEchoRequest = 0;
        config.faults.wrongEchoCode = c.code;
        EngineRig rig(config);
        rig.engine->Detect();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.host.committed, kChecking + c.log);
    }

    // An erase answered as a read block once divided by the empty read range.
    EngineRig direct(SilentOn(CMD_ERASE));
    direct.engine->Erase();
    Payload reply{};
    reply[0] = CMD_READ_BLOCK;
    PostReply(direct.engine.get(), REPLY_READY, 1, reply);
    EXPECT_EQ(direct.host.committed, "undefined commands feed back!\r\nerase: reply of code 0x01 to a request of code 0x07\r\n");
    EXPECT_FALSE(direct.state().busy);
}

// The answer to a timed-out erase comes after all: it must not pass for the
// answer to the next job's first request, whether it is still on its way
// when that request goes out or already waiting in the input queue.
TEST(Replies, LateReplyIsNotTakenForTheNextRequest) {
    for (int pause : {0, 1000}) {
        SCOPED_TRACE(pause);
        SimConfig config = WithChips({1});
        config.faults.lateRequest = 0;
        config.faults.lateReplyMs = EngineRig::ShortTiming().replyTimeoutMs + 100;
        EngineRig rig(config);
        rig.bus->SetVirtualTime(true);
        rig.engine->Erase();
        ASSERT_TRUE(rig.Settle());
        const QString failed = "Erase Failed\r\nerase: no reply within 200 ms\r\n";
        EXPECT_EQ(rig.host.committed, failed);
        rig.bus->AdvanceVirtualTime(pause);
        std::vector<std::uint8_t> image(0x300, 0x5A);
        rig.LoadImage(image);
        rig.engine->Program();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.host.committed, failed + "Programming... 100%\r\nProgram Finished\r\n");
        EXPECT_EQ(rig.adapter->flash(0, 0x300), image);
    }
}

// A job that ended on a deadline can leave its request out; that request's
// outcome, when it comes, is not the answer to the next job's request.
TEST(Replies, OutcomeOfARequestLeftBehindIsNotTheNextJobs) {
    EngineRig rig(SilentOn(CMD_DETECT));
    rig.engine->Detect();
    RunFor(0);
    const std::uint64_t awaited = rig.engine->link().lastRequestSerial();
    Payload stale{};
    stale[0] = CMD_READ_ID;
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, stale, awaited + 7));
    RunFor(0);
    EXPECT_TRUE(rig.state().busy);
    EXPECT_EQ(rig.host.committed, kChecking);
    Payload found{};
    found[0] = CMD_DETECT;
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, found, awaited));
    RunFor(0);
    EXPECT_EQ(rig.host.committed, kChecking + "no chip detected\r\ndetect: no chip detected\r\n");
}

TEST(Replies, AdapterPulledWhileAReplyIsAwaitedEndsTheJob) {
    EngineRig rig(SilentOn(CMD_DETECT));
    LinkTiming timing = EngineRig::ShortTiming();
    rig.engine->Detect();
    RunFor(5);
    rig.bus->UnplugAdapter();
    ASSERT_TRUE(rig.Settle(timing.replyTimeoutMs / 2));
    const QString removed = "Adapter removed, Detect terminated!\r\ndetect: adapter removed\r\n";
    EXPECT_EQ(rig.host.committed, kChecking + removed);
    RunFor(150);
    EXPECT_EQ(rig.host.committed, kChecking + removed);
}

// A skipped blank block's answer is made up by the host and still on its way
// when the adapter goes: the line names the job, not the erase sent before it.
TEST(Replies, AdapterPulledWithASkippedBlockPendingNamesTheJob) {
    EngineRig rig(WithChips({1}));
    rig.engine->Erase();
    ASSERT_TRUE(rig.Settle());
    std::vector<std::uint8_t> image(0x200, 0xFF);
    image[0x100] = 0;
    rig.LoadImage(image);
    rig.engine->Program();
    HotplugEvent removal{HotplugEvent::Kind::Removal, SimulatedBackend::kAdapterPath, kAdapterVendorId,
                         kAdapterProductId};
    rig.engine->link().OnDeviceChange(removal);
    RunFor(0);
    EXPECT_EQ(rig.host.committed,
              "Erase Finished\r\nAdapter removed, Program terminated!\r\nprogram block at 0x000000: adapter removed\r\n");
    EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{CMD_ERASE}));
}

TEST(Progress, PercentMessageShowsATransientLineAndMovesTheBar) {
    EngineRig rig;
    rig.host.AppendLog("before\r\n");
    for (int percent : {7, 42}) {
        QCoreApplication::postEvent(rig.engine.get(),
                                    new WindowMessage(WM_JOB_PROGRESS, PROGRESS_PERCENT, percent));
        RunFor(0);
    }
    EXPECT_EQ(rig.host.shown, "before\r\nProcessing... 42%\r\n");
    EXPECT_EQ(rig.host.committed, "before\r\n");
    EXPECT_EQ(rig.host.progress.back(), std::make_pair(100, 42));
}
