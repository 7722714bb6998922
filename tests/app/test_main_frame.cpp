#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <set>

#include "app/frame_rig.h"
#include "app/menu_bar_drag.h"
#include "app/recent_files_menu.h"
#include "app/window_shortcuts.h"
#include "controls/tab_bar.h"
#include "engine/protocol.h"
#include "hexview/hex_view.h"
#include "link/window_messages.h"
#include "panel/panel_layout.h"
#include "support/qt_printers.h"
#include "support/temp_files.h"

namespace {

using F = CMainFrame;

QStringList Items(QMenu* menu) {
    QStringList items;
    for (QAction* a : menu->actions()) {
        QString item = a->isSeparator() ? "-" : a->text() + " " + a->objectName();
        if (a->isCheckable()) item += a->actionGroup() ? " (radio)" : " (check)";
        items << item;
    }
    return items;
}

void Post(CMainFrame* frame, int items, int enable) {
    QCoreApplication::postEvent(frame, new WindowMessage(WM_ADAPTER_MENUS, items, enable));
    RunFor(0);
}

std::vector<bool> AdapterItemsEnabled(const FrameRig& rig) {
    return {rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isEnabled(),
            rig.action(F::ID_CONFIG_JTAG_ACCESS)->isEnabled(),
            rig.action(F::ID_OPTION_UPDATE_FIRMWARE)->isEnabled()};
}

bool OtherItemsEnabled(const FrameRig& rig) {
    for (int id : {F::ID_FILE_OPEN_FILE, F::ID_EDIT_CLEAR_INFO, F::ID_CONFIG_READ_WHOLE_CHIP,
                   F::ID_CONFIG_RELOAD_LAST_FILE, F::ID_OPTION_ALWAYS_ON_TOP})
        if (!rig.action(id)->isEnabled()) return false;
    return true;
}

// Presses Exit inside the program's own event loop; true when that ended it.
bool ExitEndsTheProgram(FrameRig& rig) {
    bool ended = true;
    QObject turn;  // a turn still pending when the loop ends goes with it
    QTimer::singleShot(0, &turn, [&] {
        QTest::mouseClick(qobject_cast<QWidget*>(rig.panel().control(PanelLayout::Exit)),
                          Qt::LeftButton);
        QTimer::singleShot(0, &turn, [&] {
            ended = false;
            QCoreApplication::exit(1);
        });
    });
    QCoreApplication::exec();
    // The closed window may have asked to quit once more; no later test must get that.
    QCoreApplication::removePostedEvents(nullptr, QEvent::Quit);
    return ended;
}

// The window active and a little data in the main hex view, as after a
// load: the keys under test then have a view to start from.
bool ShowSomeData(FrameRig& rig) {
    rig.frame->activateWindow();
    if (!QTest::qWaitForWindowActive(rig.frame)) return false;
    static const std::uint8_t bytes[32] = {};
    rig.panel().ShowData(bytes, sizeof bytes);
    rig.panel().EnableHexView(true);
    return true;
}

}  // namespace

TEST(MainFrame, TitleSizeAndMenus) {
    FrameRig rig;
    EXPECT_EQ(rig.frame->windowTitle(), "Brellix(1.02)");
    EXPECT_EQ(rig.frame->frameGeometry().size(), QSize(840, 480));
    const QList<QAction*> popups = rig.frame->menuBar()->actions();
    ASSERT_EQ(popups.size(), 6);
    EXPECT_EQ(popups[0]->text(), "&File");
    EXPECT_EQ(Items(popups[0]->menu()),
              QStringList({"&Open File 32782", "Recent &Files RecentFiles", "-", "&Production... Production", "-",
                           "&Quit 57665"}));
    EXPECT_EQ(popups[1]->text(), "&Edit");
    EXPECT_EQ(Items(popups[1]->menu()), QStringList({"&Clear Info 32772"}));
    EXPECT_EQ(popups[2]->text(), "&Configuration");
    EXPECT_EQ(
        Items(popups[2]->menu()),
        QStringList({"&Always Read Whole chip 32781 (check)", "-", "Direct Access 32784 (radio)",
                     "JTAG Access 32785 (radio)", "-", "Auto Reload Last File 32788 (check)"}));
    EXPECT_EQ(popups[3]->text(), "&Option");
    EXPECT_EQ(Items(popups[3]->menu()),
              QStringList({"&Alway on Top 32783 (check)", "Update Firmware 32786"}));
    EXPECT_EQ(popups[4]->text(), "&Job");
    EXPECT_EQ(Items(popups[4]->menu()),
              QStringList({"Detect 1009", "Erase 1006", "Program 1004", "Verify 1003", "Read 1005",
                           "Auto Program 1000", "-", "&Stop 1030"}));
    QStringList keys;
    for (QAction* a : popups[4]->menu()->actions()) keys << a->shortcut().toString();
    EXPECT_EQ(keys, QStringList({"F5", "F6", "F7", "F8", "Ctrl+R", "F9", "", "Esc"}));
    EXPECT_EQ(rig.action(F::ID_FILE_QUIT)->shortcut().toString(), "Ctrl+Q");
    EXPECT_EQ(popups[5]->text(), "&Help");
    EXPECT_EQ(Items(popups[5]->menu()), QStringList({"&Keys 57670", "&About Brellix 57664"}));
}

