// Makes the README's pictures: the window over the simulated adapter after a
// file was loaded and a chip that differs from it in three places was read,
// one picture per tab, the find bar with a hit, the window maximised on a
// 1280 x 800 screen, and a station window. Run by scripts/make_screenshots.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "app/app_settings.h"
#include "app/main_frame.h"
#include "app/station_window.h"
#include "controls/tab_bar.h"
#include "hexview/hex_find_bar.h"
#include "engine/protocol.h"
#include "panel/buffer_page.h"
#include "panel/control_panel.h"
#include "production/recipe_builder.h"
#include "production/recipe_file.h"
#include "production/serial_field_json.h"
#include "sim/adapter_simulator.h"
#include "sim/simulated_backend.h"
#include "support/event_loop.h"
#include "support/scripted_prompts.h"

namespace {

std::vector<std::uint8_t> Firmware() {
    std::vector<std::uint8_t> bytes(0x800);
    const char text[] = "Brellix demo image: blinks an LED. ";
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = i % 64 < 40 ? std::uint8_t(text[i % (sizeof text - 1)]) : std::uint8_t(i * 7 + 3);
    return bytes;
}

// The station window after a recipe's run on four simulated adapters, the
// third of which fails every unit.
bool DrawStation(const QString& folder, const QString& path) {
    const QString image = QDir(folder).filePath("blink.bin");
    RecipeOptions options;
    options.name = "blink-board";
    options.version = "3";
    options.imageFile = image;
    options.chip = RecipeChipIndex("MX25L3208");
    SerialField field;
    QStringList problems;
    ParseSerialField(R"({"name": "serial", "kind": "counter", "address": "0x7F0", "start": 1041, "last": 1048,)"
                     R"( "encoding": {"format": "ascii-dec", "width": 6, "prefix": "BX"}})",
                     &field, &problems);
    options.fields = {field};
    Recipe recipe;
    const QString recipePath = QDir(folder).filePath("blink-board.json");
    QString error;
    if (!NewRecipe(recipePath, options, &recipe, &problems) || !WriteRecipe(recipePath, recipe, &error)) {
        std::fprintf(stderr, "cannot write the recipe: %s%s\n", qPrintable(problems.join(' ')), qPrintable(error));
        return false;
    }
    StationSettings settings;
    settings.operatorName = "ana";
    settings.station = "line-2";
    settings.stopAfterFailures = 3;
    CliOptions run = StationWindow::OptionsFor(recipePath, 4, settings);
    run.simFaults = {"3:corrupt@every"};
    StationWindow station(run);
    bool ended = false;
    QObject::connect(&station, &StationWindow::Ended, [&ended] { ended = true; });
    station.resize(1000, 360);
    station.show();
    station.Start();
    RunUntil([&] { return ended; }, 60000);
    RunFor(100);
    return station.grab().save(path);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : "docs";
    QTemporaryDir dir;
    SimConfig config;
    config.chips = {5};
    AdapterSimulator adapter(config);
    std::vector<std::uint8_t> chip = Firmware();
    for (std::size_t at : {0x45u, 0x46u, 0x1A3u}) chip[at] ^= 0x24;
    adapter.PresetFlash(0, chip);
    SimulatedBackend bus(&adapter);
    bus.PlugAdapter();
    RunFor(0);
    AppSettings settings(dir.filePath("settings.ini"));
    ScriptedPrompts prompts;
    CMainFrame frame(bus, &bus, prompts, settings);
    frame.show();
    RunFor(50);

    const QString file = dir.filePath("blink.bin");
    QFile f(file);
    f.open(QIODevice::WriteOnly);
    f.write(reinterpret_cast<const char*>(Firmware().data()), qint64(Firmware().size()));
    f.close();
    JobEngine& engine = frame.panel()->engine();
    prompts.openAnswers.push_back(UserPrompts::FileAnswer{file, 2});
    engine.OpenFile();
    RunUntil([&] { return engine.state().fileLoaded && !engine.loadRunning(); });
    engine.SetAccessMode(ACCESS_JTAG);
    engine.Detect();
    RunUntil([&] { return !engine.state().busy; });
    prompts.readOptionAnswers.push_back(ReadOptions{ReadRangeMode::FromTo, "0", "7FF", {}, {}});
    engine.Read();
    RunUntil([&] { return !engine.state().busy; });
    RunFor(100);

    const QRect hits[] = {QRect(QPoint(0, 0), QPoint(31, 41)), QRect(QPoint(0, 52), QPoint(31, 95)),
                          QRect(QPoint(0, 104), QPoint(31, 149))};
    const char* names[] = {"screenshot.png", "screenshot_read_buffer.png", "screenshot_write_buffer.png"};
    for (int i = 0; i < 3; ++i) {
        QTest::mouseClick(frame.tabBar(), Qt::LeftButton, {}, hits[i].center());
        if (i == 1) QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3);
        RunFor(100);
        const QString path = QDir(out).filePath(names[i]);
        if (!frame.grab().save(path)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        std::printf("%s\n", qPrintable(path));
    }
    // The main page maximised on the laptop's screen.
    QTest::mouseClick(frame.tabBar(), Qt::LeftButton, {}, hits[0].center());
    frame.showMaximized();
    RunUntil([&] { return frame.width() >= 1280; }, 2000);
    RunFor(200);
    const QString maximised = QDir(out).filePath("screenshot_maximised.png");
    if (!frame.grab().save(maximised)) return 1;
    std::printf("%s\n", qPrintable(maximised));
    frame.showNormal();
    RunFor(200);

    // The WriteBuffer tab again, its find bar open on the image's text.
    QTest::mouseClick(frame.tabBar(), Qt::LeftButton, {}, hits[2].center());
    RunFor(50);
    HexFindBar* bar = nullptr;
    for (BufferPage* page : frame.findChildren<BufferPage*>())
        if (page->isVisible()) bar = page->findBar();
    if (!bar) {
        std::fprintf(stderr, "no buffer page is shown\n");
        return 1;
    }
    bar->Open();  // what Ctrl+F does
    QLineEdit* find = bar->field();
    if (bar->hexMode()->isChecked())
        QTest::mouseClick(bar->hexMode(), Qt::LeftButton, {}, QPoint(8, bar->hexMode()->height() / 2));
    QTest::keyClicks(find, "LED");
    QTest::keyClick(find, Qt::Key_Return);
    RunFor(100);
    const QString found = QDir(out).filePath("screenshot_find.png");
    if (!frame.grab().save(found)) return 1;
    std::printf("%s\n", qPrintable(found));

    const QString station = QDir(out).filePath("screenshot_station.png");
    if (!DrawStation(dir.path(), station)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(station));
        return 1;
    }
    std::printf("%s\n", qPrintable(station));
    return 0;
}
