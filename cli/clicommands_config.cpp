#include "clicommands.h"

#include "boardinfo.h"
#include "boardtexts.h"
#include "configcommands.h"
#include "configdiff.h"
#include "configfile.h"
#include "configfilestore.h"
#include "console.h"
#include "exitcode.h"
#include "inputfile.h"
#include "printabletext.h"

#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

// Saving a board's configuration to a file and writing it back.

namespace {

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
    // The version is the board's text: it must not break the line.
    return PrintableText::oneLine(QStringLiteral("%1, firmware %2")
        .arg(board.boardTypeKnown ? BoardInfo::boardName(board.boardType) : QStringLiteral("board type unknown"),
             board.firmwareVersionKnown ? board.firmwareVersion : QStringLiteral("unknown")));
}

} // namespace

int CliCommands::readConfiguration(ConfigFile* file)
{
    Console::setStep(QStringLiteral("read the configuration"));
    const WatchedConnector::Tally before = link->tally();
    const BoardSession::ConfigurationRead read = session.readConfiguration();
    if (!read.diDo)
        Console::err(BoardTexts::diDoReadFailed());
    if (!read.ports) {
        Console::err(BoardTexts::rs485ReadFailed());
    } else if (!read.protocols) {
        // The window lets this pass, keeping what its tables showed; a file
        // has nothing to keep, and a restore would write zeros over them.
        Console::note(QStringLiteral("the protocol settings (IEC101) did not come back"));
    }
    if (!read.ok())
        return failureSince(before);
    *file = read.file;
    return ExitCode::Ok;
}

int CliCommands::configRead(const QString& path)
{
    if (const int code = reach(nullptr, true))
        return code;

    ConfigFile file;
    if (const int code = readConfiguration(&file)) {
        Console::note(QStringLiteral("nothing saved"));
        return code;
    }
    Console::setStep(QStringLiteral("write the file"));
    QString error;
    if (!writeWholeFile(path, file.toBytes(), &error)) {
        Console::note(QStringLiteral("cannot write %1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }
    Console::remark(QStringLiteral("saved the configuration of %1 (%2) to %3")
                      .arg(boardSummary(session.board()), file.layout.describe(),
                           path == QLatin1String("-") ? QStringLiteral("standard output") : path));
    return ExitCode::Ok;
}

int CliCommands::loadConfiguration(const QString& path, ConfigFile* file)
{
    // The file is checked whole before the board is even asked.
    Console::setStep(QStringLiteral("read the file"));
    QByteArray bytes;
    QString error;
    if (!readWholeFile(path, &bytes, &error)) {
        Console::note(QStringLiteral("cannot read %1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }
    const std::optional<ConfigFile> parsed = ConfigFile::fromBytes(bytes, &error);
    if (!parsed) {
        Console::note(QStringLiteral("%1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }
    *file = *parsed;
    return ExitCode::Ok;
}

int CliCommands::configWrite(const QString& path)
{
    // The file is checked whole before the board is even asked.
    ConfigFile file;
    if (const int code = loadConfiguration(path, &file))
        return code;

    if (const int code = reach(BoardOperation::ConfigWrite, true))
        return code;

    if (file.mismatch(session.board()).isEmpty()) {
        const QString note = file.note(session.board());
        if (!note.isEmpty())
            Console::remark(note);
    }
    Console::setStep(QStringLiteral("write the configuration"));
    const WatchedConnector::Tally before = link->tally();
    return reportWrite(session.writeConfiguration(file), path, before);
}

int CliCommands::reportWrite(const BoardSession::WriteResult& result, const QString& path,
                             const WatchedConnector::Tally& before)
{
    const ConfigCommands commands(link.data(), session.board());
    const auto names = [&commands](const QList<BoardSession::Block>& blocks) {
        QStringList list;
        for (BoardSession::Block block : blocks)
            list << commands.blockName(block);
        return list.isEmpty() ? QStringLiteral("none") : list.join(QStringLiteral(", "));
    };
    switch (result.failure) {
    case BoardSession::WriteResult::None:
        if (!result.verified)
            Console::remark(QStringLiteral("written without reading it back (--no-verify)"));
        Console::out(result.text);
        return ExitCode::Ok;
    case BoardSession::WriteResult::FileRefused:
        Console::setStep(QStringLiteral("check the file"));
        Console::note(QStringLiteral("refused %1: %2; nothing was sent").arg(path, result.refusal));
        return ExitCode::FileRefused;
    case BoardSession::WriteResult::NotTaken:
        Console::err(result.text);
        Console::note(QStringLiteral("the board did not take %1; stopped there. Written: %2. Not written: %3.")
                          .arg(names(result.notTaken), names(result.written), names(result.notWritten)));
        return failureSince(before);
    case BoardSession::WriteResult::ReadBackFailed:
        Console::setStep(QStringLiteral("read back"));
        Console::err(result.text);
        Console::note(QStringLiteral("every block was acknowledged, but reading them back to check failed"));
        return failureSince(before);
    case BoardSession::WriteResult::ReadBackDiffers:
        Console::setStep(QStringLiteral("read back"));
        Console::err(result.text);
        return ExitCode::ReadBackDiffers;
    case BoardSession::WriteResult::Unavailable:
        break;
    }
    return ExitCode::WrongReply;
}

int CliCommands::configDiff(const QString& path)
{
    Console::setStep(QStringLiteral("read the file"));
    QString error;
    const std::optional<ConfigFile> file = ConfigFileStore::load(path, &error);
    if (!file) {
        Console::note(QStringLiteral("%1: %2").arg(path, error));
        return ExitCode::FileRefused;
    }

    if (const int code = reach(nullptr, true))
        return code;
    // Another board type or layout has no field-by-field answer.
    const QString mismatch = file->mismatch(session.board());
    if (!mismatch.isEmpty()) {
        Console::setStep(QStringLiteral("check the file"));
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
        Console::remark(QStringLiteral("the board holds what %1 holds").arg(path));
        return ExitCode::Ok;
    }
    return ExitCode::Differs;
}