TEST(MainFrame, StartsCentredWithTheTabStripAndThePanel) {
    FrameRig rig;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect centred(QPoint(), QSize(840, 480));
    centred.moveCenter(screen.center());
    // A screen narrower than the window keeps its left edge on the screen.
    const QPoint expected(std::max(centred.left(), screen.left()),
                          std::max(centred.top(), screen.top()));
    EXPECT_EQ(rig.frame->frameGeometry().topLeft(), expected);
    EXPECT_TRUE(rig.frame->centralWidget()->isAncestorOf(rig.frame->tabBar()));
    EXPECT_EQ(rig.frame->tabBar()->tabCount(), 3);
    EXPECT_EQ(rig.panel().parentWidget(), rig.frame->tabBar());
    EXPECT_TRUE(rig.panel().isVisible());
    EXPECT_EQ(rig.panel().geometry(), rig.frame->tabBar()->PageArea());
}

// ---- settings -------------------------------------------------------------------

TEST(MainFrame, JtagAccessIsRememberedAcrossARestart) {
    FrameRig rig;
    EXPECT_TRUE(rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isChecked());
    rig.Trigger(F::ID_CONFIG_JTAG_ACCESS);
    EXPECT_EQ(rig.engine().state().accessMode, 1);
    EXPECT_EQ(rig.engine().request().accessMode(), 1);
    rig.Restart();
    EXPECT_TRUE(rig.action(F::ID_CONFIG_JTAG_ACCESS)->isChecked());
    EXPECT_FALSE(rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isChecked());
    EXPECT_EQ(rig.engine().state().accessMode, 1);

    // Every request carries it in byte 13.
    QTest::mouseClick(qobject_cast<QWidget*>(rig.panel().control(PanelLayout::Detect)),
                      Qt::LeftButton);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    ASSERT_FALSE(rig.adapter.transcript().empty());
    EXPECT_EQ(rig.adapter.transcript().back()[13], 1);

    rig.Trigger(F::ID_CONFIG_DIRECT_ACCESS);
    rig.Restart();
    EXPECT_TRUE(rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isChecked());
    EXPECT_EQ(rig.engine().request().accessMode(), 0);
}

TEST(MainFrame, StoredAccessModeUsesItsLowByteOnly) {
    FrameRig rig;
    for (auto [stored, mode] : {std::pair{256, 0}, std::pair{257, 1}, std::pair{2, 2}}) {
        QSettings(rig.settingsFile(), QSettings::IniFormat)
            .setValue("Fernwick Brellix/AccessMode", stored);
        rig.Restart();
        EXPECT_EQ(rig.engine().state().accessMode, mode) << stored;
        EXPECT_EQ(rig.engine().request().accessMode(), mode) << stored;
        EXPECT_EQ(rig.action(F::ID_CONFIG_JTAG_ACCESS)->isChecked(), mode != 0) << stored;
        EXPECT_EQ(rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isChecked(), mode == 0) << stored;
    }
}

TEST(MainFrame, AutoReloadLastFileIsRememberedAcrossARestart) {
    FrameRig rig;
    EXPECT_FALSE(rig.action(F::ID_CONFIG_RELOAD_LAST_FILE)->isChecked());
    rig.Trigger(F::ID_CONFIG_RELOAD_LAST_FILE);
    EXPECT_TRUE(rig.engine().state().reloadLastFile);
    rig.Restart();
    EXPECT_TRUE(rig.action(F::ID_CONFIG_RELOAD_LAST_FILE)->isChecked());
    EXPECT_TRUE(rig.engine().state().reloadLastFile);
    rig.Trigger(F::ID_CONFIG_RELOAD_LAST_FILE);
    EXPECT_FALSE(rig.engine().state().reloadLastFile);
    rig.Restart();
    EXPECT_FALSE(rig.action(F::ID_CONFIG_RELOAD_LAST_FILE)->isChecked());
    EXPECT_EQ(QSettings(rig.settingsFile(), QSettings::IniFormat)
                  .value("Fernwick Brellix/Reloadfile")
                  .toInt(),
              0);
}

TEST(MainFrame, AlwaysOnTopAndReadWholeChipAreForgottenAtARestart) {
    FrameRig rig;
    rig.frame->setGeometry(100, 120, 700, 400);
    const QRect where = rig.frame->geometry();
    rig.Trigger(F::ID_OPTION_ALWAYS_ON_TOP);
    rig.Trigger(F::ID_CONFIG_READ_WHOLE_CHIP);
    EXPECT_TRUE(rig.frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(rig.frame->isVisible());
    EXPECT_EQ(rig.frame->geometry(), where);
    EXPECT_TRUE(rig.action(F::ID_OPTION_ALWAYS_ON_TOP)->isChecked());
    EXPECT_TRUE(rig.action(F::ID_CONFIG_READ_WHOLE_CHIP)->isChecked());

    rig.Restart();
    EXPECT_FALSE(rig.frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(rig.action(F::ID_OPTION_ALWAYS_ON_TOP)->isChecked());
    EXPECT_FALSE(rig.action(F::ID_CONFIG_READ_WHOLE_CHIP)->isChecked());
    EXPECT_EQ(QSettings(rig.settingsFile(), QSettings::IniFormat).allKeys(), QStringList());
}

TEST(MainFrame, AlwaysOnTopOffMakesANormalWindowAgainInPlace) {
    FrameRig rig;
    rig.Trigger(F::ID_OPTION_ALWAYS_ON_TOP);
    const QRect where = rig.frame->geometry();
    rig.Trigger(F::ID_OPTION_ALWAYS_ON_TOP);
    EXPECT_FALSE(rig.frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(rig.action(F::ID_OPTION_ALWAYS_ON_TOP)->isChecked());
    EXPECT_EQ(rig.frame->geometry(), where);
    EXPECT_TRUE(rig.frame->isVisible());
}

// ---- adapter menu items -----------------------------------------------------------

TEST(MainFrame, AdapterMenuMessagesGreyAndEnableExactlyTheirItems) {
    FrameRig rig;
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({true, true, true}));
    Post(rig.frame, MENUS_ACCESS_MODE, 0);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({false, false, true}));
    Post(rig.frame, MENUS_UPDATE_FIRMWARE, 0);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({false, false, false}));
    Post(rig.frame, 3, 1);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({false, false, false}));
    Post(rig.frame, MENUS_ACCESS_MODE, 1);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({true, true, false}));
    Post(rig.frame, MENUS_UPDATE_FIRMWARE, 1);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({true, true, true}));
    EXPECT_TRUE(OtherItemsEnabled(rig));
}

