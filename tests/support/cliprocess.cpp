#include "cliprocess.h"

#include <QEventLoop>
#include <QProcess>
#include <QTimer>

QString CliProcess::programPath()
{
#ifdef QUORVEL_CLI_PATH
    return QStringLiteral(QUORVEL_CLI_PATH);
#else
    return QString();
#endif
}

QString CliProcess::Result::describe() const
{
    return QStringLiteral("exit %1%2\n--- stdout ---\n%3\n--- stderr ---\n%4")
        .arg(exitCode)
        .arg(finished ? QString() : QStringLiteral(" (did not finish)"), out, err);
}

CliProcess::Result CliProcess::run(const QStringList& arguments, int timeoutMs, const QByteArray& input,
                                   bool serveEvents)
{
    Result result;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(programPath(), arguments);
    if (!process.waitForStarted(10000)) {
        result.err = QStringLiteral("cannot start %1: %2").arg(programPath(), process.errorString());
        return result;
    }
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (serveEvents) {
        // Events are served as they come, not polled: a relay must not add latency.
        QEventLoop loop;
        QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        if (process.state() != QProcess::NotRunning)
            loop.exec();
        result.finished = process.state() == QProcess::NotRunning;
    } else {
        result.finished = process.waitForFinished(timeoutMs);
    }
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.rawOut = process.readAllStandardOutput();
    result.out = QString::fromUtf8(result.rawOut);
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
