#include "clicommands.h"

#include "console.h"
#include "exitcode.h"
#include "printabletext.h"
#include "transferprogress.h"

#include <QJsonDocument>
#include <QJsonObject>

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

int CliCommands::reportStop(const FirmwareJob::UpdateResult& result, const QString& what)
{
    for (const QString& problem : result.problems)
        Console::err(problem);
    // The job's account is one line of ours, but may quote what the board said.
    if (!result.note.isEmpty())
        Console::note(PrintableText::oneLine(result.note));
    const int code = updateExit(result.failure);
    if (!result.ok()) {
        // Where the job stopped and in what state it leaves the board.
        Console::note(QStringLiteral("%1 stopped at \"%2\" (exit %3); %4")
                          .arg(what, FirmwareJob::stepName(result.step))
                          .arg(code)
                          .arg(PrintableText::oneLine(result.boardNow)));
    }
    return code;
}

int CliCommands::update(const QString& path)
{
    FirmwareJob job(&session);
    TransferProgress progress(stderr);
    follow(job, progress);
    job.setReconnect([this](QString* error) { return openLink(error); });
    int stepNumber = 0;
    QObject::connect(&job, &FirmwareJob::stepStarted, [&stepNumber](FirmwareJob::Step step) {
        Console::setStep(FirmwareJob::stepName(step));
        Console::progress(QStringLiteral("update: %1. %2").arg(++stepNumber).arg(FirmwareJob::stepName(step)));
    });

    // A list gathers the text lines into each board's object; alone, --json
    // makes the result one object, and what the copy and the flash say on the
    // way is progress.
    const bool jsonResult = options.json && !jsonSink;
    if (jsonResult)
        Console::setOutSink([](const QString& line) { Console::progress(line); });
    const FirmwareJob::UpdateResult result = job.update(path);
    if (jsonResult)
        Console::setOutSink(nullptr);
    QJsonObject versions;
    if (result.step == FirmwareJob::Step::ReadVersion) {
        versions.insert(QStringLiteral("image"), result.mainImage ? QStringLiteral("main") : QStringLiteral("boot"));
        versions.insert(QStringLiteral("oldVersion"), result.oldVersion);
        versions.insert(QStringLiteral("newVersion"), result.newVersion);
        versions.insert(QStringLiteral("switched"), result.switched);
        if (!jsonResult)
            Console::out(PrintableText::oneLine(result.versionLine()));
        else if (result.ok())
            Console::out(QString::fromUtf8(QJsonDocument(versions).toJson(QJsonDocument::Compact)));
    }
    const int code = reportStop(result, QStringLiteral("update"));
    if (!result.ok()) {
        for (auto field = versions.constBegin(); field != versions.constEnd(); ++field)
            Console::setFailureField(field.key(), field.value());
        Console::setFailureField(QStringLiteral("boardNow"), result.boardNow);
        return code;
    }
    Console::progress(QStringLiteral("update: done%1, the board runs its main firmware")
                          .arg(result.switched ? QStringLiteral(" with a mode switch") : QString()));
    return code;
}