TEST(MainFrame, AdapterItemsFollowTheAdapterBeingPluggedAndPulled) {
    FrameRig rig(false);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({false, false, false}));
    rig.bus.PlugAdapter();
    RunFor(0);
    RunFor(0);
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({true, true, false}));
    ASSERT_TRUE(RunUntil([&] { return rig.action(F::ID_OPTION_UPDATE_FIRMWARE)->isEnabled(); }));
    rig.bus.UnplugAdapter();
    ASSERT_TRUE(RunUntil([&] { return !rig.action(F::ID_CONFIG_JTAG_ACCESS)->isEnabled(); }));
    EXPECT_EQ(AdapterItemsEnabled(rig), std::vector<bool>({false, false, false}));
    EXPECT_TRUE(OtherItemsEnabled(rig));
}

// ---- commands ------------------------------------------------------------------------

TEST(MainFrame, ClearInfoEmptiesTheLog) {
    FrameRig rig;
    rig.panel().AppendLog("line\r\n");
    rig.Trigger(F::ID_EDIT_CLEAR_INFO);
    EXPECT_TRUE(rig.panel().shownLog().isEmpty());
}

TEST(MainFrame, OpenFileAsksForAFileAsTheOpenButtonDoes) {
    FrameRig rig;
    rig.Trigger(F::ID_FILE_OPEN_FILE);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().loadRunning(); }));
    ASSERT_EQ(rig.prompts.openQuestions.size(), 1u);
    // All image kinds at once first, everything last.
    EXPECT_EQ(rig.prompts.openQuestions[0].filter,
              "All images (*.hex *.ldr *.bin *.srec *.s19 *.s28 *.s37 *.mot *.elf *.axf *.out)|"
              "*.hex;*.ldr;*.bin;*.srec;*.s19;*.s28;*.s37;*.mot;*.elf;*.axf;*.out|"
              "Inter Hex(*.hex)|*.hex|Loader(*.ldr)|*.ldr| Binary(*.bin)|*.bin|"
              "Motorola S-record(*.srec *.s19 *.s28 *.s37 *.mot)|*.srec;*.s19;*.s28;*.s37;*.mot|"
              "ELF(*.elf *.axf *.out)|*.elf;*.axf;*.out|All files|*||");
    EXPECT_FALSE(rig.engine().state().fileLoaded);
}

TEST(MainFrame, UpdateFirmwareAsksFirstAndNoChangesNothing) {
    FrameRig rig;
    rig.prompts.warningAnswers = {false};
    rig.Trigger(F::ID_OPTION_UPDATE_FIRMWARE);
    ASSERT_EQ(rig.prompts.warnings.size(), 1);
    EXPECT_EQ(rig.prompts.warnings[0],
              "Warning: You are attemp to update the firmware,\r\nIf failed it may damage you "
              "programmer,\r\n"
              "Are you want to continue?");
    RunFor(0);
    EXPECT_TRUE(rig.adapter.transcript().empty());
    EXPECT_FALSE(rig.engine().state().busy);
    EXPECT_TRUE(rig.panel().shownLog().isEmpty());
}

TEST(MainFrame, UpdateFirmwareYesStartsTheUpdateWithItsImageFile) {
    FrameRig rig;
    rig.prompts.warningAnswers = {true};
    rig.Trigger(F::ID_OPTION_UPDATE_FIRMWARE);
    EXPECT_EQ(rig.prompts.warnings.size(), 1);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    // The update begins by asking for the firmware image; without one it ends.
    EXPECT_EQ(rig.prompts.openQuestions.size(), 1u);
    EXPECT_FALSE(rig.engine().state().firmwareUpdate);
    EXPECT_TRUE(rig.adapter.transcript().empty());
}

// ---- dragging by the menu bar --------------------------------------------------------------

TEST(MainFrame, DraggingTheEmptyMenuBarMovesTheWindow) {
    FrameRig rig;
    QMenuBar* bar = rig.frame->menuBar();
    const QRect lastTitle = bar->actionGeometry(bar->actions().last());
    const QPoint empty(std::max(lastTitle.right(), F::kCaptionFromX) + 20, bar->height() / 2);
    ASSERT_TRUE(rig.frame->menuBarDrag()->IsCaption(empty));
    const QPoint start = rig.frame->pos();
    QTest::mousePress(bar, Qt::LeftButton, {}, empty);
    QTest::mouseMove(bar, empty + QPoint(40, 25));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, empty + QPoint(40, 25));
    EXPECT_EQ(rig.frame->pos(), start + QPoint(40, 25));
}

