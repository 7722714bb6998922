#include <QApplication>
#include <QCommandLineParser>

namespace {

struct Options {
    bool simulate = false;
};

// The options are read before any window system is touched, so that --help
// and --version work on a machine without a display.
Options ParseOptions(int argc, char** argv) {
    QCoreApplication probe(argc, argv);
    QCoreApplication::setApplicationVersion("1.02");
    QCommandLineParser parser;
    parser.setApplicationDescription("Brellix: front end for the QZProgrammer device programmer");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption simulate("simulate", "Use the built-in simulated adapter instead of real hardware.");
    parser.addOption(simulate);
    parser.process(probe);
    return {parser.isSet(simulate)};
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    (void)options;
    QApplication app(argc, argv);
    return 0;
}
