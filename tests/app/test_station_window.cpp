#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

#include "app/frame_status_bar.h"
#include "app/station_arguments.h"
#include "app/station_options_dialog.h"
#include "app/station_tile.h"
#include "app/station_window.h"
#include "app/frame_rig.h"
#include "panel/panel_layout.h"
#include "production/recipe_builder.h"
#include "production/recipe_file.h"
#include "production/serial_field_json.h"
#include "support/event_loop.h"
#include "support/temp_files.h"

namespace {

// A recipe with one counter, SN00001 and SN00002, at 0x100: in a blank block of its image.
QString TwoUnitRecipe(TempFiles& files) {
    QByteArray bytes(4096, 0);
    for (int i = 0; i < bytes.size(); ++i) bytes[i] = char(i * 13 + 7);
    bytes.replace(0x100, 0x100, QByteArray(0x100, char(0xFF)));
    RecipeOptions options;
    options.name = "line";
    options.imageFile = files.Write("image.bin", bytes);
    options.chip = RecipeChipIndex("MX25L3208");
    SerialField field;
    QStringList problems;
    EXPECT_TRUE(ParseSerialField(R"({"name": "serial", "kind": "counter", "address": "0x100", "start": 1,)"
                                 R"( "last": 2, "encoding": {"format": "ascii-dec", "width": 5, "prefix": "SN"}})",
                                 &field, &problems));
    options.fields = {field};
    Recipe recipe;
    const QString path = files.Path("line.json");
    EXPECT_TRUE(NewRecipe(path, options, &recipe, &problems)) << problems.join('\n').toStdString();
    QString error;
    EXPECT_TRUE(WriteRecipe(path, recipe, &error)) << error.toStdString();
    return path;
}

// Answers File > Production...'s options dialog as the operator would, by
// typing into it; keys go to whichever field has the focus.
void AnswerStationOptions(const QString& operatorName, const QString& station, bool nextOnKey, int stopAfter) {
    QTimer::singleShot(0, [=] {
        auto* dialog = qobject_cast<StationOptionsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto type = [dialog](const char* name, const QString& text) {
            auto* edit = dialog->findChild<QLineEdit*>(name);
            edit->selectAll();
            QTest::keyClicks(edit, text);
        };
        type("Operator", operatorName);
        type("Station", station);
        dialog->findChild<QComboBox*>("Next")->setCurrentIndex(nextOnKey ? 1 : 0);
        auto* stop = dialog->findChild<QSpinBox*>("StopAfterFailures");
        stop->selectAll();
        QTest::keyClicks(stop, QString::number(stopAfter));
        QTest::keyClick(dialog, Qt::Key_Return);
    });
}

StationWindow* OpenStation() {
    StationWindow* station = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) station = station ? station : qobject_cast<StationWindow*>(w);
    return station;
}

// The operator and station of every run in the record at path.
QStringList RecordedRuns(const QString& path) {
    QStringList runs;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "station-test");
        db.setDatabaseName(path);
        EXPECT_TRUE(db.open());
        QSqlQuery q("SELECT r.operator, s.name, (SELECT COUNT(*) FROM units u WHERE u.run_id = r.id)"
                    " FROM runs r JOIN stations s ON s.id = r.station_id",
                    db);
        while (q.next()) runs << q.value(0).toString() + " " + q.value(1).toString() + " " + q.value(2).toString();
    }
    QSqlDatabase::removeDatabase("station-test");
    return runs;
}

}  // namespace

// Two places each program a unit with its own serial; the values then run
// out and the run ends, each tile still showing its unit.
TEST(StationWindow, RecipeOnTwoSimulatedAdaptersShowsPassTilesWithTheirSerialsAndTotals) {
    TempFiles files;
    CliOptions options = StationWindow::OptionsFor(TwoUnitRecipe(files), 2);
    options.operatorName = "ana";
    options.station = "bench-3";
    StationWindow window(options);
    int code = -1;
    QObject::connect(&window, &StationWindow::Ended, [&code](int c) { code = c; });
    window.show();
    window.Start();
    ASSERT_TRUE(RunUntil([&] { return code >= 0; }, 30000));

    EXPECT_TRUE(window.headerText().startsWith("line 1   image CRC-32 ")) << window.headerText().toStdString();
    EXPECT_TRUE(window.headerText().endsWith("operator ana   station bench-3"));
    EXPECT_EQ(window.totalsText(), "passed 2   failed 0   cancelled 0   yield 100.0%");
    EXPECT_TRUE(window.messageText().contains("serial numbers exhausted"));
    ASSERT_EQ(window.tiles().size(), 2);
    QStringList serials;
    for (const StationTile* tile : window.tiles()) {
        EXPECT_EQ(tile->stateText(), "PASS");
        EXPECT_TRUE(tile->countsText().endsWith("passed 1   failed 0")) << tile->countsText().toStdString();
        serials << tile->serialText();
    }
    serials.sort();
    EXPECT_EQ(serials, QStringList({"SN00001", "SN00002"}));
}

// File > Production... asks for the recipe and runs it in a station of its
// own on the frame's simulated bench, one place taking both units in turn.
TEST(StationWindow, FileProductionAsksForTheRecipeAndOpensItsStation) {
    TempFiles files;
    FrameRig rig;
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{TwoUnitRecipe(files), 0});
    AnswerStationOptions("ana", "bench-3", false, 0);
    rig.frame->findChild<QAction*>("Production")->trigger();
    ASSERT_EQ(rig.prompts.openQuestions.size(), 1u);
    EXPECT_EQ(rig.prompts.openQuestions[0].defaultExtension, "json");
    StationWindow* station = OpenStation();
    ASSERT_NE(station, nullptr);
    ASSERT_TRUE(RunUntil([&] { return station->totalsText().startsWith("passed 2 "); }, 30000));
    ASSERT_EQ(station->tiles().size(), 1);
    EXPECT_TRUE(station->tiles()[0]->countsText().endsWith("passed 2   failed 0"));
    ASSERT_TRUE(RunUntil([&] { return station->messageText().contains("exhausted"); }, 30000));
    delete station;
}

