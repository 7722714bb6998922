#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <functional>

#include "engine/protocol.h"
#include "engine/save_job.h"
#include "support/engine_rig.h"
#include "support/temp_files.h"

namespace {

void SaveAs(EngineRig& rig, const QString& path, int filterIndex) {
    rig.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{path, filterIndex});
    rig.engine->Save();
}

QByteArray Chip() {
    QByteArray bytes(0x400, 0);
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 7 + 3);
    return bytes;
}

// A chip holding Chip(), reachable by a read (JTAG access).
struct ReadRig : EngineRig {
    explicit ReadRig(SimConfig config = {}) : EngineRig(std::move(config)) {
        engine->SetAccessMode(ACCESS_JTAG);
        const QByteArray chip = Chip();
        adapter->PresetFlash(0, std::vector<std::uint8_t>(chip.begin(), chip.end()));
    }
    void Read(const QString& from, const QString& to) {
        ReadOptions o;
        o.fromToStart = from, o.fromToEnd = to;
        prompts.readOptionAnswers.push_back(o);
        engine->Read();
        Settle();
    }
};

QString Saved(const QString& path, std::uint32_t start, std::uint32_t end) {
    return "File " + path + " have been saved successfully!" +
           QString::asprintf(" (read from addr:%06X to %06X)", start, end);
}

}  // namespace

TEST(SaveJob, NamesAreCompletedByTheFilterUnlessTheyEndInHexOrBin) {
    EXPECT_EQ(SaveJob::CompleteName("dump", 0), "dump.hex");
    EXPECT_EQ(SaveJob::CompleteName("dump", 1), "dump.bin");
    EXPECT_EQ(SaveJob::CompleteName("dump.hex", 1), "dump.hex");
    EXPECT_EQ(SaveJob::CompleteName("dump.bin", 0), "dump.bin");
    EXPECT_EQ(SaveJob::CompleteName("image.HEX", 0), "image.HEX.hex");
    EXPECT_EQ(SaveJob::CompleteName("dump", 2), "dump.srec");
    EXPECT_EQ(SaveJob::CompleteName("dump.S19", 0), "dump.S19");
    EXPECT_EQ(SaveJob::CompleteName("dump.s37", 1), "dump.s37");
}

// Intel HEX holds the range and nothing else; binary puts every byte read at
// its own offset. A second reader of the HEX text gives the same bytes.
TEST(SaveJob, WritesExactlyTheRangeReadInTheFormatOfTheName) {
    TempFiles files;
    ReadRig rig;
    rig.Read("18", "127");
    rig.host.ClearLog();
    rig.host.buttonsDisabledCount = 0;

    SaveAs(rig, files.Path("dump"), 0);
    const QList<QByteArray> lines = TempFiles::Read(files.Path("dump.hex")).split('\n');
    ASSERT_EQ(lines.size(), 20);  // 8 + 16 x 16 + 8 bytes, the end record, nothing after its LF
    EXPECT_TRUE(lines[0].startsWith(":08001800") && lines[1].startsWith(":10002000"));
    EXPECT_TRUE(lines[17].startsWith(":08012000") && lines[17].endsWith('\r'));
    EXPECT_EQ(lines[18], ":00000001FF");
    ASSERT_EQ(rig.prompts.saveQuestions.size(), 1u);
    EXPECT_EQ(rig.prompts.saveQuestions[0].filter,
              "Inter Hex(*.hex)|*.hex|Binary(*.bin)|*.bin|"
              "Motorola S-record (*.srec *.s19 *.s28 *.s37)|*.srec;*.s19;*.s28;*.s37||");

    SaveAs(rig, files.Path("raw"), 1);
    const QByteArray raw = TempFiles::Read(files.Path("raw.bin"));
    EXPECT_EQ(raw, QByteArray(0x18, char(0xFF)) + Chip().mid(0x18, 0x110));
    if (RunTool("srec_cat", {files.Path("dump.hex"), "-intel", "-fill", "0xFF", "0", "0x128", "-o",
                             files.Path("srec.bin"), "-binary"})) {
        EXPECT_EQ(TempFiles::Read(files.Path("srec.bin")), raw);
    }

    // Each save says what it wrote on a line of its own.
    EXPECT_EQ(rig.host.committed, Saved(files.Path("dump.hex"), 0x18, 0x127) + "\r\n" +
                                      Saved(files.Path("raw.bin"), 0x18, 0x127));
    EXPECT_EQ(rig.host.buttonsDisabledCount, 2);
    EXPECT_TRUE(rig.host.buttonsEnabled);
}

