#include "operationslog.h"

#include "boardinfo.h"
#include "commandexchange.h"
#include "printabletext.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A value never breaks its line or its field, nor carries a control
// character to the terminal of whoever reads the log.
QString field(const char* key, const QString& value)
{
    return QStringLiteral("%1=%2").arg(QLatin1String(key), value.isEmpty() ? QStringLiteral("-")
                                                                           : PrintableText::oneLine(value));
}

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

// The log and its lock are regular files, opened without waiting: a FIFO or
// a device put in their place is refused untouched, and the check is made
// again on what was opened, in case it was swapped in between.
int openRegular(const QString& path, int flags, QString* error)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    const bool regular = ::stat(name.constData(), &info) != 0 || S_ISREG(info.st_mode);
    const int fd = regular ? ::open(name.constData(), flags | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0644) : -1;
    if (regular && fd < 0) {
        *error = QStringLiteral("%1: %2").arg(path, systemError(errno));
        return -1;
    }
    if (!regular || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        *error = QStringLiteral("%1: not a regular file").arg(path);
        return -1;
    }
    return fd;
}

// Another program holds the lock for one short append at most; the system
// lets it go when that program ends, however it ends. 0, or why not.
int lockWithin(int fd, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int why = errno;
        if ((why != EWOULDBLOCK && why != EINTR) || clock.elapsed() >= ms)
            return why;
        QThread::msleep(10);
    }
    return 0;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
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
    QString unused;
    if (!error)
        error = &unused;
    const QFileInfo info(file);
    errno = 0;
    if (!QDir().mkpath(info.absolutePath())) {
        *error = QStringLiteral("cannot create %1%2").arg(info.absolutePath(),
                                                          errno ? QStringLiteral(": ") + systemError(errno) : QString());
        return false;
    }
    const int lock = openRegular(file + QStringLiteral(".lock"), O_RDWR, error);
    if (lock < 0)
        return false;
    const auto unlock = qScopeGuard([lock] { ::close(lock); });
    if (const int why = lockWithin(lock, 5000)) {
        *error = why == EWOULDBLOCK ? QStringLiteral("%1 is locked by another program").arg(file)
                                    : QStringLiteral("%1: cannot lock: %2").arg(file, systemError(why));
        return false;
    }

    struct stat current {};
    if (::stat(QFile::encodeName(file).constData(), &current) == 0 && S_ISREG(current.st_mode)
        && current.st_size >= rotateBytes) {
        const QString old = file + QStringLiteral(".1");
        QFile::remove(old);
        QFile::rename(file, old);
    }
    const int out = openRegular(file, O_WRONLY | O_APPEND, error);
    if (out < 0)
        return false;
    const auto closeOut = qScopeGuard([out] { ::close(out); });
    struct stat before {};
    ::fstat(out, &before);
    const QByteArray bytes = (line(record, QDateTime::currentDateTimeUtc()) + QLatin1Char('\n')).toUtf8();
    if (!writeAll(out, bytes)) {
        *error = QStringLiteral("%1: %2").arg(file, systemError(errno));
        // A line cut short by a full disk is taken back, so none is ever torn.
        if (::ftruncate(out, before.st_size) != 0)
            *error += QStringLiteral(" (a part of the line stays)");
        return false;
    }
    return true;
}
