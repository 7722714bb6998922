#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

#include "engine/protocol.h"
#include "image/image_file_reader.h"
#include "support/elf_file.h"
#include "support/engine_rig.h"
#include "support/hex_records.h"
#include "support/temp_files.h"

namespace {

const QByteArray kSmallHex = ":100000000102030405060708090A0B0C0D0E0F1068\r\n:00000001FF\r\n";

UserPrompts::FileAnswer Pick(const QString& path) { return {path, 0}; }

// Presses Open with the dialog answered by `answer` and waits for the load.
void OpenWith(EngineRig& rig, std::optional<UserPrompts::FileAnswer> answer) {
    rig.prompts.openAnswers.push_back(answer);
    rig.engine->OpenFile();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine->loadRunning() && rig.host.buttonsEnabled; }));
    RunFor(0);
}

// The file line and the format line after it.
QString LoadedLine(const QString& path, std::uint32_t size) {
    return "File " + path + " has been loaded sucessful!Generate Time:" + FileTimeText(path) +
           "\tSize:" + QString::number(size) + " bytes!\r\n" + "Format: " +
           (path.endsWith(".bin") ? "binary" : "Intel HEX") + "\r\n";
}

QString FailedLine(const QString& path, const QString& reason) {
    return "Cannot load the file " + path + ": " + reason + "\r\n";
}

// What the system says when the file at path cannot be opened.
QString OpenError(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString() : file.errorString();
}

}  // namespace

TEST(FileLoad, OpenAsksWithTheProgramsFilterAndLogsTheFile) {
    TempFiles files;
    EngineRig rig;
    const QString path = files.Write("image.hex", kSmallHex);
    OpenWith(rig, Pick(path));
    ASSERT_EQ(rig.prompts.openQuestions.size(), 1u);
    EXPECT_EQ(rig.prompts.openQuestions[0].filter,
              "Inter Hex(*.hex)|*.hex|Loader(*.ldr)|*.ldr| Binary(*.bin)|*.bin|"
              "Motorola S-record(*.srec *.s19 *.s28 *.s37 *.mot)|*.srec;*.s19;*.s28;*.s37;*.mot|"
              "ELF(*.elf *.axf *.out)|*.elf;*.axf;*.out||");
    EXPECT_EQ(rig.prompts.openQuestions[0].defaultExtension, "HEX");
    EXPECT_EQ(rig.prompts.openQuestions[0].initialName, "*.HEX");

    EXPECT_EQ(rig.host.committed, LoadedLine(path, 128));
    EXPECT_TRUE(rig.state().fileLoaded);
    EXPECT_TRUE(rig.host.hexViewEnabled);
    EXPECT_EQ(rig.host.progress.back(), std::make_pair(100, 0));
    ASSERT_EQ(rig.host.viewData.size(), 128u);
    EXPECT_EQ(rig.host.viewData[0], 1);
    EXPECT_EQ(rig.host.viewData[16], 0xFF);
    EXPECT_EQ(rig.host.buttonsDisabledCount, 1);
    EXPECT_EQ(rig.engine->image().program()[15], 0x10);
}

TEST(FileLoad, CancelOrFailureChangesNothing) {
    TempFiles files;
    EngineRig rig;
    const QString good = files.Write("good.bin", QByteArray(10, 0x42));
    OpenWith(rig, Pick(good));
    ASSERT_TRUE(rig.state().fileLoaded);
    const int handOvers = rig.host.viewHandOvers;

    OpenWith(rig, std::nullopt);
    OpenWith(rig, Pick(files.Write("bad.hex", ":10000000AA\r\n")));
    OpenWith(rig, Pick(files.Path("missing.hex")));
    EXPECT_EQ(rig.prompts.messages, QStringList{"Format Error: line 1"});
    EXPECT_TRUE(rig.state().fileLoaded);
    EXPECT_EQ(rig.engine->image().imageSize(), 10u);
    EXPECT_EQ(rig.engine->image().program()[0], 0x42);
    EXPECT_EQ(rig.engine->image().program()[10], 0xFF);
    EXPECT_EQ(rig.host.viewHandOvers, handOvers);
    EXPECT_TRUE(rig.host.buttonsEnabled);
}

