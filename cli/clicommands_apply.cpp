#include "clicommands.h"

#include "configcommands.h"
#include "configdiff.h"
#include "console.h"
#include "desiredstate.h"
#include "exitcode.h"
#include "firmwarefile.h"
#include "printabletext.h"
#include "transferprogress.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <cstdio>

// A board brought to a desired state, idempotently: what already is as
// desired is left alone, so a second run writes nothing.

namespace {

QJsonValue orNull(const QString& text)
{
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

} // namespace

int CliCommands::apply(const QString& path)
{
    QJsonObject report;
    report.insert(QStringLiteral("address"), options.link.deviceAddress);
    report.insert(QStringLiteral("check"), options.checkOnly);
    bool changed = false;
    // Whatever happens, the caller learns what changed: a failure after a
    // write has still changed the board.
    // With --json the report is the output: every other line goes to
    // standard error, so that each line on standard output is JSON. A failed
    // board's report rides on the failure object the run ends with.
    const bool ownJson = options.json && !jsonSink;
    if (ownJson)
        Console::setOutSink([](const QString& line) { Console::err(line); });
    const auto finish = [&](int code) {
        report.insert(QStringLiteral("changed"), changed);
        report.insert(QStringLiteral("exitCode"), code);
        if (ownJson) {
            Console::setOutSink(nullptr);
            if (ExitCode::isFailure(code))
                Console::setFailureField(QStringLiteral("apply"), report);
            else
                Console::out(QString::fromUtf8(QJsonDocument(report).toJson(QJsonDocument::Compact)));
        } else if (options.json) {
            jsonSink(report);
        }
        return code;
    };
    const bool wantsFirmware = !options.firmwarePath.isEmpty();
    const QString verb = options.checkOnly ? QStringLiteral("would ") : QString();

    // Both files are checked before the board is asked anything.
    Console::setStep(QStringLiteral("read the file"));
    ConfigFile desired;
    if (const int code = loadConfiguration(path, &desired))
        return finish(code);
    if (wantsFirmware) {
        Console::setStep(QStringLiteral("check the firmware file"));
        // The version compared is the main firmware's: a bootloader image
        // would be sent again at every run.
        const QString nameProblem = FirmwareFile::nameProblem(options.firmwarePath, true, QString());
        FirmwareJob probe(&session);
        const FirmwareJob::Check opened = probe.open(options.firmwarePath);
        if (!nameProblem.isEmpty() || !opened.ok()) {
            if (!nameProblem.isEmpty())
                Console::err(nameProblem);
            else if (opened.refusal == FirmwareJob::Check::Unreadable)
                Console::note(QStringLiteral("cannot read %1: %2").arg(options.firmwarePath, opened.error));
            else
                Console::err(opened.text);
            return finish(ExitCode::FileRefused);
        }
    }

    if (const int code = reach(nullptr))
        return finish(code);

    if (wantsFirmware) {
        const BoardState& board = session.board();
        QJsonObject firmware;
        firmware.insert(QStringLiteral("before"), orNull(board.firmwareVersionKnown ? board.firmwareVersion : QString()));
        firmware.insert(QStringLiteral("desired"), options.firmwareVersion);
        const bool due = DesiredState::firmwareDue(board, options.firmwareVersion);
        firmware.insert(QStringLiteral("due"), due);
        if (!due) {
            Console::remark(PrintableText::oneLine(
                QStringLiteral("firmware %1: as desired").arg(options.firmwareVersion)));
        } else if (options.checkOnly) {
            Console::out(PrintableText::oneLine(QStringLiteral("firmware: would update %1 -> %2")
                                                    .arg(board.firmwareVersionKnown ? board.firmwareVersion
                                                                                    : QStringLiteral("-"),
                                                         options.firmwareVersion)));
            changed = true;
        } else {
            FirmwareJob job(&session);
            TransferProgress progress(stderr);
            follow(job, progress);
            job.setReconnect([this](QString* error) { return openLink(error); });
            QObject::connect(&job, &FirmwareJob::stepStarted, [](FirmwareJob::Step step) {
                Console::setStep(FirmwareJob::stepName(step));
                Console::remark(QStringLiteral("firmware: %1").arg(FirmwareJob::stepName(step)));
            });
            const FirmwareJob::UpdateResult result = job.update(options.firmwarePath, options.firmwareVersion);
            changed = result.changedBoard();
            firmware.insert(QStringLiteral("after"), orNull(result.newVersion));
            if (!result.ok()) {
                report.insert(QStringLiteral("firmware"), firmware);
                return finish(reportStop(result, QStringLiteral("apply's firmware update")));
            }
            Console::out(PrintableText::oneLine(result.versionLine()));
        }
        report.insert(QStringLiteral("firmware"), firmware);
    }

    QJsonObject config;
    const auto finishConfig = [&](int code) {
        report.insert(QStringLiteral("config"), config);
        return finish(code);
    };
    if (options.checkOnly && wantsFirmware && !session.board().mainFirmwareRunning()) {
        // The configuration is read by the main firmware, which the update would start.
        Console::remark(QStringLiteral("configuration: not compared until the main firmware runs"));
        config.insert(QStringLiteral("compared"), false);
        return finishConfig(ExitCode::Ok);
    }
    Console::setStep(QStringLiteral("read the configuration"));
    if (const int code = requireMainFirmware())
        return finishConfig(code);
    const QString mismatch = desired.mismatch(session.board());
    if (!mismatch.isEmpty()) {
        Console::note(QStringLiteral("refused %1: %2; nothing was sent").arg(path, mismatch));
        return finishConfig(ExitCode::FileRefused);
    }
    ConfigFile current;
    if (const int code = readConfiguration(&current))
        return finishConfig(code);
    config.insert(QStringLiteral("compared"), true);

    const QList<BoardSession::Block> blocks = DesiredState::differingBlocks(session.board(), current, desired);
    const QList<ConfigDifference> differences = ConfigDiff::between(current, desired);
    const ConfigCommands commands(nullptr, session.board());
    QJsonArray blockNames;
    for (BoardSession::Block block : blocks)
        blockNames.append(commands.blockName(block));
    config.insert(QStringLiteral("blocks"), blockNames);
    config.insert(QStringLiteral("differences"), ConfigDiff::toJson(differences));
    if (blocks.isEmpty()) {
        Console::remark(QStringLiteral("configuration: as desired"));
        return finishConfig(ExitCode::Ok);
    }
    for (const ConfigDifference& difference : differences)
        Console::out(difference.line());
    QStringList names;
    for (const QJsonValue& name : qAsConst(blockNames))
        names << name.toString();
    Console::out(QStringLiteral("configuration: %1write %2").arg(verb, names.join(QStringLiteral(", "))));
    if (options.checkOnly) {
        changed = true;
        return finishConfig(ExitCode::Ok);
    }

    Console::setStep(QStringLiteral("write the configuration"));
    const WatchedConnector::Tally before = link->tally();
    const BoardSession::WriteResult result = session.writeConfiguration(desired, blocks);
    changed = changed || !result.written.isEmpty();
    return finishConfig(reportWrite(result, path, before));
}
