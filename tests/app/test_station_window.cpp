#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>

#include "app/station_tile.h"
#include "app/station_window.h"
#include "app/frame_rig.h"
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
    rig.frame->findChild<QAction*>("Production")->trigger();
    ASSERT_EQ(rig.prompts.openQuestions.size(), 1u);
    EXPECT_EQ(rig.prompts.openQuestions[0].defaultExtension, "json");
    StationWindow* station = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) station = station ? station : qobject_cast<StationWindow*>(w);
    ASSERT_NE(station, nullptr);
    ASSERT_TRUE(RunUntil([&] { return station->totalsText().startsWith("passed 2 "); }, 30000));
    ASSERT_EQ(station->tiles().size(), 1);
    EXPECT_TRUE(station->tiles()[0]->countsText().endsWith("passed 2   failed 0"));
    ASSERT_TRUE(RunUntil([&] { return station->messageText().contains("exhausted"); }, 30000));
    delete station;
}
