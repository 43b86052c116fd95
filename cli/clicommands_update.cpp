#include "clicommands.h"

#include "console.h"
#include "exitcode.h"
#include "printabletext.h"
#include "transferprogress.h"

#include <cstdio>

// The whole firmware job in one run: identity, mode switch with reconnect,
// file check, copy, flash, start of the main firmware, reconnect, version.

int CliCommands::updateExit(FirmwareJob::UpdateResult::Failure failure)
{
    using Failure = FirmwareJob::UpdateResult::Failure;
    switch (failure) {
    case Failure::None: return ExitCode::Ok;
    case Failure::FileRefused: return ExitCode::FileRefused;
    case Failure::CannotConnect: return ExitCode::CannotConnect;
    case Failure::NoReply: return ExitCode::NoReply;
    case Failure::WrongReply: return ExitCode::WrongReply;
    case Failure::TransferFailed: return ExitCode::TransferFailed;
    case Failure::FlashRefused: return ExitCode::FlashRefused;
    case Failure::WrongVersion: return ExitCode::WrongVersion;
    }
    return ExitCode::WrongReply;
}

int CliCommands::update(const QString& path)
{
    FirmwareJob job(&session);
    TransferProgress progress(stderr);
    follow(job, progress);
    job.setReconnect([this](QString* error) { return openLink(error); });
    int stepNumber = 0;
    QObject::connect(&job, &FirmwareJob::stepStarted, [&stepNumber](FirmwareJob::Step step) {
        Console::err(QStringLiteral("update: %1. %2").arg(++stepNumber).arg(FirmwareJob::stepName(step)));
    });

    const FirmwareJob::UpdateResult result = job.update(path);
    if (result.step == FirmwareJob::Step::ReadVersion)
        Console::out(PrintableText::oneLine(result.versionLine()));
    for (const QString& problem : result.problems)
        Console::err(problem);
    if (!result.note.isEmpty())
        Console::note(result.note);
    const int code = updateExit(result.failure);
    if (!result.ok()) {
        // Where the job stopped and in what state it leaves the board.
        Console::note(QStringLiteral("update stopped at \"%1\" (exit %2); %3")
                          .arg(FirmwareJob::stepName(result.step))
                          .arg(code)
                          .arg(result.boardNow));
        return code;
    }
    Console::err(QStringLiteral("update: done%1, the board runs its main firmware")
                     .arg(result.switched ? QStringLiteral(" with a mode switch") : QString()));
    return code;
}
