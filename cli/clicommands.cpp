#include "clicommands.h"

#include "boardinfo.h"
#include "boardreadout.h"
#include "console.h"
#include "devicecommands.h"
#include "exitcode.h"
#include "linkopener.h"
#include "operationslog.h"
#include "portlisting.h"

#include <QCoreApplication>
#include <QJsonDocument>

// Link, readout, info, reboot and mode switch.

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// The exit code in the log's words.
QString outcomeText(int code)
{
    switch (code) {
    case ExitCode::Ok: return QStringLiteral("ok");
    case ExitCode::CannotConnect: return QStringLiteral("cannot connect");
    case ExitCode::NoReply: return QStringLiteral("no reply");
    case ExitCode::WrongReply: return QStringLiteral("refused or wrong reply");
    case ExitCode::FileRefused: return QStringLiteral("file refused, nothing sent");
    case ExitCode::TransferFailed: return QStringLiteral("transfer failed");
    case ExitCode::FlashRefused: return QStringLiteral("refused");
    default: return QStringLiteral("failed (exit %1)").arg(code);
    }
}

} // namespace

CliCommands::CliCommands(const CliOptions& options)
    : options(options)
{
}

int CliCommands::run()
{
    const int code = dispatch();
    if (options.operationsLog)
        logOperations(code);
    return code;
}

void CliCommands::logOperations(int exitCode)
{
    const QString& command = options.command;
    auto append = [this](const QString& operation, int code) {
        OperationRecord record;
        record.program = QStringLiteral("cli");
        record.link = options.link.describe()
            + (options.link.kind == LinkOptions::Kind::Usb ? QString()
                                                           : QStringLiteral(", address %1").arg(options.link.deviceAddress));
        record.board = board;
        record.operation = operation;
        record.ok = code == ExitCode::Ok;
        record.outcome = outcomeText(code);
        if (operation == QLatin1String("flash") && flashStatus && !record.ok)
            record.boardError = qint64(*flashStatus);
        QString error;
        if (!OperationsLog().append(record, &error))
            Console::note(QStringLiteral("operations log: %1").arg(error));
    };
    if (command == QLatin1String("config-write") || command == QLatin1String("reboot")
        || command == QLatin1String("flash")) {
        append(command, exitCode);
    } else if (command == QLatin1String("mode")) {
        // In the window's words, so both programs' lines read alike.
        const bool toMain = options.arguments.value(0) == QLatin1String("main");
        append(toMain ? QStringLiteral("mode-switch main") : QStringLiteral("mode-switch bootloader"), exitCode);
    } else if (command == QLatin1String("firmware")) {
        // The copy and the flash are two operations; the flash only when it was tried.
        append(QStringLiteral("firmware-transfer"), transferCode >= 0 ? transferCode : exitCode);
        if (flashCode >= 0)
            append(QStringLiteral("flash"), flashCode);
    }
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

int CliCommands::connect()
{
    QString error;
    const QSharedPointer<Connector> transport = LinkOpener::open(options.link, &error);
    if (!transport) {
        Console::err(error);
        return ExitCode::CannotConnect;
    }
    link = QSharedPointer<WatchedConnector>::create(transport);
    if (options.trace)
        link->setTrace([](const QString& line) { Console::err(line); });
    return ExitCode::Ok;
}

int CliCommands::failureSince(const WatchedConnector::Tally& before) const
{
    return link->tally().silenceSince(before) ? ExitCode::NoReply : ExitCode::WrongReply;
}

int CliCommands::readout(bool withErrorCode)
{
    const WatchedConnector::Tally before = link->tally();
    BoardReadout reading(link.data());
    reading.run(withErrorCode);
    board = reading.state();
    if (!reading.usable()) {
        // The window gives such a link up at once.
        for (const QString& line : reading.labelLines())
            Console::err(line);
        Console::err(BoardReadout::silentBoardText());
        return failureSince(before);
    }
    return ExitCode::Ok;
}

int CliCommands::reachMainFirmware()
{
    if (const int code = connect())
        return code;
    if (const int code = readout())
        return code;
    return requireMainFirmware();
}

int CliCommands::requireMainFirmware()
{
    if (board.mainFirmwareRunning())
        return ExitCode::Ok;
    Console::note(QStringLiteral("the board runs \"%1\"; the configuration is read and written by the main firmware "
                                 "only (switch with the subcommand: mode main)")
                      .arg(BoardInfo::modeText(board.mode)));
    return ExitCode::WrongReply;
}

int CliCommands::info()
{
    if (const int code = connect())
        return code;
    const WatchedConnector::Tally before = link->tally();
    BoardReadout reading(link.data());
    reading.run(true);
    if (options.json && jsonSink) {
        jsonSink(reading.toJson());
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
    if (const int code = connect())
        return code;
    if (const int code = readout())
        return code;

    const ExchangeResult result = DeviceCommands(link.data()).reboot();
    if (!result.written()) {
        Console::err(windowText("Ошибка отправки команды перезагрузки\n"));
        return ExitCode::NoReply;
    }
    // No reply at all counts: the board may reboot before it answers.
    if (!result.accepted) {
        Console::err(windowText("Устройство не подтвердило команду перезагрузки\n"));
        return ExitCode::WrongReply;
    }
    Console::out(windowText("Команда перезагрузки отправлена.\nПереподключитесь к прибору."));
    return ExitCode::Ok;
}

int CliCommands::mode(const QString& target)
{
    if (const int code = connect())
        return code;
    if (const int code = readout())
        return code;

    const bool toMain = target == QLatin1String("main");
    if (board.modeKnown && board.mode == (toMain ? 0 : 1)) {
        Console::out(windowText("Статус устройства:") + QLatin1Char(' ') + BoardInfo::modeText(board.mode));
        Console::note(QStringLiteral("already there; nothing sent"));
        return ExitCode::Ok;
    }
    // From a mode the board does not name, only the way into the bootloader is
    // known (the window offers nothing else either).
    if (toMain && !board.bootloaderRunning()) {
        Console::note(QStringLiteral("the board runs \"%1\"; the main firmware is started from the bootloader only")
                          .arg(BoardInfo::modeText(board.mode)));
        return ExitCode::WrongReply;
    }

    const ExchangeResult result = DeviceCommands(link.data()).switchMode(board);
    if (!result.written()) {
        Console::err(toMain ? windowText("Ошибка команды запуска основной прошивки\n")
                            : windowText("Ошибка команды перехода в загрузчик\n"));
        return ExitCode::NoReply;
    }
    if (!result.accepted) {
        Console::err(toMain ? windowText("Прибор не подтвердил запуск основной прошивки\n")
                            : windowText("Прибор не подтвердил переход в загрузчик\n"));
        return result.answered() ? ExitCode::WrongReply : ExitCode::NoReply;
    }
    Console::out(toMain ? windowText("Устройство запускает основную прошивку.\nПереподключитесь к прибору.")
                        : windowText("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору."));
    return ExitCode::Ok;
}
