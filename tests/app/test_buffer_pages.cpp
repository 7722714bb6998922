#include <gtest/gtest.h>

#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "app/frame_status_bar.h"
#include "controls/tab_bar.h"
#include "image/checksum.h"
#include "engine/protocol.h"
#include "hexview/hex_find_bar.h"
#include "hexview/hex_frame_painter.h"
#include "hexview/hex_view.h"
#include "panel/buffer_page.h"
#include "support/temp_files.h"
#include "app/frame_rig.h"

namespace {

std::vector<std::uint8_t> Image() {
    std::vector<std::uint8_t> bytes(0x300);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = std::uint8_t(i * 5 + 1);
    return bytes;
}

BufferPage* ShowTab(FrameRig& rig, const char* name) {
    TabBar* tabs = rig.frame->tabBar();
    const int index = QString(name) == "ReadBuffer" ? 1 : 2;
    const QRect hit[] = {QRect(), QRect(QPoint(0, 52), QPoint(31, 95)), QRect(QPoint(0, 104), QPoint(31, 149))};
    QTest::mouseClick(tabs, Qt::LeftButton, {}, hit[index].center());
    RunFor(0);
    auto* page = tabs->findChild<BufferPage*>(name);
    EXPECT_TRUE(page && page->isVisible());
    return page;
}

void Load(FrameRig& rig, TempFiles& files) {
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("image.bin", Image()), 2});
    rig.engine().OpenFile();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
    RunFor(0);
}

bool ShowsColour(QWidget* widget, const QColor& colour) {
    const QImage shot = widget->grab().toImage();
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (shot.pixelColor(x, y) == colour) return true;
    return false;
}

}  // namespace

