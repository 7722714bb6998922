#include <gtest/gtest.h>

#include <QCoreApplication>

#include "engine/protocol.h"
#include "link/window_messages.h"
#include "support/engine_rig.h"
#include "support/temp_files.h"

namespace {

// A firmware image: the boot loader's area, then `blocks` blocks of program.
std::vector<std::uint8_t> Firmware(int blocks, int blankBlock = -1) {
    std::vector<std::uint8_t> image(0x2800 + std::size_t(blocks) * 256, 0xFF);
    for (int b = 0; b < blocks; ++b)
        if (b != blankBlock)
            for (int i = 0; i < 256; ++i) image[0x2800 + std::size_t(b * 256 + i)] = std::uint8_t(b + i);
    return image;
}

SimConfig Boot(SimConfig::BootEntry entry) {
    SimConfig c;
    c.chips = {5};
    c.bootEntry = entry;
    c.reconnectDelayMs = 40;
    return c;
}

struct FirmwareRig : EngineRig {
    TempFiles files;
    using EngineRig::EngineRig;

    void Start(const std::vector<std::uint8_t>& image) {
        prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("fw.bin", image), 2});
        engine->StartFirmwareUpdate();
    }
    std::vector<std::uint32_t> writtenWords() const {
        std::vector<std::uint32_t> out;
        for (const Payload& p : requests())
            if (p[0] == CMD_WRITE_BLOCK) out.push_back(std::uint32_t(p[4] | p[5] << 8 | p[6] << 16));
        return out;
    }
};

const std::vector<std::uint8_t> kUpdate = {CMD_ENTER_BOOT, CMD_READ_ID, CMD_ERASE, CMD_WRITE_BLOCK,
                                           CMD_WRITE_BLOCK, CMD_WRITE_BLOCK, CMD_PROGRAM_VERIFY,
                                           CMD_FIRMWARE_DONE};

}  // namespace

TEST(FirmwareUpdate, BootReadyRunsOnTheSameConnection) {
    FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
    const auto image = Firmware(3);
    rig.Start(image);
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.commands(), kUpdate);
    EXPECT_EQ(rig.writtenWords(), (std::vector<std::uint32_t>{0x1400, 0x1480, 0x1500}));
    EXPECT_TRUE(rig.host.committed.endsWith(
        " bytes!\r\nFormat: binary\r\nStart update firmware...\r\nchip id:4202,chip version:103\r\nErase Finished\r\n"
        "Programming... 100%\r\nProgram Finished\r\nVerify OK\r\nFirmware Updated succeed!\r\n"));
    EXPECT_EQ(rig.adapter->firmware(0x1400, 0x180),
              std::vector<std::uint8_t>(image.begin() + 0x2800, image.end()));
    EXPECT_FALSE(rig.state().firmwareUpdate);
    EXPECT_FALSE(rig.state().fileLoaded);

    rig.engine->AutoProgram();
    EXPECT_TRUE(rig.host.committed.endsWith("please open a file first\r\n"));
}

TEST(FirmwareUpdate, RestartingAdapterIsFollowedThroughRemovalAndArrival) {
    FirmwareRig rig(Boot(SimConfig::BootEntry::Restarting));
    rig.Start(Firmware(3));
    ASSERT_TRUE(RunUntil([&] { return rig.engine->waitingForReconnect(); }));
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.commands(), kUpdate);
    EXPECT_TRUE(rig.host.committed.endsWith("Firmware Updated succeed!\r\n"));
    EXPECT_TRUE(rig.engine->link().isOpen());
}

TEST(FirmwareUpdate, ReconnectDeadlineEndsTheUpdateAndALateIdIsIgnored) {
    SimConfig config = Boot(SimConfig::BootEntry::Restarting);
    config.reconnectDelayMs = 20;
    config.commandLatencyMs[CMD_READ_ID] = 500;  // the id arrives after the deadline
    LinkTiming timing = EngineRig::ShortTiming();
    timing.replyTimeoutMs = 2000;
    timing.reconnectDeadlineMs = 250;
    FirmwareRig rig(config, true, timing);
    rig.Start(Firmware(2));
    ASSERT_TRUE(RunUntil([&] { return rig.host.committed.contains("Reconnect Time out!"); }));
    EXPECT_FALSE(rig.state().busy);
    EXPECT_FALSE(rig.state().firmwareUpdate);
    EXPECT_EQ(rig.commands().back(), CMD_READ_ID);
    RunFor(600);
    EXPECT_TRUE(rig.host.committed.endsWith(
        "Start update firmware...\r\nReconnect Time out!\r\nreconnect: the adapter was not back within 250 ms\r\n"));
}

