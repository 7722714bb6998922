#include <gtest/gtest.h>

#include <QCoreApplication>

#include "engine/protocol.h"
#include "link/window_messages.h"
#include "support/engine_rig.h"

namespace {

// Puts an image into the program image as a successful load would.
void LoadImage(EngineRig& rig, const std::vector<std::uint8_t>& bytes) {
    std::uint8_t* staging = rig.engine->image().ResetStaging();
    std::copy(bytes.begin(), bytes.end(), staging);
    rig.engine->image().CommitLoad(std::uint32_t(bytes.size()));
    rig.state().fileLoaded = true;
}

std::vector<std::uint8_t> Blocks(std::initializer_list<int> fills) {
    std::vector<std::uint8_t> image;
    int n = 0;
    for (int fill : fills) {
        for (int i = 0; i < 256; ++i) image.push_back(fill < 0 ? std::uint8_t(n + i) : std::uint8_t(fill));
        ++n;
    }
    return image;
}

SimConfig Chip(std::uint8_t chip) {
    SimConfig c;
    c.chips = {chip};
    return c;
}

std::vector<std::uint32_t> AddressesOf(const std::vector<Payload>& requests, std::uint8_t code) {
    std::vector<std::uint32_t> out;
    for (const Payload& p : requests)
        if (p[0] == code) out.push_back(std::uint32_t(p[4] | p[5] << 8 | p[6] << 16 | p[7] << 24));
    return out;
}

ReadOptions Range(ReadRangeMode mode, QString a = {}, QString b = {}) {
    ReadOptions o;
    o.mode = mode;
    if (mode == ReadRangeMode::FromTo) o.fromToStart = a, o.fromToEnd = b;
    if (mode == ReadRangeMode::FromBeginTo) o.fromBeginToEnd = a;
    if (mode == ReadRangeMode::FromToEnd) o.fromToEndStart = a;
    return o;
}

void DetectFirst(EngineRig& rig) {
    rig.engine->Detect();
    ASSERT_TRUE(rig.Settle());
    rig.host.ClearLog();
    rig.adapter->ClearTranscript();
}

}  // namespace

TEST(Program, SkipsBlankBlocksAndLandsTheDataInTheChip) {
    EngineRig rig(Chip(1));
    const auto image = Blocks({-1, 0xFF, -1, 0xFF});
    LoadImage(rig, image);
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());

    const auto requests = rig.requests();
    ASSERT_EQ(AddressesOf(requests, CMD_WRITE_BLOCK), (std::vector<std::uint32_t>{0, 0x200}));
    const Payload& first = requests[0];
    EXPECT_EQ(first[1], 0x00);
    EXPECT_EQ(first[2], 0x01);                        // 256, and not the last block
    EXPECT_EQ(first[8] | first[9] << 8, 0x400);       // the image size rides with every block
    EXPECT_EQ(requests[1][15], 0x02);                 // bits 8..15 of the address
    EXPECT_TRUE(std::equal(image.begin() + 0x200, image.begin() + 0x300, requests[1].begin() + 16));
    EXPECT_EQ(rig.adapter->flash(0, 0x400), image);
    // The last block shows 100 %, and the job's end stays in the log.
    EXPECT_TRUE(rig.host.transients.contains("Programming... 75%\r\n"));
    EXPECT_EQ(rig.host.committed, "Programming... 100%\r\nProgram Finished\r\n");
    EXPECT_TRUE(rig.engine->lastJobSucceeded());
}

TEST(Program, The78K0RWritesBlankBlocksToo) {
    EngineRig rig(Chip(6));
    DetectFirst(rig);
    LoadImage(rig, Blocks({-1, 0xFF, 0xFF}));
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(AddressesOf(rig.requests(), CMD_WRITE_BLOCK), (std::vector<std::uint32_t>{0, 0x100, 0x200}));
}

