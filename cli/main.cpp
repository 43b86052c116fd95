#include "boardlist.h"
#include "clicommands.h"
#include "clioptions.h"
#include "console.h"
#include "exitcode.h"
#include "interruptnotice.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));

    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    const CliOptions options = CliOptions::parse(QCoreApplication::arguments(), &outcome);
    Console::setQuiet(options.quiet);
    switch (outcome) {
    case CliOptions::Outcome::Help:
        Console::out(options.command.isEmpty() ? CliOptions::helpText() : CliOptions::subcommandHelp(options.command));
        return ExitCode::Ok;
    case CliOptions::Outcome::Version:
        Console::out(QStringLiteral("quorvel-cli " QUORVEL_VERSION));
        return ExitCode::Ok;
    case CliOptions::Outcome::Invalid:
        Console::setStep(QStringLiteral("command line"));
        Console::note(options.error);
        if (options.json)
            Console::printFailure(ExitCode::Usage);
        Console::aside(QStringLiteral("Try 'quorvel-cli --help'."));
        return ExitCode::Usage;
    case CliOptions::Outcome::Run:
        break;
    }
    InterruptNotice::install();
    const int code = options.isList() ? BoardList(options).run() : CliCommands(options).run();
    // Made here once for every subcommand: each has told the console its step and its failure.
    if (options.json)
        Console::printFailure(code);
    return code;
}