TEST(MainFrame, MenuTitlesAndTheBarLeftOfTheLineAreNoCaption) {
    FrameRig rig;
    QMenuBar* bar = rig.frame->menuBar();
    for (QAction* title : bar->actions())
        EXPECT_FALSE(rig.frame->menuBarDrag()->IsCaption(bar->actionGeometry(title).center()));
    EXPECT_FALSE(rig.frame->menuBarDrag()->IsCaption(QPoint(F::kCaptionFromX, bar->height() / 2)));
    EXPECT_FALSE(rig.frame->menuBarDrag()->IsCaption(QPoint(bar->width() + 5, bar->height() / 2)));
}

// ---- tabs and shutdown -----------------------------------------------------------------

TEST(MainFrame, ReadBufferTabHidesThePanelAndStatusBringsItBack) {
    FrameRig rig;
    TabBar* bar = rig.frame->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(16, 74));
    EXPECT_FALSE(rig.panel().isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(16, 20));
    EXPECT_TRUE(rig.panel().isVisible());
    EXPECT_EQ(rig.frame->focusWidget(), rig.panel().control(PanelLayout::Detect));
}

TEST(MainFrame, StartsWithTheFocusOnDetect) {
    FrameRig rig;
    rig.frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(rig.frame));
    EXPECT_EQ(QApplication::focusWidget(), rig.panel().control(PanelLayout::Detect));
}

// However small the window is made, no two controls overlap (the group box
// frames its own) and the progress bar keeps half its width.
TEST(MainFrame, ShrinkingStopsWhereThePanelStaysWhole) {
    FrameRig rig;
    const std::set<int> framed = {PanelLayout::Radio8, PanelLayout::Radio16, PanelLayout::Radio32,
                                  PanelLayout::AutoChip, PanelLayout::ChipList};
    for (QSize asked : {QSize(100, 100), QSize(835, 200), QSize(300, 478)}) {
        rig.frame->resize(asked);
        RunFor(0);
        EXPECT_GE(rig.panel().control(PanelLayout::Progress)->width(), 18);
        for (const auto& [a, ra] : PanelLayout::TemplateRects())
            for (const auto& [b, rb] : PanelLayout::TemplateRects()) {
                const QRect wa = rig.panel().control(a)->geometry();
                const QRect wb = rig.panel().control(b)->geometry();
                if (a == PanelLayout::Group && framed.count(b)) {
                    EXPECT_TRUE(wa.contains(wb)) << b;
                } else if (a < b && !(b == PanelLayout::Group && framed.count(a))) {
                    EXPECT_FALSE(wa.intersects(wb)) << a << " " << b << " " << asked.width();
                }
            }
    }
}

TEST(MainFrame, ClosingDestroysTheTabStripThenThePanelWhichClosesTheLink) {
    FrameRig rig;
    QStringList order;
    QObject::connect(rig.frame->tabBar(), &QObject::destroyed, [&] { order << "tab strip"; });
    QObject::connect(&rig.panel(), &QObject::destroyed, [&] { order << "panel"; });
    // While the panel holds the adapter open, nobody else may open it.
    rig.bus.SetRefuseSecondOpen(true);
    EXPECT_EQ(rig.bus.Open(SimulatedBackend::kAdapterPath), nullptr);
    rig.frame->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(rig.frame.isNull());
    EXPECT_EQ(order, QStringList({"tab strip", "panel"}));
    EXPECT_NE(rig.bus.Open(SimulatedBackend::kAdapterPath), nullptr);
}

TEST(MainFrame, QuittingDuringAJobOrOverEditsAsksOnceAndNoKeepsItRunning) {
    using Keep = UserPrompts::Keep;
    struct Case {
        bool byExit, running;
        std::deque<bool> answers;
        bool quits;
        bool edited = false;
        std::deque<Keep> keeps = {};
    };
    // Edits of the read buffer with nothing read cannot be saved: Save keeps the window.
    for (const Case& c : {Case{false, false, {}, true}, Case{false, true, {false}, false},
                          Case{false, true, {true}, true}, Case{true, false, {}, true},
                          Case{true, true, {false}, false}, Case{true, true, {true}, true},
                          Case{false, false, {}, false, true, {Keep::Cancel}},
                          Case{true, false, {}, true, true, {Keep::Discard}},
                          Case{false, false, {}, false, true, {Keep::Save}}}) {
        SimConfig silent;  // Detect is never answered and the time-out outlasts the test
        silent.faults.silentCommand = CMD_DETECT;
        LinkTiming timing = FrameRig::ShortTiming();
        timing.replyTimeoutMs = 600000;
        FrameRig rig(true, silent, timing);
        const std::uint8_t edit[] = {1, 2, 3};
        if (c.edited) rig.engine().EditReadBack(edit, sizeof edit);
        if (c.running) rig.engine().Detect();
        rig.prompts.warningAnswers = c.answers;
        rig.prompts.keepAnswers = c.keeps;
        if (!c.byExit) rig.frame->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(c.byExit ? ExitEndsTheProgram(rig) : rig.frame.isNull(), c.quits);
        // Quitting closes the window as well, which does not ask again.
        EXPECT_EQ(rig.prompts.warnings,
                  c.running ? QStringList({"Warning: A job is running. Quit anyway?"}) : QStringList());
        EXPECT_EQ(rig.prompts.keepQuestions,
                  c.edited ? QStringList({"Warning: There are unsaved edits in the buffers. Save them before quitting?"})
                           : QStringList());
        EXPECT_EQ(!c.quits, rig.frame && rig.frame->isVisible() && (rig.engine().state().busy || c.edited));
        if (!c.keeps.empty() && c.keeps.front() == Keep::Save) {
            EXPECT_TRUE(rig.panel().shownLog().endsWith("Nothing has been read from the chip yet\r\n"));
        }
    }
}

