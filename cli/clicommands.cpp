#include "clicommands.h"

#include "boardinfo.h"
#include "boardreadout.h"
#include "console.h"
#include "exitcode.h"
#include "linkopener.h"
#include "portlisting.h"

#include <QJsonDocument>

// Link, readout, info, reboot and mode switch.

namespace {

// The exit code in the log's words, for an operation that never reached the board.
QString unreachedText(int code)
{
    switch (code) {
    case ExitCode::CannotConnect: return QStringLiteral("cannot connect");
    case ExitCode::NoReply: return QStringLiteral("no reply");
    case ExitCode::WrongReply: return QStringLiteral("refused or wrong reply");
    default: return QStringLiteral("failed (exit %1)").arg(code);
    }
}

} // namespace

CliCommands::CliCommands(const CliOptions& options)
    : options(options)
{
    session.setProgramName(QStringLiteral("cli"));
    session.setLinkDescription(options.link.describe()
                               + (options.link.kind == LinkOptions::Kind::Usb
                                      ? QString()
                                      : QStringLiteral(", address %1").arg(options.link.deviceAddress)));
    session.setLogging(options.operationsLog);
    session.setVerifyWrites(options.verifyWrites);
    QObject::connect(&session, &BoardSession::operationsLogFailed,
                     [](const QString& error) { Console::note(QStringLiteral("operations log: %1").arg(error)); });
}

int CliCommands::run()
{
    return dispatch();
}

int CliCommands::dispatch()
{
    const QString& command = options.command;
    const QString argument = options.arguments.value(0);
    if (command == QLatin1String("info"))
        return info();
    if (command == QLatin1String("config-read"))
        return configRead(argument);
    if (command == QLatin1String("config-write"))
        return configWrite(argument);
    if (command == QLatin1String("config-diff"))
        return configDiff(argument);
    if (command == QLatin1String("apply"))
        return apply(argument);
    if (command == QLatin1String("firmware"))
        return firmware(argument);
    if (command == QLatin1String("flash"))
        return flash();
    if (command == QLatin1String("reboot"))
        return reboot();
    if (command == QLatin1String("mode"))
        return mode(argument);
    if (command == QLatin1String("scan"))
        return scan();
    if (command == QLatin1String("update"))
        return update(argument);
    if (command == QLatin1String("ports"))
        return PortListing::run(options.json);
    Console::note(QStringLiteral("unknown subcommand \"%1\"").arg(command));
    return ExitCode::Usage;
}

QSharedPointer<Connector> CliCommands::openLink(QString* error)
{
    // Whatever held the port before lets go first: a serial port opens once.
    link.reset();
    const QSharedPointer<Connector> transport = LinkOpener::open(options.link, error);
    if (!transport)
        return QSharedPointer<Connector>();
    link = QSharedPointer<WatchedConnector>::create(transport);
    link->setExtraWait(options.extraWaitMs);
    if (options.trace)
        link->setTrace([](const QString& line) { Console::trace(line); });
    return link;
}

int CliCommands::connect()
{
    Console::setStep(QStringLiteral("connect"));
    QString error;
    if (!openLink(&error)) {
        Console::err(error);
        return ExitCode::CannotConnect;
    }
    session.attach(link);
    return ExitCode::Ok;
}

int CliCommands::failureSince(const WatchedConnector::Tally& before) const
{
    return link->tally().silenceSince(before) ? ExitCode::NoReply : ExitCode::WrongReply;
}

int CliCommands::readout(bool withErrorCode)
{
    Console::setStep(QStringLiteral("identity"));
    const WatchedConnector::Tally before = link->tally();
    if (!session.readIdentity(withErrorCode)) {
        // The window gives such a link up at once. What did come back is no
        // part of the message, but a script gets it whole.
        for (const QString& line : session.readout().labelLines())
            Console::aside(line);
        Console::setFailureField(QStringLiteral("info"), session.readout().toJson());
        Console::err(BoardReadout::silentBoardText());
        return failureSince(before);
    }
    return ExitCode::Ok;
}