TEST(Program, LastBlockFlagMarksTheBlockThatReachesTheImageSize) {
    EngineRig rig(Chip(1));
    auto image = Blocks({-1, -1, -1, -1});
    image.resize(0x380);
    LoadImage(rig, image);
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    const auto requests = rig.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0][2], 0x01);
    EXPECT_EQ(requests[1][2], 0x01);
    EXPECT_EQ(requests[2][2], 0x01);
    EXPECT_EQ(requests[3][2], 0x81);
}

TEST(Program, SixtyFourKilobytesEndOnAFullBar) {
    EngineRig rig(Chip(1));
    std::vector<std::uint8_t> image(65536);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint8_t(i * 7);
    LoadImage(rig, image);
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.transients.mid(rig.host.transients.size() - 2),
              (QStringList{"Programming... 99%\r\n", "Programming... 100%\r\n"}));
    EXPECT_EQ(rig.host.progress.back(), std::make_pair(100, 100));
    EXPECT_EQ(rig.adapter->flash(0, 65536), image);
}

TEST(Program, MX25L3208ReadBackMismatchIsAVerifyError) {
    SimConfig config = Chip(5);
    config.faults.corruptReadBack = 2;  // the second write block (after the detect)
    EngineRig rig(config);
    DetectFirst(rig);
    LoadImage(rig, Blocks({-1, -1, -1}));
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, "Programming... 33%\r\nVerify Error!\r\nprogram block at 0x000100: write reply "
                                  "data differs from the block sent at 0x000125\r\n");
    EXPECT_EQ(AddressesOf(rig.requests(), CMD_WRITE_BLOCK).size(), 2u);
}

TEST(Program, RefusedWriteIsAProgrammingError) {
    SimConfig config = Chip(1);
    config.faults.refuseWriteBlock = 1;
    EngineRig rig(config);
    LoadImage(rig, Blocks({-1, -1, -1}));
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    // The percent lines replace each other; the last one stays above the error.
    EXPECT_EQ(rig.host.committed,
              "Programming... 66%\r\nProgramming Error!\r\nprogram block at 0x000100: wrong status 0x15\r\n");
}

TEST(Program, SkippedBlockAfterADetectIsAcceptedNotRefused) {
    EngineRig rig(Chip(1));
    DetectFirst(rig);
    ASSERT_NE(rig.engine->replyCopy()[12], STATUS_ACK);
    LoadImage(rig, Blocks({0xFF, -1}));
    rig.engine->Program();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, "Programming... 100%\r\nProgram Finished\r\n");
    EXPECT_EQ(AddressesOf(rig.requests(), CMD_WRITE_BLOCK), (std::vector<std::uint32_t>{0x100}));
}

TEST(Program, RefusesWhileBusyAndWithoutAFile) {
    EngineRig rig(Chip(1));
    rig.engine->Program();
    EXPECT_EQ(rig.host.committed, "please open a file first\r\n");
    EXPECT_TRUE(rig.requests().empty());

    rig.engine->Verify();
    EXPECT_EQ(rig.host.committed, "please open a file first\r\nplease open a file first\r\n");

    // An image with no data is loaded, but programs nothing.
    LoadImage(rig, {});
    rig.engine->image().loadedFilePath = "/tmp/empty.bin";
    rig.engine->Program();
    rig.engine->AutoProgram();
    EXPECT_EQ(rig.host.committed, "please open a file first\r\nplease open a file first\r\n" +
                                      QString("/tmp/empty.bin holds no data\r\n").repeated(2));
    EXPECT_EQ(rig.engine->jobsBegun(), 0u);

    LoadImage(rig, Blocks({-1}));
    rig.host.ClearLog();
    rig.engine->Verify();
    rig.engine->Program();
    rig.engine->Verify();
    rig.engine->Erase();
    rig.engine->AutoProgram();
    rig.engine->Read();
    EXPECT_EQ(rig.host.committed, "QZProgrammer attached! Checking device..." +
                                      QString("Program is busy\r\n").repeated(5));
    EXPECT_EQ(rig.prompts.readOptionQuestions, 0);
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{CMD_DETECT, CMD_VERIFY}));
}