// ---- desktop habits ----------------------------------------------------------------------

namespace {

// A drag over the log, which takes no drops itself, goes on to the window,
// and the drop then goes where the drag was taken.
bool Drop(FrameRig& rig, const QString& path, bool enterOnly = false) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QWidget* log = rig.panel().control(PanelLayout::Log);
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(log, &enter);
    if (enterOnly || !enter.isAccepted()) return enter.isAccepted();
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QApplication::sendEvent(log, &drop);
    return drop.isAccepted();
}

}  // namespace

TEST(MainFrame, DroppedImageFilesLoadAndALoadUnderWayRefusesTheNext) {
    TempFiles files;
    FrameRig rig;
    for (const char* name : {"a.hex", "b.LDR", "c.bin", "f.srec", "g.S19", "h.mot", "i.elf", "j.axf", "k.out"})
        EXPECT_TRUE(Drop(rig, QString("/tmp/") + name, true)) << name;
    for (const char* name : {"d.txt", "e.hex.txt", "hex"})
        EXPECT_FALSE(Drop(rig, QString("/tmp/") + name, true)) << name;
    const QString path = files.Write("image.bin", QByteArray(32, 7));
    ASSERT_TRUE(Drop(rig, path));
    ASSERT_TRUE(
        RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
    EXPECT_EQ(rig.engine().image().loadedFilePath, path);
    EXPECT_TRUE(rig.prompts.openQuestions.empty());
    rig.engine().OpenPath(path);  // its outcome waits for the event loop
    Drop(rig, path);
    EXPECT_TRUE(rig.panel().shownLog().endsWith("Program is busy\r\n"));
    RunUntil([&] { return !rig.engine().loadRunning(); });
}

// The last eight loads, most recent first, survive a restart; choosing one
// loads it without a dialog, and a running job refuses it.
TEST(MainFrame, RecentFilesOutliveARestartAndLoadWithoutADialog) {
    TempFiles files;
    FrameRig rig;
    const auto recent = [&] { return rig.frame->recentFiles()->paths(); };
    QStringList loaded;
    for (int i = 0; i < 10; ++i) {
        loaded.prepend(files.Write(QString("f%1.bin").arg(i), QByteArray(16, char(i))));
        rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{loaded.first(), 2});
        rig.engine().OpenFile();
        ASSERT_TRUE(RunUntil([&] { return recent().value(0) == loaded.first(); }));
    }
    rig.Restart();
    EXPECT_EQ(recent(), loaded.mid(0, 8));
    QMenu* menu = rig.frame->recentFiles()->menu();
    EXPECT_EQ(menu->actions()[3]->text(), "&4 " + loaded[3]);
    menu->actions()[3]->trigger();
    ASSERT_TRUE(RunUntil([&] { return recent().value(0) == loaded[3]; }));
    EXPECT_EQ(rig.engine().image().loadedFilePath, loaded[3]);
    EXPECT_EQ(rig.prompts.openQuestions.size(), 10u);
    rig.engine().Detect();  // the job runs until the event loop brings its reply
    menu->actions()[1]->trigger();
    EXPECT_TRUE(rig.panel().shownLog().endsWith("Program is busy\r\n"));
    RunUntil([&] { return !rig.engine().state().busy; });
}

