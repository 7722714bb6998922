#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>

#include "app/app_settings.h"
#include "app/loader_app.h"
#include "app/main_frame.h"
#include "app/station_window.h"
#include "brellix_version.h"
#include "bus/adapter_bus.h"
#include "panel/control_panel.h"
#include "panel/qt_user_prompts.h"

namespace {

const QCommandLineOption& ProductionOption() {
    static const QCommandLineOption production(
        "production", "Open a production station running the recipe file.", "recipe");
    return production;
}

// The station's choices, as File > Production... asks for them and
// brellix-cli production takes them.
const QList<QCommandLineOption>& StationOptions() {
    static const QList<QCommandLineOption> options{
        {"operator", "With --production: who runs the station.", "name"},
        {"station", "With --production: the station's name (the host name by default).", "name"},
        {"db", "With --production: the record, an SQLite file or postgresql://USER@HOST/DBNAME "
               "(by default an SQLite file beside the recipe).", "record"},
        {"next", "With --production: the next unit starts on the adapter's re-plug (replug, the default) "
                 "or on Enter (key).", "replug|key"},
        {"stop-after-failures", "With --production: failures in a row that take a place out of the run "
                                "(0, the default, never).", "N"},
    };
    return options;
}

// The station options given, or an empty answer with why not.
std::optional<StationSettings> ReadStationOptions(const QCommandLineParser& parser, QString& error) {
    StationSettings s;
    s.operatorName = parser.value("operator");
    s.station = parser.value("station");
    s.db = parser.value("db");
    if (parser.isSet("next")) {
        const QString next = parser.value("next");
        if (next != "key" && next != "replug") return error = "--next takes key or replug", std::nullopt;
        s.nextOnKey = next == "key";
    }
    if (parser.isSet("stop-after-failures")) {
        bool number = false;
        s.stopAfterFailures = parser.value("stop-after-failures").toInt(&number);
        if (!number || s.stopAfterFailures < 0)
            return error = "--stop-after-failures takes a number of failures", std::nullopt;
    }
    if (!parser.isSet(ProductionOption()))
        for (const QCommandLineOption& option : StationOptions())
            if (parser.isSet(option)) return error = "--" + option.names().constFirst() + " belongs to --production", std::nullopt;
    return s;
}

void Describe(QCommandLineParser& parser, const QCommandLineOption& simulate) {
    parser.setApplicationDescription("Brellix: front end for the QZProgrammer device programmer");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(simulate);
    parser.addOption(ProductionOption());
    parser.addOptions(StationOptions());
    parser.addPositionalArgument("file", "An image file (.hex, .ldr or .bin) to load at start.", "[file]");
}

bool AsksForHelpOrVersion(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--") break;
        for (const char* option : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
            if (argument == option) return true;
    }
    return false;
}

// --help and --version are answered before any window system is touched, so
// that they work on a machine without a display; other options there, Qt's
// own included, are no error.
[[noreturn]] void AnswerHelpOrVersion(int argc, char** argv, const QCommandLineOption& simulate) {
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationVersion(BRELLIX_VERSION);
    QCommandLineParser parser;
    Describe(parser, simulate);
    parser.parse(probe.arguments());
    if (parser.isSet("version")) parser.showVersion();
    parser.showHelp(0);
}

}  // namespace

int main(int argc, char** argv) {
    const QCommandLineOption simulate(
        "simulate", "Use the built-in simulated adapter instead of real hardware.");
    if (AsksForHelpOrVersion(argc, argv)) AnswerHelpOrVersion(argc, argv, simulate);
    // QApplication takes Qt's standard options (-style, -platform, -session,
    // ...) out of the arguments; whatever is left must be ours.
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(BRELLIX_VERSION);
    QGuiApplication::setDesktopFileName(BRELLIX_DESKTOP_ID);
    QCommandLineParser parser;
    Describe(parser, simulate);
    parser.process(app);
    QString error;
    const std::optional<StationSettings> stationSettings = ReadStationOptions(parser, error);
    if (!stationSettings) {
        std::fprintf(stderr, "brellix: %s\n", qPrintable(error));
        return 2;
    }
    // A station alone: the recipe's run on every adapter, without the main window.
    if (parser.isSet(ProductionOption())) {
        StationWindow station(StationWindow::OptionsFor(parser.value(ProductionOption()),
                                                        parser.isSet(simulate) ? 1 : 0, *stationSettings));
        station.show();
        station.Start();
        return app.exec();
    }
    std::unique_ptr<AdapterBus> bus =
        parser.isSet(simulate) ? AdapterBus::Simulated() : AdapterBus::Real();
    QtUserPrompts prompts;
    LoaderApp loader(bus->backend(), bus->hotplug(), prompts);
    if (!loader.InitInstance()) return 1;
    // "Open with" from the desktop: the file loads as if chosen with Open.
    if (!parser.positionalArguments().isEmpty())
        loader.mainFrame()->panel()->engine().OpenPath(parser.positionalArguments().constFirst());
    // File dialogs belong to the frame from now on, and start where the user left off.
    prompts.SetParent(loader.mainFrame());
    AppSettings* settings = loader.settings();
    prompts.SetFolderStore(
        {[settings] { return settings->GetProfileString(AppSettings::kLastFolder); },
         [settings](const QString& folder) {
             settings->WriteProfileString(AppSettings::kLastFolder, folder);
         }});
    return app.exec();
}