TEST(FirmwareUpdate, BlankBlocksAreSkippedUnlessTheChipIndexIs6) {
    for (std::uint8_t chip : {std::uint8_t(5), std::uint8_t(6)}) {
        FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
        rig.engine->request().SetChipIndex(chip);
        rig.Start(Firmware(3, /*blankBlock=*/1));
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.writtenWords().size(), chip == 6 ? 3u : 2u);
        EXPECT_TRUE(rig.host.committed.endsWith("Firmware Updated succeed!\r\n"));
    }
}

TEST(FirmwareUpdate, PercentReachesAHundredOnlyAtTheEnd) {
    FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
    rig.Start(Firmware(4));
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.transients, (QStringList{"Programming... 25%\r\n", "Programming... 50%\r\n",
                                                "Programming... 75%\r\n", "Programming... 100%\r\n",
                                                "Programming... 100%\r\n"}));
}

TEST(FirmwareUpdate, RefusalsAndEarlyEnds) {
    {   // A file with nothing past the boot loader's area is refused before
        // anything goes to the adapter, and leaves nothing to program the chip with.
        FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
        rig.Start(std::vector<std::uint8_t>(0x2800, 0x00));
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.requests().empty());
        EXPECT_TRUE(rig.host.committed.endsWith("Firmware file too small, Update Terminated!\r\nload file: "
                                                "10240 bytes end before the program area at 0x2800\r\n"));
        EXPECT_EQ(rig.engine->lastJobStep(), "load file");
        EXPECT_FALSE(rig.state().firmwareUpdate);
        EXPECT_FALSE(rig.state().fileLoaded);
        EXPECT_TRUE(rig.host.viewData.empty());
        rig.engine->Program();
        EXPECT_TRUE(rig.host.committed.endsWith("please open a file first\r\n"));
    }
    {   // One word past it: one block, and the percentage stops at a hundred.
        FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
        rig.Start(std::vector<std::uint8_t>(0x2802, 0x00));
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.writtenWords(), (std::vector<std::uint32_t>{0x1400}));
        EXPECT_EQ(rig.host.transients.back(), "Programming... 100%\r\n");
    }
    {   // Busy, then a cancelled file dialog.
        SimConfig config = Boot(SimConfig::BootEntry::Ready);
        config.faults.silentCommand = CMD_DETECT;
        FirmwareRig rig(config);
        rig.engine->Detect();
        rig.engine->StartFirmwareUpdate();
        EXPECT_TRUE(rig.host.committed.endsWith("Progrmming is busy!\r\n"));
        ASSERT_TRUE(rig.Settle());
        rig.engine->StartFirmwareUpdate();
        ASSERT_TRUE(RunUntil([&] { return !rig.state().busy; }));
        EXPECT_FALSE(rig.state().firmwareUpdate);
    }
}

// An adapter re-plugged while the file dialog is up is in application mode:
// continuing the update there would erase and write the chip in its socket.
TEST(FirmwareUpdate, ReplugWhileTheFileDialogIsUpContinuesNothing) {
    FirmwareRig rig(Boot(SimConfig::BootEntry::Restarting));
    rig.prompts.whileOpenDialogUp = [&] {
        rig.bus->UnplugAdapter();
        ASSERT_TRUE(RunUntil([&] { return !rig.engine->link().attached(); }));
        rig.bus->PlugAdapter();
        ASSERT_TRUE(RunUntil([&] { return rig.engine->link().isOpen() && !rig.engine->link().reopenPending(); }));
        RunFor(20);
    };
    rig.engine->StartFirmwareUpdate();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.requests().empty());
}

TEST(FirmwareUpdate, TimeOutClearsTheUpdateSoALaterLoadDoesNotContinueIt) {
    SimConfig config = Boot(SimConfig::BootEntry::Ready);
    config.faults.silentCommand = CMD_READ_ID;
    FirmwareRig rig(config);
    rig.Start(Firmware(2));
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.endsWith("Start update firmware...\r\nRead Id Failed\r\n"
                                            "read id: no reply within 200 ms\r\n"));
    EXPECT_FALSE(rig.state().firmwareUpdate);

    rig.adapter->ClearTranscript();
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{rig.files.Write("chip.bin", Firmware(1)), 2});
    rig.engine->OpenFile();
    ASSERT_TRUE(RunUntil([&] { return rig.state().fileLoaded; }));
    RunFor(50);
    EXPECT_TRUE(rig.requests().empty());
}

