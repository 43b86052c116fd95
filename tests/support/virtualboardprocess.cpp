#include "virtualboardprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>

VirtualBoardProcess::VirtualBoardProcess()
{
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setReadChannel(QProcess::StandardOutput);
}

VirtualBoardProcess::~VirtualBoardProcess()
{
    stop();
}

QString VirtualBoardProcess::programPath()
{
#ifdef QUORVEL_VBOARD_PATH
    return QStringLiteral(QUORVEL_VBOARD_PATH);
#else
    return QString();
#endif
}

bool VirtualBoardProcess::start(const QStringList& arguments, Link link, int timeoutMs)
{
    stop();
    error.clear();
    tcpHost.clear();
    tcpPort = 0;
    pty.clear();

    const QString program = programPath();
    if (program.isEmpty()) {
        error = QStringLiteral("this build has no virtual board");
        return false;
    }
    if (!folder.isValid()) {
        error = QStringLiteral("no temporary folder for the board's log");
        return false;
    }

    QStringList args = arguments;
    if (link == Link::Tcp) {
        if (!args.contains(QStringLiteral("--tcp")))
            args << QStringLiteral("--tcp") << QStringLiteral("127.0.0.1:0");
    } else {
        args << QStringLiteral("--pty");
        if (link == Link::PtyBare)
            args << QStringLiteral("--bare");
    }
    if (!args.contains(QStringLiteral("--log")) && !args.contains(QStringLiteral("--quiet"))) {
        static int serial = 0;
        logPath = folder.filePath(QStringLiteral("board-%1.log").arg(++serial));
        args << QStringLiteral("--log") << logPath;
    } else {
        const int at = args.indexOf(QStringLiteral("--log"));
        logPath = at >= 0 ? args.value(at + 1) : QString();
    }

    process.start(program, args);
    if (!process.waitForStarted(timeoutMs)) {
        error = QStringLiteral("cannot start %1: %2").arg(program, process.errorString());
        return false;
    }
    const QString ready = readLine(timeoutMs);
    if (!ready.startsWith(QLatin1String("READY"))) {
        process.waitForFinished(1000);
        error = QStringLiteral("no READY line from the board (got \"%1\"): %2")
                    .arg(ready, QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        stop();
        return false;
    }
    for (const QString& part : ready.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (part.startsWith(QLatin1String("tcp="))) {
            const QString endpoint = part.mid(4);
            const int colon = endpoint.lastIndexOf(QLatin1Char(':'));
            tcpHost = endpoint.left(colon);
            tcpPort = quint16(endpoint.mid(colon + 1).toUInt());
        } else if (part.startsWith(QLatin1String("pty="))) {
            pty = part.mid(4);
        }
    }
    return true;
}

void VirtualBoardProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.write("quit\n");
    process.closeWriteChannel();
    if (!process.waitForFinished(3000)) {
        process.kill();
        process.waitForFinished(3000);
    }
}

bool VirtualBoardProcess::isRunning() const
{
    return process.state() == QProcess::Running;
}

QString VirtualBoardProcess::readLine(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!process.canReadLine()) {
        if (process.state() == QProcess::NotRunning || deadline.hasExpired())
            return QString();
        process.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
    }
    return QString::fromUtf8(process.readLine()).trimmed();
}

QString VirtualBoardProcess::command(const QString& line, int timeoutMs)
{
    if (!isRunning())
        return QString();
    process.write(line.toUtf8() + '\n');
    process.waitForBytesWritten(timeoutMs);
    return readLine(timeoutMs);
}

QJsonObject VirtualBoardProcess::state(int timeoutMs)
{
    return QJsonDocument::fromJson(command(QStringLiteral("state"), timeoutMs).toUtf8()).object();
}

QByteArray VirtualBoardProcess::log() const
{
    QFile file(logPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
