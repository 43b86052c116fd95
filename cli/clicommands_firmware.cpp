#include "clicommands.h"

#include "boardinfo.h"
#include "boardreadout.h"
#include "console.h"
#include "exitcode.h"
#include "firmwaretexts.h"
#include "interruptnotice.h"
#include "printabletext.h"
#include "transferprogress.h"

#include <QLocale>

#include <cstdio>

// Firmware copy and flash.

void CliCommands::follow(FirmwareJob& job, TransferProgress& progress)
{
    job.setAttemptsPerBlock(options.retries + 1);
    job.setProgress([&progress](qint64 done, qint64 total) {
        // Each pass of the copy starts from 0: one that starts over counts its blocks anew.
        if (done == 0)
            InterruptNotice::copyRestarted();
        if (!Console::quiet())
            progress.update(done, total);
    });
    // Counted where a signal handler can read it: an interrupted copy says how far it got.
    job.setBlockHook([] {
        InterruptNotice::blockAcknowledged();
        return true;
    });
    job.setFlashWait([](bool mainFirmware) {
        Console::progress(FirmwareTexts::flashWait(mainFirmware));
        return true;
    });
    QObject::connect(&job, &FirmwareJob::copyStarting, [](const QString& sendLine, int blocks, qint64 bytes) {
        Console::progress(PrintableText::oneLine(sendLine));
        Console::remark(QStringLiteral("copying %1 bytes in %2 blocks").arg(bytes).arg(blocks));
        InterruptNotice::copyStarted(blocks);
    });
    QObject::connect(&job, &FirmwareJob::copied, [&progress](const FirmwareTransfer::Result& result) {
        InterruptNotice::copyEnded();
        progress.finish();
        if (result.ok()) {
            Console::out(FirmwareTexts::copyDone());
            return;
        }
        const QString failure = transferFailureText(result, QLocale());
        Console::err(failure.isEmpty() ? QStringLiteral("quorvel-cli: the copy failed") : failure);
    });
    QObject::connect(&job, &FirmwareJob::flashed, [](const FirmwareJob::FlashOutcome& outcome) {
        if (outcome.ok()) {
            Console::out(outcome.text);
            // As the window does: the new mode, for whoever runs the next step.
            if (outcome.modeAfter)
                Console::out(BoardReadout::title(BoardReadout::Field::Status) + QLatin1Char(' ')
                             + BoardInfo::modeText(*outcome.modeAfter));
            return;
        }
        Console::err(outcome.text);
        if (outcome.errorCode)
            Console::err(BoardReadout::title(BoardReadout::Field::ErrorCode) + QLatin1Char(' ')
                         + QString::number(*outcome.errorCode));
    });
}

int CliCommands::flashExit(const FirmwareJob::FlashOutcome& outcome)
{
    if (!outcome.result.exchange.written())
        return ExitCode::NoReply;
    if (outcome.ok())
        return ExitCode::Ok;
    return outcome.result.exchange.answered() ? ExitCode::FlashRefused : ExitCode::NoReply;
}

int CliCommands::firmware(const QString& path)
{
    FirmwareJob job(&session);
    // An unreadable file is refused before the board is bothered.
    Console::setStep(FirmwareJob::stepName(FirmwareJob::Step::ReadFile));
    const FirmwareJob::Check opened = job.open(path);
    if (!opened.ok()) {
        if (opened.refusal == FirmwareJob::Check::Unreadable)
            Console::note(QStringLiteral("cannot read %1: %2").arg(path, opened.error));
        else
            Console::err(opened.text);
        return ExitCode::FileRefused;
    }

    if (const int code = reach(BoardOperation::FirmwareTransfer))
        return code;
    Console::setStep(FirmwareJob::stepName(FirmwareJob::Step::CheckFile));
    const FirmwareJob::Check prepared = job.prepare();
    if (!prepared.ok()) {
        Console::err(prepared.text);
        return ExitCode::FileRefused;
    }

    TransferProgress progress(stderr);
    follow(job, progress);
    Console::setStep(FirmwareJob::stepName(FirmwareJob::Step::Copy));
    if (!job.copy().ok())
        return ExitCode::TransferFailed;
    if (!options.flashAfterCopy) {
        Console::remark(QStringLiteral("not flashed (--no-flash); the subcommand flash writes the copy"));
        return ExitCode::Ok;
    }
    Console::setStep(FirmwareJob::stepName(FirmwareJob::Step::Flash));
    return flashExit(job.flash());
}

int CliCommands::flash()
{
    if (const int code = reach(BoardOperation::Flash))
        return code;
    FirmwareJob job(&session);
    TransferProgress progress(stderr);
    follow(job, progress);
    Console::setStep(FirmwareJob::stepName(FirmwareJob::Step::Flash));
    return flashExit(job.flash());
}
