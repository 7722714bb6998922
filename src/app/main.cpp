#include <QApplication>
#include <QCommandLineParser>

#include "app/loader_app.h"
#include "app/main_frame.h"
#include "brellix_version.h"
#include "bus/adapter_bus.h"
#include "panel/qt_user_prompts.h"

namespace {

struct Options {
    bool simulate = false;
};

// The options are read before any window system is touched, so that --help
// and --version work on a machine without a display.
Options ParseOptions(int argc, char** argv) {
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationVersion(BRELLIX_VERSION);
    QCommandLineParser parser;
    parser.setApplicationDescription("Brellix: front end for the QZProgrammer device programmer");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption simulate("simulate",
                                "Use the built-in simulated adapter instead of real hardware.");
    parser.addOption(simulate);
    parser.process(probe);
    return {parser.isSet(simulate)};
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(BRELLIX_VERSION);
    QGuiApplication::setDesktopFileName(BRELLIX_DESKTOP_ID);
    std::unique_ptr<AdapterBus> bus =
        options.simulate ? AdapterBus::Simulated() : AdapterBus::Real();
    QtUserPrompts prompts;
    LoaderApp loader(bus->backend(), bus->hotplug(), prompts);
    if (!loader.InitInstance()) return 1;
    // File dialogs belong to the frame from now on.
    prompts.SetParent(loader.mainFrame());
    return app.exec();
}
