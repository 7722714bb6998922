#include <QCoreApplication>
#include <cstdio>

#include "brellix_version.h"
#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/interrupt_notifier.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("brellix-cli");
    QCoreApplication::setApplicationVersion(BRELLIX_VERSION);
    CliOptions options;
    QString error;
    switch (ParseCliOptions(app.arguments().mid(1), options, error)) {
        case CliParse::Help:
            std::fputs(qPrintable(CliHelpText()), stdout);
            return EXIT_OK;
        case CliParse::Version:
            std::printf("brellix-cli %s\n", BRELLIX_VERSION);
            return EXIT_OK;
        case CliParse::Error:
            std::fprintf(stderr, "brellix-cli: %s\n", qPrintable(error));
            return EXIT_USAGE;
        case CliParse::Run:
            break;
    }
    CliRunner runner(options);
    InterruptNotifier interrupt([&runner](int signal) { runner.Interrupt(signal); });
    QObject::connect(&runner, &CliRunner::Done, &app, [](int code) { QCoreApplication::exit(code); });
    runner.Start();
    return app.exec();
}