// The adapter's answer to a verify says nothing of the chip: the host reads
// the image's range back and compares it, and says so only when it matches.
TEST(Verify, ReadsTheImageBackAndComparesItOnTheHost) {
    struct Case {
        const char* name;
        std::uint8_t access;
        bool programmed;
        int corruptRequest;
        const char* last;
        std::size_t differing;
        const char* detail;  // the start of it
        std::vector<std::uint8_t> chips = {1};
        int reads = 3;
    };
    const Case cases[] = {
        {"erased chip", ACCESS_JTAG, false, SimConfig::kNever, "Verify Error at 000000: 510 bytes differ\r\n", 510,
         "verify read-back: read-back differs at 0x000000 (510 bytes)"},
        {"programmed chip", ACCESS_JTAG, true, SimConfig::kNever, "Verify Succeed!\r\n", 0, ""},
        {"damaged read-back", ACCESS_JTAG, true, 3, "Verify Error at 000", 3,
         "verify read-back: read-back differs at 0x000"},
        {"direct access", ACCESS_DIRECT, true, SimConfig::kNever,
         "Nothing compared: Direct access cannot read the chip back (choose JTAG Access in Configuration)\r\n", 0,
         "verify read-back: Direct access cannot read the chip back", {1}, 0},
        // An empty socket or another chip is no pass, whatever the adapter's verify says.
        {"empty socket", ACCESS_JTAG, true, SimConfig::kNever, "no chip detected\r\n", 0, "detect: no chip detected",
         {}, 0},
        {"other chip", ACCESS_JTAG, true, SimConfig::kNever, "Selected cihp not found!\r\n", 0,
         "read id: the adapter reports chip 5, not the selected chip 1", {5}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config = Chip(1);
        config.chips = c.chips;
        config.faults.corruptReadBack = c.corruptRequest;
        config.faults.corruptBytes = 3;
        EngineRig rig(config);
        rig.host.autoChip = c.chips.size() != 1 || c.chips[0] == 1;
        rig.engine->SetAccessMode(c.access);
        const auto image = Blocks({-1, 0xFF, -1});
        if (c.programmed) rig.adapter->PresetFlash(0, image);
        LoadImage(rig, image);
        rig.engine->Verify();
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.committed.contains(c.last)) << rig.host.committed.toStdString();
        EXPECT_EQ(rig.engine->differences().size(), c.differing);
        EXPECT_EQ(rig.engine->lastJobSucceeded(), *c.detail == 0);
        EXPECT_TRUE((rig.engine->lastJobStep() + ": " + rig.engine->lastJobDetail()).startsWith(c.detail));
        const auto reads = AddressesOf(rig.requests(), CMD_READ_BLOCK);
        EXPECT_EQ(reads.size(), std::size_t(c.reads));
        // The chip is checked first; only the chip asked for is verified.
        EXPECT_EQ(rig.commands().front(), rig.host.autoChip ? CMD_DETECT : CMD_READ_ID);
        EXPECT_EQ(rig.commands().size() > 1 && rig.commands()[1] == CMD_VERIFY, c.chips == std::vector<std::uint8_t>{1});
    }
}

TEST(AutoProgramChain, RunsFromDetectionThroughEraseProgramAndVerify) {
    EngineRig rig(Chip(5));
    rig.engine->SetAccessMode(ACCESS_JTAG);
    const auto image = Blocks({-1, 0xFF, -1});
    LoadImage(rig, image);
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.commands(),
              (std::vector<std::uint8_t>{CMD_DETECT, CMD_ERASE, CMD_WRITE_BLOCK, CMD_WRITE_BLOCK,
                                         CMD_PROGRAM_VERIFY, CMD_READ_BLOCK, CMD_READ_BLOCK, CMD_READ_BLOCK}));
    EXPECT_EQ(rig.host.committed,
              "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\r\nErase Finished\r\n"
              "Programming... 100%\r\nProgram Finished\r\nProcessing... 100%\r\nVerify OK\r\n");
    EXPECT_FALSE(rig.state().autoProgram);
    EXPECT_EQ(rig.adapter->flash(0, image.size()), image);
    // Once detected, the chip index rides along on every request.
    const auto requests = rig.requests();
    for (std::size_t i = 1; i < requests.size(); ++i) EXPECT_EQ(requests[i][3], 5) << int(requests[i][0]);
}

