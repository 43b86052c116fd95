#include "clicommands.h"

#include "boardinfo.h"
#include "boardreadout.h"
#include "console.h"
#include "devicecommands.h"
#include "exitcode.h"
#include "firmwarefile.h"
#include "firmwareplan.h"
#include "firmwaretransfer.h"
#include "linkopener.h"
#include "printabletext.h"
#include "transferprogress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QThread>

#include <cstdio>

// The whole firmware job in one run: identity, mode switch with reconnect,
// file check, copy, flash, start of the main firmware, reconnect, version.

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// How long a board may take to come back after a mode switch.
constexpr int kReconnectBoundMs = 15000;
constexpr int kReconnectPauseMs = 300;

} // namespace

int CliCommands::reconnect(quint8 wanted, int boundMs)
{
    // The board drops the link after a switch; a new one is opened as the
    // window's user would (for TCP a new connection, for serial the same port).
    link.reset();
    QElapsedTimer clock;
    clock.start();
    int outcome = ExitCode::CannotConnect;
    int tries = 0;
    while (tries == 0 || clock.elapsed() < boundMs) {
        ++tries;
        QThread::msleep(kReconnectPauseMs);
        QString error;
        const QSharedPointer<Connector> transport = LinkOpener::open(options.link, &error);
        if (!transport) {
            outcome = ExitCode::CannotConnect;
            continue;
        }
        link = QSharedPointer<WatchedConnector>::create(transport);
        if (options.trace)
            link->setTrace([](const QString& line) { Console::err(line); });
        BoardReadout reading(link.data());
        reading.run(false);
        board = reading.state();
        if (reading.usable() && board.mode == wanted)
            return ExitCode::Ok;
        outcome = reading.usable() ? ExitCode::WrongReply : ExitCode::NoReply;
        link.reset();
    }
    Console::note(QStringLiteral("the board did not come back %1 within %2 s (%3 attempts)")
                      .arg(wanted == 1 ? QStringLiteral("in its bootloader") : QStringLiteral("in its main firmware"))
                      .arg(boundMs / 1000)
                      .arg(tries));
    return outcome;
}

