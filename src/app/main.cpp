#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>

#include "app/app_settings.h"
#include "app/loader_app.h"
#include "app/main_frame.h"
#include "app/station_arguments.h"
#include "app/station_window.h"
#include "brellix_version.h"
#include "bus/adapter_bus.h"
#include "panel/control_panel.h"
#include "panel/qt_user_prompts.h"

namespace {

void Describe(QCommandLineParser& parser, const QCommandLineOption& simulate) {
    parser.setApplicationDescription("Brellix: front end for the QZProgrammer device programmer");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(simulate);
    parser.addOption(StationArguments::Production());
    parser.addOptions(StationArguments::Options());
    parser.addPositionalArgument("file", "An image file to load at start: Intel HEX (.hex, .ldr), Motorola S-record (.srec, .s19, .s28, "
                                 ".s37, .mot), ELF (.elf, .axf, .out) or binary (.bin).", "[file]");
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
    const std::optional<StationSettings> stationSettings = StationArguments::Read(parser, error);
    if (!stationSettings) {
        std::fprintf(stderr, "brellix: %s\n", qPrintable(error));
        return 2;
    }
    // A station alone: the recipe's run on every adapter, without the main window.
    if (parser.isSet(StationArguments::Production())) {
        StationWindow station(StationWindow::OptionsFor(parser.value(StationArguments::Production()),
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