TEST(FirmwareUpdate, UnknownBootAnswerEndsTheUpdate) {
    SimConfig config = Boot(SimConfig::BootEntry::Ready);
    config.faults.silentCommand = CMD_ENTER_BOOT;
    FirmwareRig rig(config);
    rig.Start(Firmware(2));
    ASSERT_TRUE(RunUntil([&] { return rig.requests().size() == 1; }));
    Payload reply{};
    reply[0] = CMD_ENTER_BOOT;
    reply[12] = 0x21;
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, reply));
    RunFor(0);
    EXPECT_TRUE(rig.host.committed.endsWith("Enter boot mode failed,Please try again!\r\n"
                                            "enter boot: wrong status 0x21\r\n"));
    EXPECT_FALSE(rig.state().busy);
    EXPECT_FALSE(rig.state().firmwareUpdate);
}

TEST(FirmwareUpdate, TimeOutsOfItsOwnCommandsHaveTheirLines) {
    struct Case {
        std::uint8_t silent;
        const char* line;
        bool succeeded;
        const char* step;
    };
    const Case cases[] = {
        {CMD_ENTER_BOOT, "Enter boot mode failed,Please try again!\r\n", false, "enter boot"},
        {CMD_FIRMWARE_DONE, "Firmware Updated succeed! Please Reset your programmer Manual.\r\n", true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.silent));
        SimConfig config = Boot(SimConfig::BootEntry::Ready);
        config.faults.silentCommand = c.silent;
        FirmwareRig rig(config);
        rig.Start(Firmware(1));
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.committed.contains(c.line)) << rig.host.committed.toStdString();
        EXPECT_FALSE(rig.state().firmwareUpdate);
        EXPECT_EQ(rig.engine->lastJobSucceeded(), c.succeeded);
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_EQ(rig.engine->lastJobDetail(), c.succeeded ? "" : "no reply within 200 ms");
    }
}

// Words are written up to the image's end: an odd last byte goes out in a
// word of its own, its other half blank, and the store holds every byte.
TEST(FirmwareUpdate, OddSizedImagesAreWrittenToTheirLastByte) {
    for (std::size_t size : {0x2801u, 0x2803u, 0x28FFu, 0x2901u, 0x2A01u}) {
        SCOPED_TRACE(size);
        std::vector<std::uint8_t> image(size);
        for (std::size_t i = 0; i < size; ++i) image[i] = std::uint8_t(i * 5 + 1);
        FirmwareRig rig(Boot(SimConfig::BootEntry::Ready));
        rig.Start(image);
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.engine->lastJobSucceeded());
        EXPECT_EQ(rig.writtenWords().size(), (size - 0x2800 + 255) / 256);
        std::vector<std::uint8_t> expected(image.begin() + 0x2800, image.end());
        expected.resize(expected.size() + 1, 0xFF);
        EXPECT_EQ(rig.adapter->firmware(0x1400, std::uint32_t(expected.size() / 2)), expected);
        // Past the image the last block is blank, whatever the buffer held.
        const Payload last = rig.requests()[rig.requests().size() - 3];
        ASSERT_EQ(last[0], CMD_WRITE_BLOCK);
        EXPECT_EQ(last[16 + 255], 0xFF);
        EXPECT_EQ(rig.host.transients.back(), "Programming... 100%\r\n");
    }
}

