#include <gtest/gtest.h>

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

#include "hexview/hex_view.h"
#include "panel/control_panel.h"
#include "panel/panel_layout.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/message_recorder.h"
#include "support/scripted_prompts.h"
#include "support/temp_files.h"

namespace {

struct PanelRig {
    AdapterSimulator adapter;
    SimulatedBackend bus{&adapter};
    ScriptedPrompts prompts;
    MessageRecorder frame;
    std::unique_ptr<ControlPanel> panel;

    explicit PanelRig(bool plugged = true) {
        if (plugged) bus.PlugAdapter();
        RunFor(0);
        LinkTiming timing;
        timing.replyTimeoutMs = 200;
        timing.readSliceMs = 5;
        panel = std::make_unique<ControlPanel>(bus, &bus, prompts, &frame, nullptr, timing);
        panel->show();
    }

    template <typename T>
    T* get(int id) { return qobject_cast<T*>(panel->control(id)); }
};

}  // namespace

TEST(ControlPanel, StartsWithAutoChipTickedAndTheDefaultChip) {
    PanelRig rig;
    EXPECT_TRUE(rig.get<QCheckBox>(PanelLayout::AutoChip)->isChecked());
    auto* list = rig.get<QComboBox>(PanelLayout::ChipList);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_EQ(list->currentText(), "PIC24FJ64GA004");
    EXPECT_EQ(list->count(), 9);
    EXPECT_EQ(list->itemText(8), "NONE");
    EXPECT_TRUE(rig.get<QRadioButton>(PanelLayout::Radio8)->isChecked());
    EXPECT_FALSE(rig.panel->hexView()->isEnabled());
    EXPECT_EQ(rig.get<QPushButton>(PanelLayout::AutoProgram)->text(), "Auto Program");
    RunFor(0);
    EXPECT_EQ(rig.frame.of(WM_ADAPTER_MENUS).size(), 2u);
}

TEST(ControlPanel, AutoChipBoxTogglesTheList) {
    PanelRig rig;
    auto* box = rig.get<QCheckBox>(PanelLayout::AutoChip);
    auto* list = rig.get<QComboBox>(PanelLayout::ChipList);
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_FALSE(box->isChecked());
    EXPECT_TRUE(list->isEnabled());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(box->isChecked());
    EXPECT_FALSE(list->isEnabled());
}

TEST(ControlPanel, TransientLineIsReplacedByTheNextAndKeptByAppend) {
    PanelRig rig;
    rig.panel->AppendLog("QZProgrammer attached! Checking device...");
    rig.panel->AppendLog("Maxronix MX25L3208 found\r\n");
    rig.panel->ShowTransientLine("Programming... 10%\r\n");
    rig.panel->ShowTransientLine("Programming... 20%\r\n");
    EXPECT_EQ(rig.panel->shownLog(),
              "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\r\nProgramming... 20%\r\n");
    rig.panel->AppendLog("Program Finished\r\n");
    EXPECT_EQ(rig.panel->committedLog(),
              "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\r\n"
              "Programming... 20%\r\nProgram Finished\r\n");
    auto* log = rig.get<QTextEdit>(PanelLayout::Log);
    EXPECT_EQ(log->toPlainText(),
              "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\n"
              "Programming... 20%\nProgram Finished\n");
}

TEST(ControlPanel, LogMenuItemsAreGreyedWithNothingToActOnAndClearEmptiesTheLog) {
    PanelRig rig;
    std::unique_ptr<QMenu> empty(rig.panel->BuildLogMenu());
    QStringList items;
    for (QAction* a : empty->actions()) items << a->text() + (a->isEnabled() ? "" : " (grey)");
    EXPECT_EQ(items, QStringList({"&Copy (grey)", "Select &All (grey)", "",
                                  "&Save Log As... (grey)", "", "&Clear (grey)"}));
    EXPECT_EQ(empty->actions()[5]->objectName(), "32776");

    rig.panel->ShowTransientLine("Processing... 3%\r\n");
    std::unique_ptr<QMenu> full(rig.panel->BuildLogMenu());
    EXPECT_FALSE(full->actions()[0]->isEnabled()) << "Copy wants a selection";
    ASSERT_TRUE(full->actions()[5]->isEnabled());
    full->actions()[5]->trigger();
    EXPECT_TRUE(rig.panel->shownLog().isEmpty());
    EXPECT_TRUE(rig.get<QTextEdit>(PanelLayout::Log)->toPlainText().isEmpty());
}

// Select All, then Copy; Save Log As writes UTF-8 with the log's own line
// ends, and a file that cannot be written is reported.
TEST(ControlPanel, LogMenuCopiesAndSavesTheLog) {
    TempFiles files;
    PanelRig rig;
    rig.panel->AppendLog("Größe 4\r\nProgram Finished\r\n");
    std::unique_ptr<QMenu>(rig.panel->BuildLogMenu())->actions()[1]->trigger();
    std::unique_ptr<QMenu> menu(rig.panel->BuildLogMenu());
    menu->actions()[0]->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "Größe 4\nProgram Finished\n");
    rig.prompts.saveAnswers = {UserPrompts::FileAnswer{files.Path("log.txt"), 0},
                               UserPrompts::FileAnswer{files.Path("gone/log.txt"), 0}};
    menu->actions()[3]->trigger();
    EXPECT_EQ(TempFiles::Read(files.Path("log.txt")), rig.panel->shownLog().toUtf8());
    menu->actions()[3]->trigger();
    ASSERT_EQ(rig.prompts.messages.size(), 1);
    EXPECT_TRUE(rig.prompts.messages[0].startsWith("Cannot save the log to " + files.Path("gone")));
}