int CliCommands::reach(const char* operation, bool mainOnly)
{
    int code = connect();
    if (code == ExitCode::Ok)
        code = readout();
    if (code == ExitCode::Ok && mainOnly)
        code = requireMainFirmware();
    if (code != ExitCode::Ok && operation)
        session.logUnreached(QLatin1String(operation), unreachedText(code));
    return code;
}

int CliCommands::requireMainFirmware()
{
    if (session.board().mainFirmwareRunning())
        return ExitCode::Ok;
    Console::note(QStringLiteral("the board runs \"%1\"; the configuration is read and written by the main firmware "
                                 "only (switch with the subcommand: mode main)")
                      .arg(BoardInfo::modeText(session.board().mode)));
    return ExitCode::WrongReply;
}

int CliCommands::info()
{
    if (const int code = connect())
        return code;
    Console::setStep(QStringLiteral("identity"));
    const WatchedConnector::Tally before = link->tally();
    session.readIdentity(true);
    const BoardReadout& reading = session.readout();
    if (options.json && jsonSink) {
        jsonSink(reading.toJson());
    } else if (options.json && !reading.complete()) {
        // One line on standard output: the failure, carrying what was read.
        Console::setFailureField(QStringLiteral("info"), reading.toJson());
    } else if (options.json) {
        Console::out(QString::fromUtf8(QJsonDocument(reading.toJson()).toJson(QJsonDocument::Compact)));
    } else {
        for (const QString& line : reading.labelLines())
            Console::out(line);
    }
    if (!reading.usable()) {
        Console::err(BoardReadout::silentBoardText());
        return failureSince(before);
    }
    if (!reading.complete()) {
        Console::note(QStringLiteral("the readout is incomplete"));
        return failureSince(before);
    }
    return ExitCode::Ok;
}

int CliCommands::reboot()
{
    if (const int code = reach(BoardOperation::Reboot))
        return code;
    Console::setStep(QStringLiteral("reboot"));
    // No reply at all counts: the board may reboot before it answers.
    const BoardSession::ActionResult result = session.reboot();
    if (!result.exchange.written()) {
        Console::err(result.text);
        return ExitCode::NoReply;
    }
    if (!result.ok()) {
        Console::err(result.text);
        return ExitCode::WrongReply;
    }
    Console::out(result.text);
    return ExitCode::Ok;
}

int CliCommands::mode(const QString& target)
{
    const bool toMain = target == QLatin1String("main");
    if (const int code = reach(toMain ? BoardOperation::ModeSwitchMain : BoardOperation::ModeSwitchBootloader))
        return code;

    Console::setStep(FirmwareJob::stepName(toMain ? FirmwareJob::Step::StartMainFirmware
                                                  : FirmwareJob::Step::EnterBootloader));
    const BoardState& board = session.board();
    if (board.modeKnown && board.mode == (toMain ? 0 : 1)) {
        Console::out(BoardReadout::title(BoardReadout::Field::Status) + QLatin1Char(' ') + BoardInfo::modeText(board.mode));
        Console::remark(QStringLiteral("already there; nothing sent"));
        return ExitCode::Ok;
    }
    // From a mode the board does not name, only the way into the bootloader is
    // known (the window offers nothing else either).
    if (toMain && !board.bootloaderRunning()) {
        Console::note(QStringLiteral("the board runs \"%1\"; the main firmware is started from the bootloader only")
                          .arg(BoardInfo::modeText(board.mode)));
        return ExitCode::WrongReply;
    }

    const BoardSession::ActionResult result = session.switchModeTo(toMain);
    if (!result.exchange.written()) {
        Console::err(result.text);
        return ExitCode::NoReply;
    }
    if (!result.ok()) {
        Console::err(result.text);
        return result.exchange.answered() ? ExitCode::WrongReply : ExitCode::NoReply;
    }
    Console::out(result.text);
    return ExitCode::Ok;
}
