#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QLockFile>
#include <QMenuBar>
#include <QSysInfo>
#include <QTemporaryDir>

#include "bus/adapter_bus.h"
#include "app/loader_app.h"
#include "app/main_frame.h"
#include "panel/control_panel.h"
#include "panel/panel_layout.h"
#include "sim/adapter_simulator.h"
#include "support/event_loop.h"
#include "support/scripted_prompts.h"

namespace {

// Copies of the program on one machine: they share the lock directory and
// the settings file, each with its own adapter bus and prompts.
struct Machine {
    QTemporaryDir dir;
    std::unique_ptr<AdapterBus> bus = AdapterBus::Simulated();

    LoaderApp::Environment Environment() const {
        LoaderApp::Environment env;
        env.lockDirectory = dir.path();
        env.settingsFile = dir.filePath("settings.ini");
        return env;
    }
};

struct Copy {
    ScriptedPrompts prompts;
    std::unique_ptr<LoaderApp> app;

    Copy(Machine& machine, std::deque<bool> answers = {}) {
        prompts.warningAnswers = std::move(answers);
        app = std::make_unique<LoaderApp>(machine.bus->backend(), machine.bus->hotplug(), prompts,
                                          machine.Environment());
    }
};

const QString kSecondCopyWarning =
    "Warning: Brellix is already running on this machine.\r\n"
    "It is not recommended to run multiple simultaneous instances of Brellix\r\n"
    "Do you want to continue?";

}  // namespace

TEST(LoaderApp, FirstCopyStartsWithoutAskingAndShowsTheFrame) {
    Machine machine;
    Copy first(machine);
    ASSERT_TRUE(first.app->InitInstance());
    EXPECT_TRUE(first.prompts.warnings.isEmpty());
    EXPECT_TRUE(first.app->ownsInstanceLock());
    CMainFrame* frame = first.app->mainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->windowIcon().isNull());
    const QImage bar = frame->menuBar()->grab().toImage();
    EXPECT_EQ(bar.pixelColor(bar.width() - 3, bar.height() / 2), QColor(203, 228, 253));
}

TEST(LoaderApp, SecondCopyAnsweredOkRunsAndAThirdIsStillWarned) {
    Machine machine;
    Copy first(machine);
    ASSERT_TRUE(first.app->InitInstance());
    Copy second(machine, {true});
    ASSERT_TRUE(second.app->InitInstance());
    EXPECT_EQ(second.prompts.warnings, QStringList({kSecondCopyWarning}));
    EXPECT_NE(second.app->mainFrame(), nullptr);
    EXPECT_FALSE(second.app->ownsInstanceLock());
    second.app.reset();

    Copy third(machine, {true});
    EXPECT_TRUE(third.app->InitInstance());
    EXPECT_EQ(third.prompts.warnings.size(), 1);
}

TEST(LoaderApp, SecondCopyAnsweredCancelEndsBeforeAnyWindow) {
    Machine machine;
    Copy first(machine);
    ASSERT_TRUE(first.app->InitInstance());
    const auto windowsBefore = QApplication::topLevelWidgets().size();
    Copy second(machine, {false});
    EXPECT_FALSE(second.app->InitInstance());
    EXPECT_EQ(second.prompts.warnings.size(), 1);
    EXPECT_EQ(second.app->mainFrame(), nullptr);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
}

TEST(LoaderApp, OnceTheFirstCopyHasEndedTheNextIsNotWarned) {
    Machine machine;
    {
        Copy first(machine);
        ASSERT_TRUE(first.app->InitInstance());
    }
    Copy next(machine);
    EXPECT_TRUE(next.app->InitInstance());
    EXPECT_TRUE(next.prompts.warnings.isEmpty());
}

TEST(LoaderApp, ALockLeftByACrashedCopyIsTakenOver) {
    Machine machine;
    Copy probe(machine);
    QFile stale(probe.app->lockFilePath());
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    // A process id that no running process has.
    stale.write(QByteArray::number(std::numeric_limits<int>::max()) + "\nbrellix\n" +
                QSysInfo::machineHostName().toUtf8() + "\n");
    stale.close();
    Copy next(machine);
    EXPECT_TRUE(next.app->InitInstance());
    EXPECT_TRUE(next.prompts.warnings.isEmpty());
    EXPECT_TRUE(next.app->ownsInstanceLock());
}

TEST(LoaderApp, SimulatedAdapterHoldsAnMx25L3208) {
    Machine machine;
    Copy copy(machine);
    ASSERT_TRUE(copy.app->InitInstance());
    ControlPanel* panel = copy.app->mainFrame()->panel();
    ASSERT_TRUE(RunUntil([&] { return panel->engine().link().attached(); }));
    qobject_cast<QAbstractButton*>(panel->control(PanelLayout::Detect))->click();
    ASSERT_TRUE(RunUntil([&] { return !panel->engine().state().busy; }));
    EXPECT_TRUE(panel->committedLog().startsWith(
        "QZProgrammer attached! Checking device...Maxronix MX25L3208 found\r\n"));
    const SimConfig demo = AdapterBus::DemoConfig();
    EXPECT_GE(demo.latencyMs, 2);
    EXPECT_LE(demo.latencyMs, 5);
}