// Wherever the focus is, the hex view holding data included, each key presses
// its button (Open's is the menu command's); keys the window does not use
// still reach the view. Without an adapter every job ends at once.
TEST(MainFrame, ShortcutsPressTheirButtonsWhereverTheFocusIs) {
    FrameRig rig(false);
    ASSERT_TRUE(ShowSomeData(rig));
    for (int focus : {PanelLayout::HexView, PanelLayout::Log, PanelLayout::Exit}) {
        QWidget* target = rig.panel().control(focus);
        target->setFocus();
        // The keys users are told of, written out: the table the code keeps must agree.
        const WindowShortcuts::Binding keys[] = {
            {PanelLayout::Open, "Ctrl+O"},    {PanelLayout::Save, "Ctrl+S"},    {PanelLayout::Detect, "F5"},
            {PanelLayout::Erase, "F6"},       {PanelLayout::Program, "F7"},     {PanelLayout::Verify, "F8"},
            {PanelLayout::AutoProgram, "F9"}, {PanelLayout::Read, "Ctrl+R"}};
        ASSERT_EQ(WindowShortcuts::Bindings().size(), std::size(keys));
        for (const WindowShortcuts::Binding& binding : keys) {
            auto* button = qobject_cast<QAbstractButton*>(rig.panel().control(binding.button));
            EXPECT_EQ(button->toolTip(), button->text() + " (" + binding.keys + ")");
            const std::size_t asked = rig.prompts.openQuestions.size();
            QSignalSpy pressed(button, &QAbstractButton::clicked);
            QTest::keySequence(target, QKeySequence(binding.keys));
            RunFor(0);
            const bool open = binding.button == PanelLayout::Open;
            EXPECT_EQ(open ? rig.prompts.openQuestions.size() - asked : pressed.size(), 1u)
                << binding.keys << " in " << focus;
        }
    }
    EXPECT_TRUE(rig.prompts.saveQuestions.empty()) << "Save asks for no file before anything was read";
    EXPECT_EQ(rig.panel().hexView()->data(), std::vector<std::uint8_t>(32));
    QTest::mouseClick(rig.panel().hexView(), Qt::LeftButton, {}, QPoint(57 * 8 + 4, 4));
    QTest::keyClick(rig.panel().hexView(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(rig.panel().hexView()->data()[0], 1) << "Ctrl+A types its control code";
}

// ---- stopping a job ----------------------------------------------------------------------

namespace {

QAbstractButton* Button(FrameRig& rig, int id) { return qobject_cast<QAbstractButton*>(rig.panel().control(id)); }

bool AccessItemsEnabled(FrameRig& rig) {
    return rig.action(F::ID_CONFIG_DIRECT_ACCESS)->isEnabled() && rig.action(F::ID_CONFIG_JTAG_ACCESS)->isEnabled();
}

}  // namespace

// With "Always Read Whole chip" ticked, Ctrl+R reads the whole space without a
// dialog; Esc (the focus in the hex view), the Stop button or Job > Stop end
// the read at its next block, the access mode is offered again, and F5 then
// detects the chip as ever.
TEST(MainFrame, StopEndsTheJobAtItsNextBlockAndTheNextJobRuns) {
    enum How { Esc, StopButton, JobMenu };
    for (How how : {Esc, StopButton, JobMenu}) {
        FrameRig rig;
        ASSERT_TRUE(ShowSomeData(rig));
        rig.panel().hexView()->setFocus();
        rig.Trigger(F::ID_CONFIG_JTAG_ACCESS);
        rig.Trigger(F::ID_CONFIG_READ_WHOLE_CHIP);
        EXPECT_FALSE(Button(rig, PanelLayout::Stop)->isEnabled());
        QTest::keySequence(rig.panel().hexView(), QKeySequence("Ctrl+R"));
        ASSERT_TRUE(rig.engine().state().busy);
        EXPECT_EQ(rig.prompts.readOptionQuestions, 0);
        EXPECT_EQ(rig.engine().state().readStart, 0u);
        EXPECT_EQ(rig.engine().state().readEnd, 0x3FFFFFu);
        EXPECT_FALSE(AccessItemsEnabled(rig));
        EXPECT_TRUE(Button(rig, PanelLayout::Stop)->isEnabled());
        ASSERT_TRUE(RunUntil([&] { return rig.adapter.requestCount() >= 8; }));
        const int sent = rig.adapter.requestCount();
        if (how == Esc) QTest::keyClick(rig.panel().hexView(), Qt::Key_Escape);
        if (how == StopButton) QTest::mouseClick(Button(rig, PanelLayout::Stop), Qt::LeftButton);
        if (how == JobMenu) rig.frame->findChild<QAction*>(QString::number(PanelLayout::Stop))->trigger();
        ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy && AccessItemsEnabled(rig); })) << how;
        EXPECT_EQ(rig.adapter.requestCount(), sent) << "the request under way was the last";
        const QString log = rig.panel().committedLog();
        const QRegularExpression ending("Read cancelled\r\nread block at 0x[0-9A-F]{6}: cancelled\r\nDone in [0-9.]+ s");
        EXPECT_TRUE(log.contains(ending)) << log.toStdString();
        EXPECT_FALSE(Button(rig, PanelLayout::Stop)->isEnabled());
        QTest::keyClick(rig.panel().hexView(), Qt::Key_F5);
        ASSERT_TRUE(RunUntil([&] { return rig.engine().lastJob() == JobKind::Detect; }));
        EXPECT_TRUE(rig.engine().lastJobSucceeded());
    }
}

// Stop ends a firmware update whose erase has not gone out; once it has,
// the adapter would be left without firmware: Stop says so and changes nothing.
TEST(MainFrame, StopEndsAFirmwareUpdateBeforeItsEraseAndSeesItThroughAfter) {
    TempFiles files;
    SimConfig config;
    config.chips = {5};
    config.bootEntry = SimConfig::BootEntry::Ready;
    config.commandLatencyMs[CMD_WRITE_BLOCK] = 30;
    FrameRig rig(true, config);
    const QString firmware = files.Write("fw.bin", QByteArray(0x2800 + 3 * 256, char(0x5A)));
    rig.prompts.warningAnswers = {true, true};
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{firmware, 2});
    rig.prompts.whileOpenDialogUp = [&] { rig.panel().Stop(); };
    rig.Trigger(F::ID_OPTION_UPDATE_FIRMWARE);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    EXPECT_TRUE(rig.adapter.transcript().empty());
    EXPECT_TRUE(rig.panel().committedLog().contains("Firmware update cancelled\r\n"));

    rig.prompts.whileOpenDialogUp = nullptr;
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{firmware, 2});
    rig.Trigger(F::ID_OPTION_UPDATE_FIRMWARE);
    ASSERT_TRUE(RunUntil([&] {
        for (const Payload& p : rig.adapter.transcript())
            if (p[0] == CMD_ERASE) return true;
        return false;
    }));
    rig.panel().Stop();
    QTest::keyClick(rig.panel().hexView(), Qt::Key_Escape);
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    EXPECT_TRUE(rig.engine().lastJobSucceeded());
    EXPECT_EQ(rig.panel().committedLog().count("The firmware update goes on to its end: stopped half way, "
                                               "it would leave the adapter without firmware\r\n"),
              1);
    EXPECT_EQ(rig.panel().committedLog().count("cancelled"), 2);  // the first update's line and its reason
}

// ---- keyboard ------------------------------------------------------------------------------