TEST(FileLoad, EveryFailedLoadResetsTheBarAndLogsTheFileAndTheReason) {
    struct Case { const char* name; QByteArray content; QString reason; bool messageBox; };
    const Case cases[] = {
        {"bad.hex", ZeroRecords(999) + ":0100000011EF\r\n", "Checksum Error: line 1000", true},
        {"image.txt", kSmallHex, "not a .hex, .ldr, .bin, .srec, .s19, .s28, .s37, .mot, .elf, .axf or .out file", false},
        {"type.hex", ":00000006FA\r\n:00000001FF\r\n", "Record Type Error: line 1", false},
        {"missing.hex", {}, {}, false},
    };
    TempFiles files;
    EngineRig rig;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = c.content.isNull() ? files.Path(c.name)
                                                : files.Write(c.name, c.content);
        const QString reason = c.reason.isEmpty() ? OpenError(path) : c.reason;
        rig.host.ClearLog();
        rig.prompts.messages.clear();
        OpenWith(rig, Pick(path));
        EXPECT_TRUE(rig.host.committed.endsWith(FailedLine(path, reason)));
        EXPECT_EQ(rig.host.committed.count("Cannot load"), 1);
        EXPECT_EQ(rig.host.progress.back(), std::make_pair(100, 0));
        EXPECT_EQ(rig.prompts.messages, c.messageBox ? QStringList{reason} : QStringList{});
    }
    // A cancelled dialog was the user's choice: the bar goes back, the log stays quiet.
    rig.host.ClearLog();
    rig.host.progress.clear();
    OpenWith(rig, std::nullopt);
    EXPECT_EQ(rig.host.committed, "");
    EXPECT_EQ(rig.host.progress, (std::vector<std::pair<int, int>>{{100, 0}}));
}

TEST(FileLoad, TheLoadedLineShowsPercentSignsInThePathAsTheyAre) {
    TempFiles files;
    EngineRig rig;
    for (const char* name : {"fw%2Bv1.hex", "a%1b%3.bin"}) {
        const QString path = files.Write(name, kSmallHex);
        rig.host.ClearLog();
        OpenWith(rig, Pick(path));
        EXPECT_EQ(rig.host.committed, LoadedLine(path, rig.engine->image().imageSize()));
    }
}

// The format line names the format and the start address a file gives.
TEST(FileLoad, AnElfFilesFormatLineNamesItsStart) {
    TempFiles files;
    EngineRig rig;
    const ElfFile maker(false, true);
    const QString path =
        files.Write("fw.elf", maker.Make({{PT_LOAD, maker.DataStart(1), 0x80, 4, 0}}, "\1\2\3\4", 0x84));
    OpenWith(rig, Pick(path));
    EXPECT_TRUE(rig.host.committed.endsWith("\tSize:256 bytes!\r\nFormat: ELF, start 00000084\r\n"))
        << rig.host.committed.toStdString();
    EXPECT_EQ(rig.engine->image().program()[0x83], 4);
}

TEST(FileLoad, ParsePercentagesShowAsTransientLines) {
    TempFiles files;
    EngineRig rig;
    const QString path = files.Write("big.hex", ZeroRecords(0x400) + ":00000001FF\r\n");
    OpenWith(rig, Pick(path));
    // The last percentage stays in the log above the file line.
    EXPECT_EQ(rig.host.committed, "Processing... 100%\r\n" + LoadedLine(path, 0x4000));
    EXPECT_EQ(rig.host.progress.back(), std::make_pair(100, 0));
}

TEST(FileLoad, OpenIsRefusedWhileAJobRuns) {
    TempFiles files;
    SimConfig config;
    config.faults.silentCommand = CMD_DETECT;
    EngineRig rig(config);
    rig.engine->Detect();
    rig.engine->OpenFile();
    EXPECT_TRUE(rig.prompts.openQuestions.empty());
    EXPECT_TRUE(rig.host.committed.endsWith("Program is busy\r\n"));
    ASSERT_TRUE(rig.Settle());
}

TEST(FileLoad, AutoProgramWithReloadReadsTheFileFirstThenChecksTheChip) {
    TempFiles files;
    SimConfig config;
    config.chips = {5};
    config.faults.silentCommand = CMD_ERASE;
    EngineRig rig(config);
    const QString path = files.Write("image.hex", kSmallHex);
    OpenWith(rig, Pick(path));
    rig.host.ClearLog();
    rig.engine->SetReloadLastFile(true);
    rig.state().reloadNow = true;

    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_EQ(rig.prompts.openQuestions.size(), 1u);  // no second dialog
    EXPECT_TRUE(rig.host.committed.startsWith(LoadedLine(path, 128) +
                                              "QZProgrammer attached! Checking device..."));
    EXPECT_EQ(rig.commands().front(), CMD_DETECT);
}

