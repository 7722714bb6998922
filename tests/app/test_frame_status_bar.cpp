#include <gtest/gtest.h>
#include <zlib.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "app/frame_rig.h"
#include "app/frame_status_bar.h"
#include "panel/panel_layout.h"
#include "support/temp_files.h"

namespace {

using Bar = FrameStatusBar;

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> bytes(4096);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 13 + 5);
    return bytes;
}

QString FileText(const std::vector<std::uint8_t>& bytes) {
    return QString::asprintf("chip.bin, 4096 bytes, CRC-32 %08lX",
                             crc32(0, bytes.data(), uInt(bytes.size())));
}

void Open(FrameRig& rig, TempFiles& files) {
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("chip.bin", Image()), 2});
    rig.Trigger(CMainFrame::ID_FILE_OPEN_FILE);
    ASSERT_TRUE(
        RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
}

}  // namespace

// The chip is the one the adapter named, not what the chip list shows, and
// none once the adapter has gone.
TEST(FrameStatusBar, ChipIsTheOneADetectionNamed) {
    SimConfig config;
    config.chips = {5};
    FrameRig rig(true, config);
    const Bar& bar = *rig.frame->statusPane();
    auto* chips = qobject_cast<QComboBox*>(rig.panel().control(PanelLayout::ChipList));
    EXPECT_EQ(chips->currentText(), "PIC24FJ64GA004");
    EXPECT_EQ(bar.text(Bar::Chip), "chip: not detected");
    QTest::mouseClick(qobject_cast<QPushButton*>(rig.panel().control(PanelLayout::Detect)), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    EXPECT_EQ(bar.text(Bar::Chip), "chip: MX25L3208");
    chips->setCurrentIndex(1);  // the next job still goes to the chip detected
    EXPECT_EQ(bar.text(Bar::Chip), "chip: MX25L3208");
    rig.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return bar.text(Bar::Adapter) == "no adapter"; }));
    EXPECT_EQ(bar.text(Bar::Chip), "chip: not detected");
}

TEST(FrameStatusBar, FileWithChecksumAndEditMark) {
    FrameRig rig;
    TempFiles files;
    const Bar& bar = *rig.frame->statusPane();
    EXPECT_EQ(bar.text(Bar::File), "no file");
    Open(rig, files);
    EXPECT_EQ(bar.text(Bar::File), FileText(Image()));
    std::vector<std::uint8_t> edited = Image();
    edited[10] ^= 0xFF;
    ASSERT_TRUE(rig.engine().EditProgram(edited.data(), edited.size()));
    EXPECT_EQ(bar.text(Bar::File), FileText(edited) + " (modified)");
    // Opening over the edits asks first; Cancel keeps them, and so does a
    // Save whose dialog is cancelled.
    const QString asked = "Warning: The write buffer has unsaved edits.\r\nSave them before loading another file?";
    rig.prompts.keepAnswers = {UserPrompts::Keep::Cancel, UserPrompts::Keep::Save};
    rig.Trigger(CMainFrame::ID_FILE_OPEN_FILE);
    rig.Trigger(CMainFrame::ID_FILE_OPEN_FILE);
    EXPECT_EQ(rig.prompts.keepQuestions, QStringList({asked, asked}));
    EXPECT_EQ(rig.prompts.saveQuestions.size(), 1u);
    rig.prompts.keepAnswers = {UserPrompts::Keep::Cancel};
    rig.engine().StartFirmwareUpdate();  // its image would take the buffer's place
    EXPECT_EQ(rig.prompts.keepQuestions.size(), 3);
    EXPECT_EQ(bar.text(Bar::File), FileText(edited) + " (modified)");
    EXPECT_FALSE(rig.engine().loadRunning() || rig.engine().state().busy);
    EXPECT_TRUE(rig.prompts.openQuestions.size() == 1u) << "only the first load asked for a file";
    // Save that saves, then the file dialog; Discard goes straight to it.
    rig.prompts.keepAnswers = {UserPrompts::Keep::Save};
    rig.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{files.Path("kept.hex"), 0});
    rig.Trigger(CMainFrame::ID_FILE_OPEN_FILE);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().loadRunning(); }));
    EXPECT_TRUE(QFile::exists(files.Path("kept.hex")));
    EXPECT_EQ(rig.prompts.openQuestions.size(), 2u);
    EXPECT_EQ(bar.text(Bar::File), FileText(edited));
}

// A program waits for the answer to its fourth block, which never comes;
// pulling the adapter out ends the job.
TEST(FrameStatusBar, AdapterAndRunningJobWithItsTimeAndRate) {
    SimConfig config;
    config.faults.silentRequest = 3;
    LinkTiming timing = FrameRig::ShortTiming();
    timing.replyTimeoutMs = 60000;
    FrameRig rig(true, config, timing);
    TempFiles files;
    Bar& bar = *rig.frame->statusPane();
    EXPECT_EQ(bar.text(Bar::Adapter), "attached: " + QString(SimulatedBackend::kAdapterPath));
    std::int64_t now = 0;
    rig.engine().SetClock([&now] { return now; });
    Open(rig, files);
    QTest::mouseClick(qobject_cast<QPushButton*>(rig.panel().control(PanelLayout::Program)),
                      Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return rig.adapter.requestCount() == 4; }));
    now = 1500;
    ASSERT_TRUE(bar.jobClockRunning());
    bar.RefreshJob();  // what the job clock does a few times a second
    // A fifth of the blocks went in 1.5 s: the rest takes as long again four times.
    EXPECT_EQ(bar.text(Bar::Job), "Program: 1.5 s, 0.5 KiB/s, 18%, 6.8 s left");
    rig.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return !bar.jobClockRunning(); }));
    EXPECT_EQ(bar.text(Bar::Job), "");
    EXPECT_EQ(bar.text(Bar::Adapter), "no adapter");
}