TEST(MainFrame, TabKeysSwitchPagesFromAnywhereAndTheStripIsNamed) {
    FrameRig rig;
    ASSERT_TRUE(ShowSomeData(rig));
    rig.panel().hexView()->setFocus();
    TabBar* bar = rig.frame->tabBar();
    const std::pair<const char*, int> rows[] = {
        {"Ctrl+2", 1},   {"Ctrl+3", 2},   {"Ctrl+1", 0},         {"Ctrl+Tab", 1},        {"Ctrl+Tab", 2},
        {"Ctrl+Tab", 0}, {"Ctrl+Tab", 1}, {"Ctrl+Shift+Tab", 0}, {"Ctrl+Shift+Tab", 2}, {"Ctrl+1", 0}};
    for (const auto& [keys, tab] : rows) {
        QTest::keySequence(QApplication::focusWidget(), QKeySequence(keys));
        EXPECT_EQ(bar->selected(), tab) << keys;
        if (tab == 0) rig.panel().hexView()->setFocus();  // the view claims Tab, not Ctrl+Tab
    }
    EXPECT_EQ(bar->accessibleName(), "Tabs");
    EXPECT_TRUE(bar->accessibleDescription().startsWith("Status shown; tabs: Status (Ctrl+1), ReadBuffer (Ctrl+2)"));
    QStringList pages;
    for (QWidget* page : {static_cast<QWidget*>(&rig.panel()), rig.frame->findChild<QWidget*>("ReadBuffer"),
                          rig.frame->findChild<QWidget*>("WriteBuffer")})
        pages << page->accessibleName();
    EXPECT_EQ(pages, QStringList({"Status", "ReadBuffer", "WriteBuffer"}));
}

// Tab from Detect visits every control of the panel, the hex view last; on
// a buffer page it visits the page's buttons.
TEST(MainFrame, TabReachesEveryControl) {
    FrameRig rig;
    ASSERT_TRUE(ShowSomeData(rig));
    rig.panel().SetAutoChip(false);
    const auto visit = [](QWidget* from, int presses) {
        std::set<QWidget*> seen;
        from->setFocus(Qt::TabFocusReason);
        for (int i = 0; i < presses; ++i) {
            seen.insert(QApplication::focusWidget());
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        return seen;
    };
    const std::set<QWidget*> seen = visit(rig.panel().control(PanelLayout::Detect), 30);
    for (int id : {PanelLayout::Detect, PanelLayout::Open, PanelLayout::Save, PanelLayout::Erase,
                   PanelLayout::Read, PanelLayout::Program, PanelLayout::Verify, PanelLayout::AutoProgram,
                   PanelLayout::Radio8, PanelLayout::AutoChip, PanelLayout::ChipList, PanelLayout::Log,
                   PanelLayout::HexView})
        EXPECT_TRUE(seen.count(rig.panel().control(id))) << id;
    // Exit, above Detect, is one Shift+Tab away from the focus the window starts with.
    rig.panel().control(PanelLayout::Detect)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), rig.panel().control(PanelLayout::Exit));
    // The ReadBuffer's buttons walk differences, and there are none yet: the
    // WriteBuffer page, holding the loaded image, has buttons to reach.
    rig.frame->tabBar()->Select(2);
    auto* page = rig.frame->findChild<QWidget*>("WriteBuffer");
    ASSERT_NE(page, nullptr);
    // A loaded file makes the page's Revert a button to reach as well.
    TempFiles files;
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("a.bin", std::vector<std::uint8_t>(64, 1)), 2});
    rig.engine().OpenFile();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
    RunFor(0);
    QWidget* first = nullptr;
    for (QPushButton* button : page->findChildren<QPushButton*>())
        if (!first && button->isEnabled() && button->isVisibleTo(page)) first = button;
    ASSERT_NE(first, nullptr);
    const std::set<QWidget*> onPage = visit(first, 8);
    int reachable = 0;
    for (QPushButton* button : page->findChildren<QPushButton*>()) {
        if (button->isEnabled() && button->isVisibleTo(page)) {
            ++reachable;
            EXPECT_TRUE(onPage.count(button)) << button->text().toStdString();
        }
    }
    EXPECT_GE(reachable, 2);
}

// ---- help --------------------------------------------------------------------------------

TEST(MainFrame, HelpShowsTheKeysAndAboutTheProgram) {
    FrameRig rig;
    rig.Trigger(F::ID_HELP_KEYS);
    rig.Trigger(F::ID_HELP_ABOUT);
    ASSERT_EQ(rig.prompts.informations.size(), 2);
    for (const char* row : {"F5\tDetect", "Esc\tStop the running job at its next block", "Ctrl+Q\tQuit",
                            "Ctrl+1, Ctrl+2, Ctrl+3\tStatus, ReadBuffer, WriteBuffer"})
        EXPECT_TRUE(rig.prompts.informations[0].contains(row)) << row;
    EXPECT_TRUE(rig.prompts.informations[0].startsWith("Keys: Ctrl+O\t"));
    const QString about = rig.prompts.informations[1];
    EXPECT_TRUE(about.startsWith("About Brellix: Brellix 1.02\nQt " + QString(qVersion()) + "\nhidapi "));
    EXPECT_TRUE(about.endsWith("/udev/rules.d/70-brellix.rules"));
}

// ---- questions ------------------------------------------------------------------------------