TEST(FileLoad, FailedReloadEndsTheAutoProgramAndALaterOpenOnlyLoads) {
    TempFiles files;
    EngineRig rig;
    const QString path = files.Write("image.hex", kSmallHex);
    OpenWith(rig, Pick(path));
    rig.engine->SetReloadLastFile(true);
    QFile::remove(path);

    rig.engine->AutoProgram();
    ASSERT_TRUE(rig.Settle());
    EXPECT_TRUE(rig.host.committed.endsWith(FailedLine(path, OpenError(path)) + "load file: cannot load " + path +
                                            ": " + OpenError(path) + "\r\n"))
        << rig.host.committed.toStdString();
    EXPECT_FALSE(rig.state().autoProgram);
    EXPECT_TRUE(rig.requests().empty());

    const QString again = files.Write("again.hex", kSmallHex);
    rig.host.ClearLog();
    OpenWith(rig, Pick(again));
    EXPECT_EQ(rig.host.committed, LoadedLine(again, 128));
    EXPECT_TRUE(rig.requests().empty());
}

TEST(FileLoad, NothingElseTakesTheImageWhileALoadRuns) {
    TempFiles files;
    EngineRig rig;
    // Large enough that the parse is still running when the next command comes.
    QByteArray text;
    const QByteArray record = ":10000000" + QByteArray(32, '0') + "F0\r\n";
    for (int i = 0; i < 200000; ++i) text += record;
    const QString path = files.Write("big.hex", text + ":00000001FF\r\n");
    rig.prompts.openAnswers.push_back(Pick(path));
    rig.state().fileLoaded = true;
    rig.engine->OpenFile();
    ASSERT_TRUE(rig.engine->loadRunning());
    rig.engine->OpenFile();
    rig.engine->StartFirmwareUpdate();
    rig.engine->AutoProgram();
    EXPECT_EQ(rig.host.committed,
              "Program is busy\r\nProgrmming is busy!\r\nProgram is busy\r\n");
    EXPECT_EQ(rig.prompts.openQuestions.size(), 1u);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine->loadRunning() && rig.host.buttonsEnabled; }));
    EXPECT_FALSE(rig.state().firmwareUpdate);
}

// A file that never delivers (a pipe nobody writes) must not hold the window at
// exit: the worker is let go with its own staging block, and posts nothing.
TEST(FileLoad, ExitLetsAHungLoadGoWithItsOwnBlock) {
    TempFiles files;
    LinkTiming timing = EngineRig::ShortTiming();
    timing.loadStopMs = 0;
    EngineRig rig(SimConfig{}, true, timing);
    const QString path = files.Path("hung.hex");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    rig.prompts.openAnswers.push_back(Pick(path));
    rig.engine->OpenFile();
    const std::weak_ptr<std::uint8_t[]> block = rig.engine->image().ShareStaging();

    rig.engine->CloseWorkerSlot();
    EXPECT_FALSE(rig.engine->loadRunning());
    EXPECT_FALSE(block.expired());
    EXPECT_NE(rig.engine->image().staging(), block.lock().get());
    // A writer lets the worker's open return; it sees the stop and ends.
    const int writer = ::open(QFile::encodeName(path).constData(), O_RDWR);
    ASSERT_TRUE(RunUntil([&] { return block.expired(); }));
    ::close(writer);
    RunFor(0);
    EXPECT_EQ(rig.host.shown, "");
    EXPECT_TRUE(rig.host.progress.empty());
}

// A file with no data loads, but Program and Auto Program send nothing for
// it; a reload that finds the file emptied ends the auto program there.
TEST(FileLoad, EmptyFilesLoadButProgramNothing) {
    const std::pair<const char*, QByteArray> kEmpty[] = {{"empty.bin", ""}, {"end-only.hex", ":00000001FF\r\n"}};
    for (const auto& [name, text] : kEmpty) {
        SCOPED_TRACE(name);
        for (bool reload : {false, true}) {
            TempFiles files;
            EngineRig rig;
            const QString path = files.Write(name, text);
            OpenWith(rig, Pick(path));
            EXPECT_EQ(rig.host.committed, LoadedLine(path, 0));
            rig.engine->SetReloadLastFile(reload);
            rig.state().reloadNow = reload;
            rig.host.ClearLog();
            if (!reload) rig.engine->Program();
            rig.engine->AutoProgram();
            ASSERT_TRUE(rig.Settle());
            const QString refusal = path + " holds no data\r\n";
            EXPECT_TRUE(rig.host.committed.endsWith(reload ? refusal + "load file: " + path + " holds no data\r\n"
                                                           : refusal + refusal))
                << rig.host.committed.toStdString();
            EXPECT_TRUE(rig.requests().empty());
            EXPECT_EQ(rig.engine->jobsBegun(), reload ? 1u : 0u);
        }
    }
}