TEST(AutoProgramChain, AllBlankImageStillEndsWithTheClosingVerify) {
    EngineRig rig(Chip(1));
    LoadImage(rig, Blocks({0xFF, 0xFF, 0xFF, 0xFF}));
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{CMD_DETECT, CMD_ERASE, CMD_PROGRAM_VERIFY}));
    // Direct access: the closing verify cannot be checked, and does not claim to be.
    EXPECT_TRUE(rig.host.committed.endsWith(
        "Programming... 100%\r\nProgram Finished\r\nNothing compared: Direct access cannot read the chip "
        "back (choose JTAG Access in Configuration)\r\nclosing verify read-back: Direct access cannot read the "
        "chip back\r\n"));
    EXPECT_FALSE(rig.engine->lastJobSucceeded());
}

TEST(AutoProgramChain, EraseRefusalEndsTheChain) {
    SimConfig config = Chip(1);
    config.faults.refuseErase = true;
    EngineRig rig(config);
    LoadImage(rig, Blocks({-1}));
    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.endsWith("Chip Version:0C0A\r\nErase failure\r\nerase: wrong status 0x15\r\n"));
    EXPECT_FALSE(rig.state().autoProgram);
    EXPECT_EQ(rig.commands(), (std::vector<std::uint8_t>{CMD_DETECT, CMD_ERASE}));
}

TEST(AutoProgramChain, EraseReplyWithAnUnknownStatusEndsTheChain) {
    SimConfig config = Chip(1);
    config.faults.silentCommand = CMD_ERASE;
    EngineRig rig(config);
    LoadImage(rig, Blocks({-1}));
    rig.engine->AutoProgram();
    ASSERT_TRUE(RunUntil([&] { return rig.commands().size() == 2; }));
    RunFor(0);
    rig.host.ClearLog();
    Payload reply{};
    reply[0] = CMD_ERASE;
    reply[12] = 0x42;
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, reply));
    RunFor(0);
    EXPECT_EQ(rig.host.committed, "Erase failure\r\nerase: wrong status 0x42\r\n");
    EXPECT_FALSE(rig.state().busy);
}

// Outside an auto program only a refusal is a failed erase.
TEST(PlainErase, FinishesUnlessRefused) {
    for (bool refuse : {false, true}) {
        SimConfig config = Chip(1);
        config.faults.refuseErase = refuse;
        EngineRig rig(config);
        rig.engine->Erase();
        ASSERT_TRUE(rig.Settle());
        EXPECT_EQ(rig.host.committed, refuse ? "Erase failure\r\nerase: wrong status 0x15\r\n" : "Erase Finished\r\n");
    }
}

TEST(Timeouts, EveryDataStepHasItsLine) {
    struct Case {
        std::uint8_t silent;
        bool autoProgram;
        void (JobEngine::*start)();
        const char* line;
        const char* step;
    };
    const Case cases[] = {
        {CMD_ERASE, false, &JobEngine::Erase, "Erase Failed\r\n", "erase"},
        {CMD_WRITE_BLOCK, false, &JobEngine::Program, "Write Failed\r\n", "program block at 0x000000"},
        {CMD_PROGRAM_VERIFY, true, &JobEngine::AutoProgram, "Verify Failed\r\n", "closing verify"},
        {CMD_VERIFY, false, &JobEngine::Verify, "unknown Commands timeout\r\n", "verify"},
        {CMD_READ_BLOCK, false, &JobEngine::Verify, "unknown Commands timeout\r\n", "verify read-back at 0x000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.silent));
        SimConfig config = Chip(1);
        config.faults.silentCommand = c.silent;
        EngineRig rig(config);
        LoadImage(rig, Blocks({-1}));
        rig.engine->SetAccessMode(ACCESS_JTAG);
        (rig.engine.get()->*c.start)();
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.committed.endsWith(c.line + QString(c.step) + ": no reply within 200 ms\r\n"))
            << rig.host.committed.toStdString();
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_FALSE(rig.state().autoProgram);
    }
}