// A save of what was read proposes the chip and the range; the write buffer's
// save proposes the loaded file's name.
TEST(MainFrame, SaveDialogsProposeAName) {
    TempFiles files;
    FrameRig rig;
    rig.Trigger(F::ID_CONFIG_JTAG_ACCESS);
    Button(rig, PanelLayout::Detect)->click();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().chipInUse() != JobEngine::kNoChipNamed; }));
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    ReadOptions range;
    range.fromToStart = "100";
    range.fromToEnd = "1FF";
    rig.prompts.readOptionAnswers.push_back(range);
    Button(rig, PanelLayout::Read)->click();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().lastJob() == JobKind::Read && !rig.engine().state().busy; }));
    Button(rig, PanelLayout::Save)->click();
    const QString path = files.Write("image.bin", QByteArray(64, 3));
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{path, 0});
    rig.Trigger(F::ID_FILE_OPEN_FILE);
    ASSERT_TRUE(RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
    rig.frame->findChild<QWidget*>("WriteBuffer")->findChild<QPushButton*>()->click();
    ASSERT_EQ(rig.prompts.saveQuestions.size(), 2u);
    EXPECT_EQ(rig.prompts.saveQuestions[0].initialName, "PIC24FJ64GA004_000100-0001FF.hex");
    EXPECT_EQ(rig.prompts.saveQuestions[1].initialName, "image.bin");
}

// ---- layout on the screen ----------------------------------------------------------

namespace {

// Every control of the panel lies whole inside the tab strip (which scrolls
// when the window is smaller), and no two of the panel's own controls meet.
void ExpectEveryControlReachable(FrameRig& rig, const char* when) {
    SCOPED_TRACE(when);
    const QRect strip = rig.frame->tabBar()->rect();
    std::vector<QRect> own;
    for (int id = PanelLayout::AutoProgram; id <= PanelLayout::Stop; ++id) {
        QWidget* control = rig.panel().control(id);
        if (!control) continue;
        const QRect r(control->mapTo(rig.frame->tabBar(), QPoint()), control->size());
        EXPECT_FALSE(r.isEmpty()) << id;
        EXPECT_TRUE(strip.contains(r)) << id << " at " << r.x() << "," << r.y();
        if (control->parentWidget() == &rig.panel() && id != PanelLayout::Group) own.push_back(r);
    }
    for (std::size_t i = 0; i < own.size(); ++i)
        for (std::size_t j = i + 1; j < own.size(); ++j) EXPECT_FALSE(own[i].intersects(own[j])) << i << "/" << j;
}

}  // namespace

TEST(MainFrameLayout, FitsTheScreenAtItsMinimumAndMaximised) {
    FrameRig rig;
    const QRect screen = rig.frame->screen()->availableGeometry();
    ExpectEveryControlReachable(rig, "at the start size");
    const QSize least = rig.frame->minimumSize().expandedTo(rig.frame->minimumSizeHint());
    EXPECT_LE(least.width(), screen.width());
    EXPECT_LE(least.height(), screen.height());
    rig.frame->resize(least);
    RunFor(0);
    ExpectEveryControlReachable(rig, "at the minimum");
    rig.frame->showMaximized();
    RunFor(0);
    ExpectEveryControlReachable(rig, "maximised");
    if (rig.panel().height() > PanelLayout::TemplateSize().height()) {
        EXPECT_GT(rig.panel().hexView()->height(), 246) << "the room goes to the hex view";
    }
}

TEST(MainFrame, RemembersItsSizeAndPlaceButNotOffEveryScreen) {
    FrameRig rig;
    const QRect screen = rig.frame->screen()->availableGeometry();
    const QRect place(screen.topLeft() + QPoint(10, 20), QSize(850, 500));
    rig.frame->setGeometry(place);
    RunFor(0);
    rig.frame->close();
    rig.Start();
    RunFor(0);
    EXPECT_EQ(rig.frame->geometry(), place);

    rig.frame->move(screen.right() + 5000, screen.bottom() + 5000);
    RunFor(0);
    rig.frame->close();
    rig.Start();
    RunFor(0);
    EXPECT_TRUE(screen.intersects(rig.frame->frameGeometry()));
}

TEST(MainFrame, TheHexViewSaysWhatItShows) {
    FrameRig rig;
    TempFiles files;
    HexView* view = rig.panel().hexView();
    EXPECT_TRUE(rig.panel().viewCaption().isEmpty());
    EXPECT_TRUE(view->emptyHint().contains("F5"));
    std::vector<std::uint8_t> image(0x300, 0x5A);
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{files.Write("a.bin", image), 2});
    rig.engine().OpenFile();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().state().fileLoaded && !rig.engine().loadRunning(); }));
    RunFor(0);
    EXPECT_EQ(rig.panel().viewCaption(), "File a.bin");
    // At the first size the rows fill the view: the label would hide bytes.
    auto* label = view->findChild<QLabel*>("ViewCaption");
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->isVisibleTo(view));
    EXPECT_EQ(view->toolTip(), "File a.bin");
    rig.frame->resize(1200, 600);
    RunFor(0);
    EXPECT_TRUE(label->isVisibleTo(view));
    EXPECT_GE(label->x(), view->editor().layout().textX() + 16 * view->editor().layout().charWidth());
    rig.adapter.PresetFlash(0, image);
    rig.engine().SetAccessMode(ACCESS_JTAG);
    rig.prompts.readOptionAnswers.push_back(ReadOptions{ReadRangeMode::FromTo, "0", "2FF", {}, {}});
    rig.engine().Read();
    ASSERT_TRUE(RunUntil([&] { return !rig.engine().state().busy; }));
    RunFor(0);
    EXPECT_EQ(rig.panel().viewCaption(), QString::fromUtf8("Chip, read 000000\u2013" "0002FF"));
}
