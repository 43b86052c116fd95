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
    switch (outcome) {
    case CliOptions::Outcome::Help:
        Console::out(CliOptions::helpText());
        return ExitCode::Ok;
    case CliOptions::Outcome::Version:
        Console::out(QStringLiteral("quorvel-cli " QUORVEL_VERSION));
        return ExitCode::Ok;
    case CliOptions::Outcome::Invalid:
        Console::note(options.error);
        Console::err(QStringLiteral("Try 'quorvel-cli --help'."));
        return ExitCode::Usage;
    case CliOptions::Outcome::Run:
        break;
    }
    InterruptNotice::install();
    if (options.isList())
        return BoardList(options).run();
    return CliCommands(options).run();
}
