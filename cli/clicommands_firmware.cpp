#include "clicommands.h"

#include "boardinfo.h"
#include "console.h"
#include "devicecommands.h"
#include "exitcode.h"
#include "firmwarefile.h"
#include "firmwareflash.h"
#include "firmwareplan.h"
#include "firmwaretexts.h"
#include "firmwaretransfer.h"
#include "inputfile.h"
#include "interruptnotice.h"
#include "transferprogress.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <cstdio>

// Firmware copy and flash.

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

int CliCommands::firmware(const QString& path)
{
    // An unreadable file is refused before the board is bothered.
    QFile file;
    QString error;
    switch (InputFile::open(file, path, true, &error)) {
    case InputFile::Opened::Yes:
        break;
    case InputFile::Opened::NotRegular:
        Console::err(FirmwareFile::notRegularProblem(path));
        return ExitCode::FileRefused;
    case InputFile::Opened::Failed:
        Console::note(QStringLiteral("cannot read %1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }

    if (const int code = connect())
        return code;
    if (const int code = readout())
        return code;

    // Running the bootloader the board takes a main firmware; otherwise (also
    // with an unknown mode) a bootloader. The name must say which, and for
    // which board.
    const bool mainFirmware = board.expectsMainFirmware();
    const QString nameProblem = FirmwareFile::nameProblem(path, mainFirmware, board.boardCode());
    if (!nameProblem.isEmpty()) {
        Console::err(nameProblem);
        return ExitCode::FileRefused;
    }

    const FirmwareMethod method = chooseFirmwareMethod(board, true);
    if (!file.isSequential()) {
        const QString sizeProblem = FirmwareFile::sizeProblem(file.size(), method);
        if (!sizeProblem.isEmpty()) {
            Console::err(sizeProblem);
            return ExitCode::FileRefused;
        }
    }
    const QByteArray image = file.readAll();
    // Half an image on the board is worse than none: a short read is refused.
    if (file.error() != QFileDevice::NoError || (!file.isSequential() && image.size() != file.size())) {
        Console::err(windowText("Ошибка чтения файла прошивки\n"));
        return ExitCode::FileRefused;
    }
    file.close();

    const FirmwarePlan plan = planFirmwareTransfer(image, method);
    if (!plan.ok()) {
        Console::err(plan.problemText());
        return ExitCode::FileRefused;
    }

    Console::err(firmwareSendLine(method, board.boardCode(),
                                  board.bootloaderVersion.isEmpty() ? QStringLiteral("-") : board.bootloaderVersion,
                                  FirmwareFile::fileName(path)));
    Console::note(QStringLiteral("copying %1 bytes in %2 blocks").arg(image.size()).arg(plan.blocks.size()));

    TransferProgress progress(stderr);
    FirmwareTransfer transfer(link);
    transfer.setProgress([&progress](qint64 done, qint64 total) { progress.update(done, total); });
    transfer.setBlockHook([] {
        InterruptNotice::blockAcknowledged();
        return true;
    });
    InterruptNotice::copyStarted(plan.blocks.size());
    const FirmwareTransfer::Result result = transfer.run(plan);
    InterruptNotice::copyEnded();
    progress.finish();
    transferCode = result.ok() ? int(ExitCode::Ok) : int(ExitCode::TransferFailed);
    if (!result.ok()) {
        const QString failure = transferFailureText(result, QLocale());
        Console::err(failure.isEmpty() ? QStringLiteral("quorvel-cli: the copy failed") : failure);
        return ExitCode::TransferFailed;
    }
    Console::out(windowText("Копирование завершено!\n"));

    if (!options.flashAfterCopy) {
        Console::note(QStringLiteral("not flashed (--no-flash); the subcommand flash writes the copy"));
        return ExitCode::Ok;
    }
    return flashImage(mainFirmware);
}

int CliCommands::flash()
{
    if (const int code = connect())
        return code;
    if (const int code = readout())
        return code;
    return flashImage(board.expectsMainFirmware());
}

int CliCommands::flashImage(bool mainFirmware)
{
    flashCode = flashImageOnce(mainFirmware);
    return flashCode;
}

int CliCommands::flashImageOnce(bool mainFirmware)
{
    const FirmwareFlash::Result result = FirmwareFlash(link).run([mainFirmware] {
        Console::err(FirmwareTexts::flashWait(mainFirmware));
        return true;
    });
    flashStatus = result.code;
    if (!result.exchange.written()) {
        Console::err(FirmwareTexts::flashError(mainFirmware));
        return ExitCode::NoReply;
    }

    const DeviceCommands commands(link.data());
    if (result.ok) {
        Console::out(FirmwareTexts::flashDone(mainFirmware));
        // As the window does: the new mode, for whoever runs the next step.
        const Reading<DeviceStatus> status = commands.readDeviceStatus();
        if (status.ok())
            Console::out(windowText("Статус устройства:") + QLatin1Char(' ') + BoardInfo::modeText(status.value->mode));
        return ExitCode::Ok;
    }

    Console::err(FirmwareTexts::flashFailure(mainFirmware, result));
    const Reading<qint32> code = commands.readErrorCode();
    if (code.ok())
        Console::err(windowText("Код ошибки загрузчика:") + QLatin1Char(' ') + QString::number(*code.value));
    return result.exchange.answered() ? ExitCode::FlashRefused : ExitCode::NoReply;
}
