#include "operationslog.h"

#include "boardinfo.h"
#include "commandexchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>

namespace {

// A value never breaks its line or its field.
QString field(const char* key, const QString& value)
{
    QString clean = value;
    for (QChar& c : clean) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return QStringLiteral("%1=%2").arg(QLatin1String(key), clean.isEmpty() ? QStringLiteral("-") : clean);
}

} // namespace

void OperationRecord::takeOutcome(const ExchangeResult& result)
{
    ok = result.accepted;
    if (!result.written())
        outcome = QStringLiteral("not sent");
    else if (!result.answered())
        outcome = result.accepted ? QStringLiteral("ok (no reply)") : QStringLiteral("no reply");
    else
        outcome = result.accepted ? QStringLiteral("ok") : QStringLiteral("refused");
    // A refusal that carries a status code says why.
    if (!result.accepted && result.reply.size() >= 5) {
        const auto* b = reinterpret_cast<const uchar*>(result.reply.constData());
        if (b[0] == 0xC8 || b[0] == 0xC9)
            boardError = qint64(quint32(b[1]) | quint32(b[2]) << 8 | quint32(b[3]) << 16 | quint32(b[4]) << 24);
    }
}

void OperationRecord::takeFlashOutcome(const ExchangeResult& result, bool flashed, std::optional<quint32> code)
{
    takeOutcome(result);
    ok = flashed;
    if (result.answered())
        outcome = flashed ? QStringLiteral("ok") : QStringLiteral("refused");
    boardError.reset();
    if (code && !flashed)
        boardError = qint64(*code);
}

QString OperationsLog::defaultPath()
{
    // The program's data folder under the organisation and program names the
    // settings use; spelt out because the command-line tool names itself otherwise.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return base + QStringLiteral("/Ombrek/KELDORA_NODE/operations.log");
}

OperationsLog::OperationsLog(const QString& path)
    : file(path)
{
}

QString OperationsLog::line(const OperationRecord& record, const QDateTime& when)
{
    const BoardState& b = record.board;
    QStringList fields;
    fields << when.toUTC().toString(Qt::ISODateWithMs);
    fields << field("program", record.program);
    fields << field("link", record.link);
    fields << field("board", b.boardTypeKnown ? BoardInfo::boardName(b.boardType) : QString());
    fields << field("firmware", b.firmwareVersionKnown ? b.firmwareVersion : QString());
    fields << field("bootloader", b.bootloaderVersion);
    fields << field("operation", record.operation);
    fields << field("outcome", !record.outcome.isEmpty() ? record.outcome
                                                         : (record.ok ? QStringLiteral("ok") : QStringLiteral("failed")));
    if (record.boardError)
        fields << field("error", QString::number(*record.boardError));
    return fields.join(QLatin1Char('\t'));
}

bool OperationsLog::append(const OperationRecord& record, QString* error) const
{
    const QFileInfo info(file);
    if (!QDir().mkpath(info.absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create %1").arg(info.absolutePath());
        return false;
    }
    QLockFile lock(file + QStringLiteral(".lock"));
    // Another program holds it for one short append at most; a lock left by a
    // crashed one is taken over after a while.
    lock.setStaleLockTime(10000);
    if (!lock.tryLock(5000)) {
        if (error)
            *error = QStringLiteral("%1 is locked").arg(file);
        return false;
    }

    QFile out(file);
    if (out.size() >= rotateBytes) {
        const QString old = file + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(file, old);
    }
    const QByteArray bytes = (line(record, QDateTime::currentDateTimeUtc()) + QLatin1Char('\n')).toUtf8();
    if (!out.open(QIODevice::WriteOnly | QIODevice::Append) || out.write(bytes) != bytes.size() || !out.flush()) {
        if (error)
            *error = out.errorString();
        return false;
    }
    return true;
}
