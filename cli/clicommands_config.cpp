#include "clicommands.h"

#include "boardinfo.h"
#include "configcommands.h"
#include "configdiff.h"
#include "configfile.h"
#include "configfilestore.h"
#include "console.h"
#include "exitcode.h"
#include "inputfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

// Saving a board's configuration to a file and writing it back.

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

bool readWholeFile(const QString& path, QByteArray* bytes, QString* error)
{
    // A pipe or `-` is fine, but neither a FIFO without a writer nor a stream
    // without end (/dev/zero, `yes |`) may hold the tool or fill its memory.
    QFile file;
    if (path == QLatin1String("-")) {
        if (!file.open(stdin, QIODevice::ReadOnly)) {
            *error = file.errorString();
            return false;
        }
    } else if (InputFile::open(file, path, false, error) != InputFile::Opened::Yes) {
        return false;
    }
    bool tooLarge = false;
    if (!InputFile::readAtMost(file, ConfigFile::maxFileBytes, bytes, error, &tooLarge)) {
        if (tooLarge)
            *error = QStringLiteral("more than %1 MiB, far larger than any saved configuration")
                         .arg(ConfigFile::maxFileBytes / (1024 * 1024));
        return false;
    }
    return true;
}

bool writeWholeFile(const QString& path, const QByteArray& bytes, QString* error)
{
    if (path == QLatin1String("-")) {
        if (!Console::raw(bytes)) {
            *error = QStringLiteral("standard output could not take it");
            return false;
        }
        return true;
    }
    // All or nothing: a half-written file must never replace a good one.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QString boardSummary(const BoardState& board)
{
    return QStringLiteral("%1, firmware %2")
        .arg(board.boardTypeKnown ? BoardInfo::boardName(board.boardType) : QStringLiteral("board type unknown"),
             board.firmwareVersionKnown ? board.firmwareVersion : QStringLiteral("unknown"));
}

} // namespace

int CliCommands::readConfiguration(ConfigFile* file)
{
    // The record starts as the window's does, with the factory values.
    DiDoConfig dido;
    ConfigBlocks::resetDiDoRecord(dido);
    Rs485Ports ports {};
    Iec101Ports protocols {};

    const WatchedConnector::Tally before = link->tally();
    const ConfigCommands commands(link.data(), board);
    const bool didoOk = commands.readDiDoConfig(dido);
    if (!didoOk)
        Console::err(windowText("Ошибка чтения параметров DI/DO\n"));
    const ConfigCommands::Rs485Read rs485 = commands.readRs485Params(ports, protocols);
    if (!rs485.ports) {
        Console::err(windowText("Ошибка чтения параметров RS-485\n"));
    } else if (!rs485.protocols) {
        // The window lets this pass, keeping what its tables showed; a file
        // has nothing to keep, and a restore would write zeros over them.
        Console::note(QStringLiteral("the protocol settings (IEC101) did not come back"));
    }
    if (!didoOk || !rs485.ports || !rs485.protocols)
        return failureSince(before);
    *file = ConfigFile::fromBoard(board, dido, ports, protocols);
    return ExitCode::Ok;
}

int CliCommands::configRead(const QString& path)
{
    if (const int code = reachMainFirmware())
        return code;

    ConfigFile file;
    if (const int code = readConfiguration(&file)) {
        Console::note(QStringLiteral("nothing saved"));
        return code;
    }
    QString error;
    if (!writeWholeFile(path, file.toBytes(), &error)) {
        Console::note(QStringLiteral("cannot write %1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }
    Console::note(QStringLiteral("saved the configuration of %1 (%2) to %3")
                      .arg(boardSummary(board), file.layout.describe(),
                           path == QLatin1String("-") ? QStringLiteral("standard output") : path));
    return ExitCode::Ok;
}

int CliCommands::configWrite(const QString& path)
{
    // The file is checked whole before the board is even asked.
    QByteArray bytes;
    QString error;
    if (!readWholeFile(path, &bytes, &error)) {
        Console::note(QStringLiteral("cannot read %1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }
    const std::optional<ConfigFile> file = ConfigFile::fromBytes(bytes, &error);
    if (!file) {
        Console::note(QStringLiteral("%1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }

    if (const int code = reachMainFirmware())
        return code;

    const QString mismatch = file->mismatch(board);
    if (!mismatch.isEmpty()) {
        Console::note(QStringLiteral("refused %1: %2; nothing was sent").arg(path, mismatch));
        return ExitCode::FileRefused;
    }
    const QString note = file->note(board);
    if (!note.isEmpty())
        Console::note(note);

    // Block by block, stopping at the first the board does not take: a
    // restore that goes on past a refusal would leave a mix nobody can tell.
    const WatchedConnector::Tally before = link->tally();
    const ConfigCommands commands(link.data(), board);
    const QList<ConfigCommands::Block> blocks = commands.blocksToWrite();
    QStringList written;
    for (int i = 0; i < blocks.size(); ++i) {
        const ConfigCommands::Block block = blocks.at(i);
        if (!commands.writeBlock(block, file->dido, file->ports, file->protocols)) {
            Console::err(windowText(ConfigCommands::isDiDoBlock(block) ? "Ошибка записи параметров DI/DO\n"
                                                                       : "Ошибка записи параметров RS-485\n"));
            QStringList notWritten;
            for (int j = i + 1; j < blocks.size(); ++j)
                notWritten << commands.blockName(blocks.at(j));
            const QString none = QStringLiteral("none");
            Console::note(QStringLiteral("the board did not take %1; stopped there. Written: %2. Not written: %3.")
                              .arg(commands.blockName(block),
                                   written.isEmpty() ? none : written.join(QStringLiteral(", ")),
                                   notWritten.isEmpty() ? none : notWritten.join(QStringLiteral(", "))));
            return failureSince(before);
        }
        written << commands.blockName(block);
        const bool lastDiDo = ConfigCommands::isDiDoBlock(block)
            && (i + 1 == blocks.size() || !ConfigCommands::isDiDoBlock(blocks.at(i + 1)));
        if (lastDiDo)
            Console::out(windowText("Параметры DI/DO успешно записаны\n"));
    }
    Console::out(windowText("Параметры RS-485 успешно записаны\n"));
    return ExitCode::Ok;
}

int CliCommands::configDiff(const QString& path)
{
    QString error;
    const std::optional<ConfigFile> file = ConfigFileStore::load(path, &error);
    if (!file) {
        Console::note(QStringLiteral("%1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }

    if (const int code = reachMainFirmware())
        return code;
    // Another board type or layout has no field-by-field answer.
    const QString mismatch = file->mismatch(board);
    if (!mismatch.isEmpty()) {
        Console::note(QStringLiteral("cannot compare %1: %2").arg(path, mismatch));
        return ExitCode::FileRefused;
    }

    ConfigFile current;
    if (const int code = readConfiguration(&current))
        return code;
    const QList<ConfigDifference> differences = ConfigDiff::between(current, *file);
    if (options.json) {
        Console::out(QString::fromUtf8(QJsonDocument(ConfigDiff::toJson(differences)).toJson(QJsonDocument::Compact)));
    } else {
        for (const ConfigDifference& difference : differences)
            Console::out(difference.line());
    }
    if (differences.isEmpty()) {
        Console::note(QStringLiteral("the board holds what %1 holds").arg(path));
        return ExitCode::Ok;
    }
    return ExitCode::Differs;
}