TEST(Read, JtagReadStartsAtZeroAndShowsUpToTheEnd) {
    EngineRig rig(Chip(1));
    rig.engine->SetAccessMode(ACCESS_JTAG);
    std::vector<std::uint8_t> content(0x2000);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = std::uint8_t(i * 3 + 1);
    rig.adapter->PresetFlash(0, content);
    rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::FromTo, "1000", "1fff"));
    rig.engine->Read();
    ASSERT_TRUE(rig.Settle());

    std::vector<std::uint32_t> expected;
    for (std::uint32_t a = 0; a <= 0x1F00; a += 0x100) expected.push_back(a);
    EXPECT_EQ(AddressesOf(rig.requests(), CMD_READ_BLOCK), expected);
    for (const Payload& p : rig.requests()) {
        EXPECT_EQ(p[1] | p[2] << 8, 256);
        EXPECT_EQ(p[13], ACCESS_JTAG);
    }
    EXPECT_EQ(rig.host.committed, "Processing... 100%\r\nRead from addr:001000 to 001FFF finished!\r\n");
    EXPECT_EQ(rig.host.viewData, content);
    EXPECT_TRUE(rig.host.hexViewEnabled);
    EXPECT_TRUE(rig.host.buttonsEnabled);
}

TEST(Read, WholeChipLandsTheChipInTheReadBackImage) {
    EngineRig rig(Chip(1));
    rig.engine->SetAccessMode(ACCESS_JTAG);
    std::vector<std::uint8_t> content(ImageBuffer::kSize);
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = std::uint8_t(i ^ (i >> 11));
    rig.adapter->PresetFlash(0, content);
    rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::WholeChip));
    rig.engine->Read();
    ASSERT_TRUE(rig.Settle(60000));
    EXPECT_TRUE(std::equal(content.begin(), content.end(), rig.engine->image().readBack()));
    EXPECT_EQ(rig.host.viewData.size(), ImageBuffer::kSize);
    EXPECT_TRUE(rig.host.committed.endsWith("Read from addr:000000 to 3FFFFF finished!\r\n"));
}

TEST(Read, UnansweredBlockEndsTheRead) {
    SimConfig config = Chip(1);
    config.faults.silentCommand = CMD_READ_BLOCK;
    EngineRig rig(config);
    rig.engine->SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::FromBeginTo, "FFF"));
    rig.engine->Read();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.host.committed, "unknown Commands timeout\r\nread block at 0x000000: no reply within 200 ms\r\n");
}

TEST(Read, RefusedRangesAndCancelReadNothing) {
    EngineRig rig(Chip(1));
    rig.engine->SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers = {std::nullopt, Range(ReadRangeMode::FromTo, "200", "100"),
                                     Range(ReadRangeMode::FromTo, "1G", "100")};
    for (int i = 0; i < 3; ++i) rig.engine->Read();
    RunFor(0);
    EXPECT_EQ(rig.prompts.messages,
              (QStringList{"addr range error, end addr should large than start", "Not a vaild Hex Format"}));
    EXPECT_TRUE(rig.requests().empty());
    EXPECT_FALSE(rig.state().busy);
    EXPECT_EQ(rig.state().readStart, 0u);
    EXPECT_EQ(rig.state().readEnd, 0u);
}

TEST(Read, DirectModeSaysReadingNeedsJtag) {
    EngineRig rig(Chip(1));
    rig.prompts.readOptionAnswers = {Range(ReadRangeMode::WholeChip)};
    rig.engine->Read();
    RunFor(0);
    EXPECT_EQ(rig.host.committed, "Read needs JTAG access: choose JTAG Access in the Configuration menu\r\n");
    EXPECT_EQ(rig.prompts.readOptionQuestions, 0);
    EXPECT_FALSE(rig.state().busy);
    EXPECT_TRUE(rig.requests().empty());
}