// The options chosen reach the run: the header shows them, the record has
// them, the next File > Production... offers them again; with the next unit
// on Enter, nothing starts after the first unit until either Enter is pressed.
// Meanwhile the main window has let go of its adapter, and takes it back
// once the station closes.
TEST(StationWindow, ChosenOptionsReachTheRunAndEnterStartsTheNextUnit) {
    TempFiles files;
    FrameRig rig;
    const QString recipe = TwoUnitRecipe(files);
    ASSERT_TRUE(rig.engine().link().isOpen());
    rig.prompts.openAnswers.push_back(UserPrompts::FileAnswer{recipe, 0});
    AnswerStationOptions("ana", "bench-3", true, 4);
    rig.frame->findChild<QAction*>("Production")->trigger();
    QPointer<StationWindow> station = OpenStation();
    ASSERT_NE(station, nullptr);
    RunFor(0);  // the menus' messages
    EXPECT_FALSE(rig.engine().link().isOpen());
    EXPECT_EQ(rig.frame->statusPane()->text(FrameStatusBar::Adapter), "a production station is running");
    EXPECT_FALSE(rig.panel().control(PanelLayout::Detect)->isEnabled());
    EXPECT_FALSE(rig.action(CMainFrame::ID_OPTION_UPDATE_FIRMWARE)->isEnabled());

    ASSERT_TRUE(RunUntil([&] { return station->totalsText().startsWith("passed 1 "); }, 30000));
    EXPECT_TRUE(station->headerText().endsWith("operator ana   station bench-3")) << station->headerText().toStdString();
    EXPECT_EQ(station->optionsText(),
              "record line.sqlite   next unit on Enter   a place stops after 4 failures in a row");
    RunFor(100);
    EXPECT_TRUE(station->totalsText().startsWith("passed 1 "));
    QTest::keyClick(station, Qt::Key_Enter, Qt::KeypadModifier);
    ASSERT_TRUE(RunUntil([&] { return station->totalsText().startsWith("passed 2 "); }, 30000));
    QTest::keyClick(station, Qt::Key_Return);
    ASSERT_TRUE(RunUntil([&] { return station->messageText().contains("exhausted"); }, 30000));
    station->close();
    ASSERT_TRUE(RunUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return station.isNull();
    }, 30000));

    EXPECT_EQ(RecordedRuns(files.Path("line.sqlite")), QStringList{"ana bench-3 2"});
    ASSERT_TRUE(RunUntil([&] { return rig.engine().link().isOpen(); }));
    EXPECT_TRUE(rig.frame->statusPane()->text(FrameStatusBar::Adapter).startsWith("attached: "));
    EXPECT_TRUE(rig.panel().control(PanelLayout::Detect)->isEnabled());
    static_cast<QAbstractButton*>(rig.panel().control(PanelLayout::Detect))->click();
    ASSERT_TRUE(RunUntil([&] { return rig.engine().lastJob() == JobKind::Detect; }));
    EXPECT_TRUE(rig.engine().lastJobSucceeded());

    // Remembered for the next station's dialog.
    const StationSettings kept = StationSettings::Load(*rig.settings);
    EXPECT_EQ(kept.operatorName, "ana");
    EXPECT_EQ(kept.station, "bench-3");
    EXPECT_TRUE(kept.nextOnKey);
    EXPECT_EQ(kept.stopAfterFailures, 4);
}

// brellix --production's station options land on the command line's fields.
TEST(StationWindow, CommandLineStationOptionsMapOntoTheRunsOptions) {
    struct Row {
        QStringList arguments;
        const char* error;  // empty when taken
        const char* operatorName;
        const char* station;
        const char* db;
        bool nextOnKey;
        int stopAfter;
        bool stopGiven;
    };
    const Row rows[] = {
        {{"--production", "l.json", "--operator", "ana", "--station", "bench-3", "--db", "postgresql://q@h/r",
          "--next", "key", "--stop-after-failures", "3"},
         "", "ana", "bench-3", "postgresql://q@h/r", true, 3, true},
        {{"--production", "l.json", "--next", "foot"}, "--next takes key or replug", "", "", "", false, 0, false},
        {{"--operator", "ana"}, "--operator belongs to --production", "", "", "", false, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.arguments.join(' ').toStdString());
        QCommandLineParser parser;
        parser.addOption(StationArguments::Production());
        parser.addOptions(StationArguments::Options());
        ASSERT_TRUE(parser.parse(QStringList{"brellix"} + row.arguments));
        QString error;
        const std::optional<StationSettings> settings = StationArguments::Read(parser, error);
        EXPECT_EQ(error, row.error);
        if (!settings) continue;
        const CliOptions o = StationWindow::OptionsFor("l.json", 0, *settings);
        EXPECT_EQ(o.operatorName, row.operatorName);
        EXPECT_EQ(o.station, row.station);
        EXPECT_EQ(o.db, row.db);
        EXPECT_EQ(o.nextOnKey, row.nextOnKey);
        EXPECT_EQ(o.stopAfterFailures, row.stopAfter);
        EXPECT_EQ(o.stopAfterFailuresGiven, row.stopGiven);
        EXPECT_FALSE(o.keysFromInput);
    }
}
