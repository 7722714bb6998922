#include <gtest/gtest.h>

#include <QFile>

#include "engine/save_job.h"
#include "support/engine_rig.h"
#include "support/temp_files.h"

namespace {

void SaveAs(EngineRig& rig, const QString& path, int filterIndex) {
    rig.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{path, filterIndex});
    rig.engine->Save();
}

}  // namespace

TEST(SaveJob, NamesAreCompletedByTheFilterUnlessTheyEndInHexOrBin) {
    EXPECT_EQ(SaveJob::CompleteName("dump", 0), "dump.hex");
    EXPECT_EQ(SaveJob::CompleteName("dump", 1), "dump.bin");
    EXPECT_EQ(SaveJob::CompleteName("dump.hex", 1), "dump.hex");
    EXPECT_EQ(SaveJob::CompleteName("dump.bin", 0), "dump.bin");
    EXPECT_EQ(SaveJob::CompleteName("image.HEX", 0), "image.HEX.hex");
}

TEST(SaveJob, SavesTheReadBackImageInTheFormatOfTheName) {
    TempFiles files;
    EngineRig rig;
    std::fill_n(rig.engine->image().readBack(), ImageBuffer::kSize, 0xFF);
    rig.engine->image().readBack()[0x12] = 0x34;

    SaveAs(rig, files.Path("dump"), 0);
    EXPECT_EQ(TempFiles::Read(files.Path("dump.hex")),
              ":10001000FFFF34FFFFFFFFFFFFFFFFFFFFFFFFFFBB\r\n:00000001FF\n");
    EXPECT_EQ(rig.host.committed, "File " + files.Path("dump.hex") + " have been saved successfully!");
    ASSERT_EQ(rig.prompts.saveQuestions.size(), 1u);
    EXPECT_EQ(rig.prompts.saveQuestions[0].filter, "Inter Hex(*.hex)|*.hex|Binary(*.bin)|*.bin||");
    EXPECT_TRUE(rig.prompts.saveQuestions[0].defaultExtension.isEmpty());

    SaveAs(rig, files.Path("raw"), 1);
    const QByteArray raw = TempFiles::Read(files.Path("raw.bin"));
    ASSERT_EQ(raw.size(), qsizetype(ImageBuffer::kSize));
    EXPECT_EQ(std::uint8_t(raw[0x12]), 0x34);
    EXPECT_EQ(rig.host.buttonsDisabledCount, 2);
    EXPECT_TRUE(rig.host.buttonsEnabled);
}

TEST(SaveJob, BeforeAnyReadTheImageIsZeros) {
    TempFiles files;
    EngineRig rig;
    SaveAs(rig, files.Path("zeros.hex"), 1);
    const QByteArray text = TempFiles::Read(files.Path("zeros.hex"));
    EXPECT_TRUE(text.startsWith(":10000000" + QByteArray(32, '0') + "F0\r\n"));
    EXPECT_TRUE(text.endsWith(":00000001FF\n"));
}

TEST(SaveJob, CancelWritesNothingAndFailureKeepsTheOldFile) {
    EngineRig rig;
    rig.prompts.saveAnswers.push_back(std::nullopt);
    rig.engine->Save();
    EXPECT_TRUE(rig.host.buttonsEnabled);
    EXPECT_TRUE(rig.host.committed.isEmpty());

    // Nothing can be created beside this file, so the save fails before it
    // could touch it.
    const QString unwritable = "/proc/version";
    const QByteArray before = TempFiles::Read(unwritable);
    SaveAs(rig, unwritable + ".hex", 0);
    EXPECT_EQ(TempFiles::Read(unwritable), before);
    ASSERT_EQ(rig.prompts.messages.size(), 1);
    EXPECT_TRUE(rig.prompts.messages[0].contains("/proc/version.hex"));
    EXPECT_TRUE(rig.host.committed.isEmpty());
    EXPECT_TRUE(rig.host.buttonsEnabled);
}