TEST(ControlPanel, DisablingJobButtonsLeavesExitUsable) {
    PanelRig rig;
    rig.panel->DisableJobButtons();
    for (int id : {1000, 1003, 1004, 1005, 1006, 1007, 1008, 1009})
        EXPECT_FALSE(rig.panel->control(id)->isEnabled()) << id;
    EXPECT_TRUE(rig.panel->control(PanelLayout::Exit)->isEnabled());
    rig.panel->EnableJobButtons();
    for (int id : {1000, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1011})
        EXPECT_TRUE(rig.panel->control(id)->isEnabled()) << id;
}

TEST(ControlPanel, ProgressBarUsesSixteenBitValuesAndAnEmptyRangeShowsEmpty) {
    PanelRig rig;
    auto* bar = rig.get<QProgressBar>(PanelLayout::Progress);
    rig.panel->SetProgress(100, 42);
    EXPECT_EQ(bar->maximum(), 100);
    EXPECT_EQ(bar->value(), 42);
    rig.panel->SetProgress(0, 7);
    EXPECT_EQ(bar->value(), 0);
    EXPECT_GT(bar->maximum(), 0);  // never the busy indicator
    rig.panel->SetProgress(0x10000 + 16384, 16384);
    EXPECT_EQ(bar->maximum(), 16384);
    EXPECT_EQ(bar->value(), 16384);
}

TEST(ControlPanel, EnlargingGivesTheRoomToTheHexViewAndTheLog) {
    PanelRig rig;
    rig.panel->resize(PanelLayout::TemplateSize());
    const QRect hex = rig.panel->control(PanelLayout::HexView)->geometry();
    const QRect log = rig.panel->control(PanelLayout::Log)->geometry();
    const QRect bar = rig.panel->control(PanelLayout::Progress)->geometry();
    const QRect stop = rig.panel->control(PanelLayout::Stop)->geometry();
    const QRect exit = rig.panel->control(PanelLayout::Exit)->geometry();
    const QRect autoProgram = rig.panel->control(PanelLayout::AutoProgram)->geometry();
    const QRect list = rig.panel->control(PanelLayout::ChipList)->geometry();
    const QRect group = rig.panel->control(PanelLayout::Group)->geometry();

    // The first 42 pixels of width widen the bar, as at the start size; the
    // rest, and any height, go to the hex view and the log.
    rig.panel->resize(PanelLayout::TemplateSize() + QSize(100, 40));
    EXPECT_EQ(rig.panel->control(PanelLayout::HexView)->geometry(), hex.adjusted(0, 0, 58, 20));
    EXPECT_EQ(rig.panel->control(PanelLayout::Log)->geometry(), log.adjusted(0, 20, 100, 40));
    EXPECT_EQ(rig.panel->control(PanelLayout::Progress)->geometry(), bar.adjusted(58, 0, 100, 20));
    EXPECT_EQ(rig.panel->control(PanelLayout::Stop)->geometry().size(), QSize(bar.width() + 42, stop.height()));
    EXPECT_EQ(rig.panel->control(PanelLayout::AutoProgram)->geometry(), autoProgram.translated(100, 0));
    EXPECT_EQ(rig.panel->control(PanelLayout::Exit)->geometry(), exit.translated(100, 0));
    EXPECT_EQ(rig.panel->control(PanelLayout::ChipList)->geometry(), list.translated(100, 0));
    EXPECT_EQ(rig.panel->control(PanelLayout::Group)->geometry(), group.translated(100, 0)) << "no empty box grows";
}

TEST(ControlPanel, TemplateLayoutAtTwoPixelsPerUnit) {
    const auto r = PanelLayout::Arrange(PanelLayout::TemplateSize());
    EXPECT_EQ(r.at(PanelLayout::HexView), QRect(2, 2, 608, 246));
    EXPECT_EQ(r.at(PanelLayout::Log), QRect(0, 252, 676, 204));
    EXPECT_EQ(r.at(PanelLayout::AutoProgram), QRect(686, 426, 100, 28));
    EXPECT_EQ(r.at(PanelLayout::Exit), QRect(686, 186, 100, 28));
    EXPECT_EQ(r.at(PanelLayout::Progress), QRect(628, 2, 36, 212));
    EXPECT_EQ(r.at(PanelLayout::Stop), QRect(628, 220, 36, 26));
}

TEST(ControlPanel, EnterAndEscapeChangeNothing) {
    PanelRig rig;
    rig.panel->AppendLog("kept\r\n");
    QTest::keyClick(rig.panel.get(), Qt::Key_Escape);
    QTest::keyClick(rig.panel.get(), Qt::Key_Return);
    EXPECT_TRUE(rig.panel->isVisible());
    EXPECT_EQ(rig.panel->committedLog(), "kept\r\n");
}

TEST(ControlPanel, DataWidthRadiosSetTheHexViewWidth) {
    PanelRig rig;
    QTest::mouseClick(rig.get<QRadioButton>(PanelLayout::Radio16), Qt::LeftButton);
    EXPECT_EQ(rig.panel->hexView()->displayWidth(), 16);
    QTest::mouseClick(rig.get<QRadioButton>(PanelLayout::Radio32), Qt::LeftButton);
    EXPECT_EQ(rig.panel->hexView()->displayWidth(), 32);
}

TEST(ControlPanel, DetectButtonRunsTheJobIntoTheLogAndTheList) {
    SimConfig config;
    config.chips = {5};
    PanelRig rig;
    rig.adapter.SetChips({5});
    QTest::mouseClick(rig.get<QPushButton>(PanelLayout::Detect), Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return !rig.panel->engine().state().busy; }));
    EXPECT_TRUE(rig.panel->committedLog().startsWith(
        "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\r\n"));
    EXPECT_EQ(rig.get<QComboBox>(PanelLayout::ChipList)->currentText(), "MX25L3208");
}
