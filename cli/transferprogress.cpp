#include "transferprogress.h"

#include <unistd.h>

TransferProgress::TransferProgress(FILE* stream, int quietMs)
    : stream(stream)
    , terminal(::isatty(::fileno(stream)) == 1)
    , quietMs(quietMs)
{
}

QString TransferProgress::formatSpeed(double bytesPerSecond)
{
    if (bytesPerSecond < 1024.0)
        return QStringLiteral("%1 B/s").arg(qRound64(bytesPerSecond));
    if (bytesPerSecond < 1024.0 * 1024.0)
        return QStringLiteral("%1 KiB/s").arg(bytesPerSecond / 1024.0, 0, 'f', 1);
    return QStringLiteral("%1 MiB/s").arg(bytesPerSecond / (1024.0 * 1024.0), 0, 'f', 1);
}

QString TransferProgress::formatDuration(qint64 seconds)
{
    if (seconds < 0)
        seconds = 0;
    const qint64 h = seconds / 3600;
    const qint64 m = (seconds / 60) % 60;
    const qint64 s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString TransferProgress::formatLine(qint64 done, qint64 total, qint64 elapsedMs)
{
    const int percent = total > 0 ? int(done * 100 / total) : 100;
    QString speed = QStringLiteral("--");
    QString left = QStringLiteral("--");
    if (done > 0 && elapsedMs > 0) {
        const double bytesPerSecond = double(done) * 1000.0 / double(elapsedMs);
        speed = formatSpeed(bytesPerSecond);
        // Rounded up: "0:00 left" only when nothing is left.
        const qint64 leftBytes = total - done;
        left = formatDuration(qint64((double(leftBytes) / bytesPerSecond) + 0.999));
    }
    if (done >= total)
        return QStringLiteral("  %1 / %2 bytes  100%  %3  done in %4")
            .arg(done)
            .arg(total)
            .arg(speed, formatDuration((elapsedMs + 500) / 1000));
    return QStringLiteral("  %1 / %2 bytes  %3%  %4  %5 left").arg(done).arg(total).arg(percent).arg(speed, left);
}

void TransferProgress::update(qint64 done, qint64 total)
{
    if (!clock.isValid())
        clock.start();
    const qint64 now = clock.elapsed();
    const bool last = done >= total;
    const bool first = lastPrintMs < 0;
    if (!terminal && !first && !last && now - lastPrintMs < quietMs)
        return;
    lastPrintMs = now;
    emitLine(formatLine(done, total, now));
}

void TransferProgress::emitLine(const QString& line)
{
    QByteArray bytes = line.toUtf8();
    if (terminal) {
        // Redraw in place; blanks wipe what a longer earlier line left.
        const int length = bytes.size();
        if (length < lastLength)
            bytes.append(QByteArray(lastLength - length, ' '));
        lastLength = length;
        bytes.prepend('\r');
        lineOpen = true;
    } else {
        bytes.append('\n');
    }
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

void TransferProgress::finish()
{
    if (lineOpen) {
        std::fputc('\n', stream);
        std::fflush(stream);
        lineOpen = false;
    }
}