// An S-record name, or the third entry, writes S-record: of the range read
// for Save, of the whole image for Save Write Buffer As.
TEST(SaveJob, SRecordNamesWriteSRecord) {
    TempFiles files;
    ReadRig rig;
    rig.Read("18", "127");
    SaveAs(rig, files.Path("dump"), 2);
    const QList<QByteArray> lines = TempFiles::Read(files.Path("dump.srec")).split('\n');
    ASSERT_EQ(lines.size(), 14);  // S0, 8 + 8 x 32 + 8 bytes, S5, S9, nothing after its LF
    EXPECT_TRUE(lines[0].startsWith("S00C0000") && lines[1].startsWith("S10B0018") && lines[2].startsWith("S1230020"));
    EXPECT_EQ(lines[11], "S503000AF2\r");
    EXPECT_EQ(lines[12], "S9030000FC\r");
    if (RunTool("srec_cat", {files.Path("dump.srec"), "-fill", "0xFF", "0", "0x128", "-o", files.Path("s.bin"), "-binary"})) {
        EXPECT_EQ(TempFiles::Read(files.Path("s.bin")), QByteArray(0x18, char(0xFF)) + Chip().mid(0x18, 0x110));
    }

    const QByteArray program = Chip().left(0x40);
    rig.engine->UseImage(reinterpret_cast<const std::uint8_t*>(program.constData()), 0x40, "p.bin", {});
    rig.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{files.Path("w.S19"), 0});
    EXPECT_EQ(rig.engine->SaveProgram(), files.Path("w.S19"));
    const QList<QByteArray> written = TempFiles::Read(files.Path("w.S19")).split('\n');
    ASSERT_EQ(written.size(), 6);
    EXPECT_TRUE(written[1].startsWith("S1230000") && written[2].startsWith("S1230020"));
}

// What Save writes: the last read that completed, whoever made it, and none
// once a read has begun over it and not completed.
TEST(SaveJob, SavesOnlyWhatACompletedReadGave) {
    struct Case {
        const char* name;
        SimConfig config;
        std::function<void(ReadRig&)> before;
        QByteArray saved;  // empty: nothing is saved
    };
    SimConfig silentSecondRead;
    silentSecondRead.faults.silentRequest = 2;  // the first block of the second read
    const std::vector<std::uint8_t> file(0x300, 0x5A);
    const Case cases[] = {
        {"nothing read", {}, [](ReadRig&) {}, {}},
        {"a read", {}, [](ReadRig& rig) { rig.Read("100", "1FF"); },
         QByteArray(0x100, char(0xFF)) + Chip().mid(0x100, 0x100)},
        {"a verify's read-back", {},
         [&file](ReadRig& rig) {
             rig.engine->UseImage(file.data(), std::uint32_t(file.size()), "file.bin", {});
             rig.engine->Verify();
             rig.Settle();
         },
         Chip().left(0x300)},
        {"an edit of what was read", {},
         [](ReadRig& rig) {
             rig.Read("100", "1FF");
             std::vector<std::uint8_t> edited(rig.engine->image().readBack(), rig.engine->image().readBack() + 0x200);
             edited[0x150] = 0xEE;
             ASSERT_TRUE(rig.engine->EditReadBack(edited.data(), edited.size()));
         },
         QByteArray(0x100, char(0xFF)) + Chip().mid(0x100, 0x50) + char(0xEE) + Chip().mid(0x151, 0xAF)},
        {"a read that failed after one that completed", silentSecondRead,
         [](ReadRig& rig) {
             rig.Read("0", "1FF");
             rig.prompts.readOptionAnswers.push_back(ReadOptions{ReadRangeMode::WholeChip, {}, {}, {}, {}});
             rig.engine->Read();
             rig.engine->Save();  // beside a read: refused
             EXPECT_TRUE(rig.host.committed.endsWith("Program is busy\r\n"));
             rig.Settle();
         },
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFiles files;
        ReadRig rig(c.config);
        c.before(rig);
        rig.host.ClearLog();
        SaveAs(rig, files.Path("dump.bin"), 1);
        EXPECT_EQ(TempFiles::Read(files.Path("dump.bin")), c.saved);
        EXPECT_EQ(rig.prompts.saveQuestions.size(), c.saved.isEmpty() ? 0u : 1u);
        if (c.saved.isEmpty()) {
            EXPECT_EQ(rig.host.committed, "Nothing has been read from the chip yet\r\n");
        }
    }
}

TEST(SaveJob, CancelWritesNothingAndFailureKeepsTheOldFile) {
    ReadRig rig;
    rig.Read("0", "FF");
    rig.host.ClearLog();
    rig.prompts.saveAnswers.push_back(std::nullopt);
    rig.engine->Save();
    EXPECT_TRUE(rig.host.buttonsEnabled);
    EXPECT_TRUE(rig.host.committed.isEmpty());

    // Nothing can be created beside this file, so the save fails before it
    // could touch it; nor in a folder that is not there, nor where a folder is.
    TempFiles files;
    QDir().mkpath(files.Path("dir.hex"));
    const QString unwritable = "/proc/version";
    const QByteArray before = TempFiles::Read(unwritable);
    const QString targets[] = {unwritable + ".hex", files.Path("no/such/dir/dump.bin"), files.Path("dir.hex")};
    for (const QString& target : targets) {
        SaveAs(rig, target, 0);
        ASSERT_FALSE(rig.prompts.messages.isEmpty());
        EXPECT_TRUE(rig.prompts.messages.last().startsWith("Cannot save the file " + target + ": "));
    }
    EXPECT_EQ(rig.prompts.messages.size(), 3);
    EXPECT_EQ(TempFiles::Read(unwritable), before);
    EXPECT_FALSE(QFileInfo::exists(files.Path("no")));
    EXPECT_TRUE(rig.host.committed.isEmpty());
    EXPECT_TRUE(rig.host.buttonsEnabled);
}