// A range ending on a block's first byte reads that block too; with a file
// loaded, what differs from it is counted.
TEST(Read, LastBlockIsReadAndDifferencesFromTheFileAreNoted) {
    SimConfig config = Chip(1);
    config.faults.corruptReadBack = 1;  // every byte of block 0x100
    config.faults.corruptBytes = 256;
    EngineRig rig(config);
    rig.engine->SetAccessMode(ACCESS_JTAG);
    const auto image = Blocks({-1, -1});
    rig.adapter->PresetFlash(0, image);
    LoadImage(rig, image);
    rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::FromTo, "0", "100"));
    rig.engine->Read();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(AddressesOf(rig.requests(), CMD_READ_BLOCK), (std::vector<std::uint32_t>{0, 0x100}));
    EXPECT_EQ(rig.engine->differences(), (std::vector<std::uint32_t>{0x100}));
    EXPECT_TRUE(rig.host.committed.endsWith("Read from addr:000000 to 000100 finished!\r\n"
                                            "1 bytes differ from the loaded file, the first at 000100\r\n"));
}

TEST(Read, ReplyNamingAnAddressOutsideTheImageEndsTheRead) {
    SimConfig config = Chip(1);
    config.faults.silentCommand = CMD_READ_BLOCK;
    EngineRig rig(config);
    rig.engine->SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::WholeChip));
    rig.engine->Read();
    Payload reply{};
    reply[0] = CMD_READ_BLOCK;
    reply[4] = 0x80, reply[5] = 0xFF, reply[6] = 0x3F;  // 0x3FFF80: the block would run past the end
    reply[16] = 0xAB;
    QCoreApplication::postEvent(rig.engine.get(), new AdapterReplyMessage(REPLY_READY, 1, reply));
    RunFor(0);
    EXPECT_EQ(rig.host.committed, "Read address 3FFF80 out of range!\r\n"
                                  "read block at 0x000000: the reply names address 0x3FFF80, past the image\r\n");
    EXPECT_FALSE(rig.state().busy);
    EXPECT_EQ(rig.engine->image().readBack()[0x3FFF80], 0);
}

// A read block answered with an explicit refusal carries no chip data: the
// read, a verify's read-back and the closing compare end on it.
TEST(Read, RefusedBlockIsNoData) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> chips;
        int nakRequest;
        void (JobEngine::*start)();
        const char* line;
        const char* step;
    };
    const Case cases[] = {
        {"read of an empty socket", {}, SimConfig::kNever, &JobEngine::Read, "Read refused by the adapter at 000000\r\n",
         "read block at 0x000000"},
        {"verify", {1}, 3, &JobEngine::Verify, "Read refused by the adapter at 000100\r\n",
         "verify read-back at 0x000100"},
        {"closing compare", {1}, 7, &JobEngine::AutoProgram, "Read refused by the adapter at 000100\r\n",
         "closing verify read-back at 0x000100"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimConfig config;
        config.chips = c.chips;
        config.faults.nakRequest = c.nakRequest;
        EngineRig rig(config);
        rig.engine->SetAccessMode(ACCESS_JTAG);
        const auto image = Blocks({-1, 0, -1});
        rig.adapter->PresetFlash(0, image);
        LoadImage(rig, image);
        std::fill_n(rig.engine->image().readBack(), 0x300, 0xA5);
        rig.prompts.readOptionAnswers.push_back(Range(ReadRangeMode::FromBeginTo, "1FF"));
        (rig.engine.get()->*c.start)();
        ASSERT_TRUE(rig.Settle());
        EXPECT_TRUE(rig.host.committed.endsWith(c.line + QString(c.step) + ": refused by the adapter\r\n"))
            << rig.host.committed.toStdString();
        EXPECT_FALSE(rig.engine->lastJobSucceeded());
        EXPECT_EQ(rig.engine->lastJobStep(), c.step);
        EXPECT_EQ(rig.engine->image().readBack()[0x100], 0xA5);  // nothing stored
        EXPECT_EQ(rig.commands().back(), CMD_READ_BLOCK);     // and nothing asked after it
    }
}