// After CMD_FIRMWARE_DONE the adapter restarts into its new firmware, often
// without answering: its silence or its leaving the bus is that success.
// Before it, a removal ends the update as failed.
TEST(FirmwareUpdate, EndsAfterTheDoneRequestAreSuccesses) {
    struct Case {
        const char* name;
        int silent;         // no reply to this command
        int unplugAfter;    // the adapter leaves once this reply is read
        int pullWhenSent;   // the user pulls the adapter while this command waits
        const char* line;
        bool succeeded;
        const char* step;
        const char* detail;
    };
    const char* kManual = "Firmware Updated succeed! Please Reset your programmer Manual.\r\n";
    const Case cases[] = {
        {"pulled after done", CMD_FIRMWARE_DONE, -1, CMD_FIRMWARE_DONE, kManual, true, "", ""},
        {"leaves after answering done", -1, 5, -1, "Firmware Updated succeed!", true, "", ""},
        {"pulled during erase", CMD_ERASE, -1, CMD_ERASE, "Adapter removed, Firmware update terminated!\r\n",
         false, "firmware erase", "adapter removed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config = Boot(SimConfig::BootEntry::Ready);
        config.faults.silentCommand = c.silent;
        config.faults.unplugAfterRequest = c.unplugAfter;
        FirmwareRig rig(config);
        rig.Start(Firmware(1));
        if (c.pullWhenSent >= 0) {
            ASSERT_TRUE(RunUntil([&] { return !rig.commands().empty() && rig.commands().back() == c.pullWhenSent; }));
            RunFor(5);
            rig.bus->UnplugAdapter();
        }
        ASSERT_TRUE(rig.Settle());
        RunFor(20);
        EXPECT_TRUE(rig.host.committed.contains(c.line)) << rig.host.committed.toStdString();
        EXPECT_EQ(rig.engine->lastJobSucceeded(), c.succeeded);
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_EQ(rig.engine->lastJobDetail(), c.detail);
        EXPECT_FALSE(rig.state().firmwareUpdate);
        EXPECT_EQ(rig.host.durations.size(), 1);
    }
}

// Stop before the erase request has gone out ends the update with the old
// firmware whole, the adapter out of its boot loader; after it the update is
// seen through, and the log says why once however often Stop is pressed.
TEST(FirmwareUpdate, StopEndsItBeforeTheEraseAndIsSeenThroughAfter) {
    enum class When { FileDialog, BootReadyAnswer, ReadIdAnswer, Reconnecting, EraseSent };
    struct Case {
        const char* name;
        When when;
        SimConfig::BootEntry entry;
        std::vector<std::uint8_t> commands;
        const char* step;  // empty: the update succeeded
    };
    const char* kGoesOn =
        "The firmware update goes on to its end: stopped half way, it would leave the adapter without firmware\r\n";
    const Case cases[] = {
        {"while the file dialog is up", When::FileDialog, SimConfig::BootEntry::Ready, {}, "load file"},
        {"boot loader ready", When::BootReadyAnswer, SimConfig::BootEntry::Ready,
         {CMD_ENTER_BOOT, CMD_FIRMWARE_DONE}, "enter boot"},
        {"boot loader's id read", When::ReadIdAnswer, SimConfig::BootEntry::Ready,
         {CMD_ENTER_BOOT, CMD_READ_ID, CMD_FIRMWARE_DONE}, "read id"},
        {"adapter restarting", When::Reconnecting, SimConfig::BootEntry::Restarting,
         {CMD_ENTER_BOOT, CMD_FIRMWARE_DONE}, "reconnect"},
        {"erase sent", When::EraseSent, SimConfig::BootEntry::Ready, kUpdate, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config = Boot(c.entry);
        // The request's reply is held back and given by the test once Stop is in.
        if (c.when == When::BootReadyAnswer) config.faults.silentCommand = CMD_ENTER_BOOT;
        if (c.when == When::ReadIdAnswer) config.faults.silentCommand = CMD_READ_ID;
        // Time enough for Stop to come between the erase and the end.
        if (c.when == When::EraseSent) config.commandLatencyMs[CMD_WRITE_BLOCK] = 30;
        FirmwareRig rig(config);
        const std::vector<std::uint8_t> before = rig.adapter->firmware(0x1400, 0x180);
        auto stopWhenSent = [&](std::uint8_t code) {
            ASSERT_TRUE(RunUntil([&] {
                const std::vector<std::uint8_t> sent = rig.commands();
                return std::find(sent.begin(), sent.end(), code) != sent.end();
            }));
            rig.engine->Cancel();
            if (c.when == When::EraseSent) return rig.engine->Cancel();
            Payload reply{};
            reply[0] = code;
            reply[12] = BOOT_READY;
            QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, reply));
        };
        if (c.when == When::FileDialog) rig.prompts.whileOpenDialogUp = [&] { rig.engine->Cancel(); };
        rig.Start(Firmware(3));
        if (c.when == When::BootReadyAnswer) stopWhenSent(CMD_ENTER_BOOT);
        if (c.when == When::ReadIdAnswer) stopWhenSent(CMD_READ_ID);
        if (c.when == When::EraseSent) stopWhenSent(CMD_ERASE);
        if (c.when == When::Reconnecting) {
            ASSERT_TRUE(RunUntil([&] { return rig.engine->waitingForReconnect(); }));
            rig.engine->Cancel();
        }
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.commands(), c.commands);
        EXPECT_FALSE(rig.adapter->bootMode());
        EXPECT_FALSE(rig.state().firmwareUpdate);
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_EQ(rig.host.durations.size(), 1);
        if (*c.step) {
            EXPECT_EQ(rig.adapter->firmware(0x1400, 0x180), before);
            EXPECT_TRUE(rig.host.committed.endsWith("Firmware update cancelled\r\n" + QString(c.step) +
                                                    ": cancelled\r\n"))
                << rig.host.committed.toStdString();
            EXPECT_FALSE(rig.host.committed.contains(kGoesOn));
        } else {
            EXPECT_TRUE(rig.engine->lastJobSucceeded());
            EXPECT_EQ(rig.host.committed.count(kGoesOn), 1);
            EXPECT_TRUE(rig.host.committed.endsWith("Firmware Updated succeed!\r\n"));
        }
    }
}