// Typing in the write buffer changes what Program sends, every view shows
// it, and the buffer is marked until it is saved.
TEST(BufferPages, AnEditIsWhatProgramWrites) {
    TempFiles files;
    FrameRig rig;
    Load(rig, files);
    BufferPage* page = ShowTab(rig, "WriteBuffer");
    page->view()->setFocus();
    QTest::keyClicks(page->view(), "ab");
    RunFor(0);
    EXPECT_EQ(rig.engine().image().program()[0], 0xAB);
    EXPECT_TRUE(page->headerText().endsWith("(modified)")) << page->headerText().toStdString();
    EXPECT_EQ(rig.panel().hexView()->data()[0], 0xAB);

    rig.engine().Program();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    const auto requests = rig.adapter.transcript();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0][0], CMD_WRITE_BLOCK);
    EXPECT_EQ(requests[0][16], 0xAB);

    // Reloading over the edits is asked first; No programs them as they are.
    rig.engine().SetReloadLastFile(true);
    rig.prompts.warningAnswers.push_back(false);
    rig.engine().AutoProgram();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    EXPECT_EQ(rig.prompts.warnings.size(), 1);
    EXPECT_EQ(rig.engine().image().program()[0], 0xAB);

    // Undone in the page, the image is the file's again; redone, edited.
    ASSERT_TRUE(RunUntil([&] { return !page->view()->editor().document().readOnly(); }));
    page->view()->setFocus();
    QTest::keyClick(page->view(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(rig.engine().image().program()[0], Image()[0]);
    QTest::keyClick(page->view(), Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(rig.engine().image().program()[0], 0xAB);
    EXPECT_TRUE(ShowsColour(page->view(), HexFramePainter::EditedColour()));

    rig.prompts.saveAnswers.push_back(UserPrompts::FileAnswer{files.Path("edited.bin"), 1});
    for (QPushButton* button : page->findChildren<QPushButton*>())
        if (button->text() == "Save Write Buffer As...") button->click();
    EXPECT_FALSE(page->headerText().contains("(modified)"));
    EXPECT_TRUE(page->headerText().endsWith("saved as edited.bin")) << page->headerText().toStdString();
    EXPECT_FALSE(ShowsColour(page->view(), HexFramePainter::EditedColour()));
    EXPECT_EQ(TempFiles::Read(files.Path("edited.bin")).at(0), char(0xAB));

    // Revert to File asks before it throws an edit away, and then loads the file.
    QTest::keyClicks(page->view(), "cd");
    RunFor(0);
    rig.prompts.warningAnswers.push_back(true);
    page->RevertToFile();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().loadRunning(); }));
    RunFor(0);
    EXPECT_EQ(rig.prompts.warnings.size(), 2);
    EXPECT_EQ(rig.engine().image().program()[0], Image()[0]);
    EXPECT_FALSE(page->headerText().contains("(modified)"));

    // The status bar tells the selection's length and checksum.
    auto* status = qobject_cast<FrameStatusBar*>(rig.frame->statusBar());
    page->view()->setFocus();
    page->view()->GotoOffset(0);
    QTest::keyClick(page->view(), Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(page->view(), Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(status->selectionText(), "Selected 2 bytes, CRC-32 " + Crc32Text(Crc32(Image().data(), 2)));
    QTest::keyClick(page->view(), Qt::Key_Left);
    EXPECT_EQ(status->selectionText(), "");
}

// A chip that differs from the file in three places: the read marks them,
// counts them, and F3 / Shift+F3 walk through them.
TEST(BufferPages, DifferencesAfterAReadAreMarkedAndWalked) {
    TempFiles files;
    FrameRig rig;
    std::vector<std::uint8_t> chip = Image();
    for (std::size_t at : {0x10u, 0x11u, 0x250u}) chip[at] ^= 0x5A;
    rig.adapter.PresetFlash(0, chip);
    Load(rig, files);
    rig.engine().SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers.push_back(ReadOptions{ReadRangeMode::FromTo, "0", "2FF", {}, {}});
    rig.engine().Read();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    RunFor(0);

    BufferPage* page = ShowTab(rig, "ReadBuffer");
    EXPECT_EQ(page->differenceText(), "3 differences");
    EXPECT_EQ(page->view()->data(), chip);
    EXPECT_TRUE(ShowsColour(page->view(), HexFramePainter::MarkColour()));
    page->view()->setFocus();
    for (int expected : {0x10, 0x11, 0x250, 0x10}) {
        QTest::keyClick(page->view(), Qt::Key_F3);
        EXPECT_EQ(page->view()->caretOffset(), expected);
    }
    EXPECT_EQ(page->differenceText(), "1 of 3");
    QTest::keyClick(page->view(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(page->differenceText(), "3 of 3") << "Shift+F3 wraps to the last";
    QTest::keyClick(page->view(), Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(page->view()->caretOffset(), 0x11);
    // Ctrl+F opens the find bar under the view; Esc there closes it, not a job.
    QTest::keyClick(page->view(), Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(page->findBar()->isVisible());
    QTest::keyClick(page->findBar()->field(), Qt::Key_Escape);
    EXPECT_FALSE(page->findBar()->isVisible());
    EXPECT_TRUE(page->view()->hasFocus());

    // Mending the file's byte in the write buffer takes that difference away.
    BufferPage* write = ShowTab(rig, "WriteBuffer");
    write->view()->GotoOffset(0x250);
    write->view()->setFocus();
    QTest::keyClicks(write->view(), QString::asprintf("%02x", chip[0x250]));
    RunFor(0);
    EXPECT_EQ(rig.engine().differences(), (std::vector<std::uint32_t>{0x10, 0x11}));
    EXPECT_EQ(page->differenceText(), "2 differences");
    // Neither view was reloaded under its caret by the other's edit.
    EXPECT_EQ(page->view()->caretOffset(), 0x11);
    EXPECT_EQ(write->view()->caretOffset(), 0x251);

    // Another file has been compared with nothing: no marks, no count.
    rig.prompts.keepAnswers = {UserPrompts::Keep::Discard};  // the edit
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("other.bin", chip), 2});
    rig.engine().OpenFile();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().loadRunning(); }));
    RunFor(0);
    ShowTab(rig, "ReadBuffer");
    EXPECT_EQ(page->differenceText(), "0 differences");
    EXPECT_FALSE(page->findChild<QPushButton*>()->isEnabled());
    EXPECT_FALSE(ShowsColour(page->view(), HexFramePainter::MarkColour()));
    EXPECT_TRUE(page->headerText().startsWith("read 000000 to 0002FF, CRC-32"));
}

// While a job runs the views only show.
TEST(BufferPages, ViewsAreReadOnlyWhileAJobRuns) {
    TempFiles files;
    SimConfig silent;
    silent.faults.silentCommand = CMD_ERASE;
    FrameRig rig(true, silent);
    Load(rig, files);
    BufferPage* page = ShowTab(rig, "WriteBuffer");
    rig.engine().Erase();
    RunFor(0);
    page->view()->setFocus();
    QSignalSpy edited(page->view(), &HexView::Edited);
    QTest::keyClicks(page->view(), "00");
    EXPECT_EQ(edited.count(), 0);  // the view itself refuses, before the engine would
    EXPECT_EQ(page->view()->data(), Image());
    EXPECT_EQ(rig.engine().image().program()[0], Image()[0]);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
}