int CliCommands::update(const QString& path)
{
    int stepNumber = 0;
    QString step;
    auto begin = [&](const QString& name) {
        step = name;
        Console::err(QStringLiteral("update: %1. %2").arg(++stepNumber).arg(name));
    };
    // Says where the job stopped and in what state it leaves the board.
    auto stop = [&](int code, const QString& boardState) {
        Console::note(QStringLiteral("update stopped at \"%1\" (exit %2); %3").arg(step).arg(code).arg(boardState));
        return code;
    };
    const QString inBootloader =
        QStringLiteral("the board stays in its bootloader: run update again, or finish in the window");

    begin(QStringLiteral("read the file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Console::note(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
        return stop(ExitCode::FileRefused, QStringLiteral("nothing was sent"));
    }
    const QString untouched = QStringLiteral("the board was left as it was");

    begin(QStringLiteral("identity"));
    if (const int code = connect())
        return stop(code, untouched);
    if (const int code = readout())
        return stop(code, untouched);
    const BoardState before = board;

    // The name says which image it is; a name that says both follows the
    // board, as the window's check lets it pass either way.
    const QString name = FirmwareFile::fileName(path);
    const bool saysMain = name.contains(QLatin1String("main"), Qt::CaseInsensitive);
    const bool saysBoot = name.contains(QLatin1String("boot"), Qt::CaseInsensitive);
    const bool mainImage = saysMain && saysBoot ? board.expectsMainFirmware() : saysMain;
    if (!saysMain && !saysBoot) {
        begin(QStringLiteral("check the file"));
        Console::err(FirmwareFile::nameProblem(path, board.expectsMainFirmware(), board.boardCode()));
        return stop(ExitCode::FileRefused, untouched);
    }
    const QString versionLabel = mainImage ? windowText("Версия прошивки:") : windowText("Версия загрузчика:");
    const QString oldVersion = mainImage ? before.firmwareVersion : before.bootloaderVersion;

    // A file the board would refuse is turned away before the board is
    // switched for it; the check is made again once the target mode runs.
    QString earlyProblem = FirmwareFile::nameProblem(path, mainImage, board.boardCode());
    // The method is known only from the bootloader; no method takes what
    // the most generous one refuses.
    if (earlyProblem.isEmpty() && !file.isSequential())
        earlyProblem = FirmwareFile::sizeProblem(file.size(), FirmwareMethod::Rle);
    if (!earlyProblem.isEmpty()) {
        begin(QStringLiteral("check the file"));
        Console::err(earlyProblem);
        return stop(ExitCode::FileRefused, untouched);
    }

    // A main firmware goes in from the bootloader, a bootloader from the main firmware.
    const quint8 needed = mainImage ? 1 : 0;
    bool switched = false;
    if (!board.modeKnown || board.mode != needed) {
        if (!mainImage && !board.bootloaderRunning()) {
            begin(QStringLiteral("start the main firmware"));
            Console::note(QStringLiteral("the board runs \"%1\"; the main firmware is started from the bootloader only")
                              .arg(BoardInfo::modeText(board.mode)));
            return stop(ExitCode::WrongReply, untouched);
        }
        begin(mainImage ? QStringLiteral("enter the bootloader") : QStringLiteral("start the main firmware"));
        const ExchangeResult result = DeviceCommands(link.data()).switchMode(board);
        if (!result.accepted) {
            Console::err(mainImage ? windowText("Прибор не подтвердил переход в загрузчик\n")
                                   : windowText("Прибор не подтвердил запуск основной прошивки\n"));
            return stop(result.answered() ? ExitCode::WrongReply : ExitCode::NoReply, untouched);
        }
        switched = true;
        begin(QStringLiteral("reconnect"));
        if (const int code = reconnect(needed, kReconnectBoundMs))
            return stop(code, QStringLiteral("the board was sent to %1 and has not answered since")
                                  .arg(mainImage ? QStringLiteral("its bootloader") : QStringLiteral("its main firmware")));
    }
    const QString leftState = mainImage ? inBootloader
        : switched ? QStringLiteral("the board runs its main firmware, its bootloader as it was")
                   : untouched;

    begin(QStringLiteral("check the file"));
    const QString nameProblem = FirmwareFile::nameProblem(path, mainImage, board.boardCode());
    if (!nameProblem.isEmpty()) {
        Console::err(nameProblem);
        return stop(ExitCode::FileRefused, leftState);
    }
    const FirmwareMethod method = chooseFirmwareMethod(board, true);
    const QString sizeProblem = file.isSequential() ? QString() : FirmwareFile::sizeProblem(file.size(), method);
    if (!sizeProblem.isEmpty()) {
        Console::err(sizeProblem);
        return stop(ExitCode::FileRefused, leftState);
    }
    const QByteArray image = file.readAll();
    if (file.error() != QFileDevice::NoError || (!file.isSequential() && image.size() != file.size())) {
        Console::err(windowText("Ошибка чтения файла прошивки\n"));
        return stop(ExitCode::FileRefused, leftState);
    }
    const FirmwarePlan plan = planFirmwareTransfer(image, method);
    if (!plan.ok()) {
        Console::err(plan.problemText());
        return stop(ExitCode::FileRefused, leftState);
    }

    begin(QStringLiteral("copy"));
    Console::err(firmwareSendLine(method, board.boardCode(),
                                  board.bootloaderVersion.isEmpty() ? QStringLiteral("-") : board.bootloaderVersion,
                                  name));
    FirmwareTransfer::Result copied;
    {
        // The transfer shares the link; it must let go before a reconnect
        // can close the port and open it again.
        TransferProgress progress(stderr);
        FirmwareTransfer transfer(link);
        transfer.setProgress([&progress](qint64 done, qint64 total) { progress.update(done, total); });
        copied = transfer.run(plan);
        progress.finish();
    }
    if (!copied.ok()) {
        const QString failure = transferFailureText(copied, QLocale());
        Console::err(failure.isEmpty() ? QStringLiteral("quorvel-cli: the copy failed") : failure);
        return stop(ExitCode::TransferFailed, leftState);
    }
    Console::out(windowText("Копирование завершено!\n"));

    begin(QStringLiteral("flash"));
    if (const int code = flashImage(mainImage))
        return stop(code, leftState);

    if (mainImage) {
        begin(QStringLiteral("start the main firmware"));
        BoardState inBoot = board;
        inBoot.modeKnown = true;
        inBoot.mode = 1;
        const ExchangeResult result = DeviceCommands(link.data()).switchMode(inBoot);
        if (!result.accepted) {
            Console::err(windowText("Прибор не подтвердил запуск основной прошивки\n"));
            return stop(result.answered() ? ExitCode::WrongReply : ExitCode::NoReply,
                        QStringLiteral("the new main firmware is flashed; the board still runs its bootloader"));
        }
    }
    begin(QStringLiteral("reconnect"));
    if (const int code = reconnect(0, kReconnectBoundMs))
        return stop(code, QStringLiteral("the new image is flashed, but the board has not answered in its main "
                                         "firmware since"));

    begin(QStringLiteral("read the version"));
    const QString newVersion = mainImage ? board.firmwareVersion : board.bootloaderVersion;
    Console::out(PrintableText::oneLine(QStringLiteral("%1 %2 -> %3")
                     .arg(versionLabel, oldVersion.isEmpty() ? QStringLiteral("-") : oldVersion,
                          newVersion.isEmpty() ? QStringLiteral("-") : newVersion)));
    Console::err(QStringLiteral("update: done%1, the board runs its main firmware")
                     .arg(switched ? QStringLiteral(" with a mode switch") : QString()));
    return ExitCode::Ok;
}
