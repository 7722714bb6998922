#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion("1.02");
    QCommandLineParser parser;
    parser.setApplicationDescription("Brellix: front end for the QZProgrammer device programmer");
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption simulate("simulate", "Use the built-in simulated adapter instead of real hardware.");
    parser.addOption(simulate);
    parser.process(app);
    return 0;
}
