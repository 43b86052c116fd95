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
    return RateEstimator::byteRateText(bytesPerSecond, QStringLiteral("B/s"), QStringLiteral("KiB/s"),
                                       QStringLiteral("MiB/s"));
}

QString TransferProgress::formatDuration(qint64 seconds)
{
    return RateEstimator::clockText(seconds);
}

QString TransferProgress::formatLine(qint64 done, qint64 total, qint64 elapsedMs)
{
    // No window: the whole copy so far.
    RateEstimator whole(0);
    whole.start(total);
    whole.sample(done, elapsedMs);
    return formatLine(whole);
}

QString TransferProgress::formatLine(const RateEstimator& estimate)
{
    const qint64 done = estimate.done();
    const qint64 total = estimate.total();
    const int percent = total > 0 ? int(done * 100 / total) : 100;
    const std::optional<double> bytesPerSecond = estimate.perSecond();
    const std::optional<qint64> secondsLeft = estimate.secondsLeft();
    const QString speed = bytesPerSecond ? formatSpeed(*bytesPerSecond) : QStringLiteral("--");
    const QString left = secondsLeft ? formatDuration(*secondsLeft) : QStringLiteral("--");
    if (done >= total)
        return QStringLiteral("  %1 / %2 bytes  100%  %3  done in %4")
            .arg(done)
            .arg(total)
            .arg(speed, formatDuration((estimate.elapsedMs() + 500) / 1000));
    return QStringLiteral("  %1 / %2 bytes  %3%  %4  %5 left").arg(done).arg(total).arg(percent).arg(speed, left);
}

void TransferProgress::update(qint64 done, qint64 total)
{
    if (!clock.isValid()) {
        clock.start();
        estimate.start(total);
    }
    const qint64 now = clock.elapsed();
    estimate.sample(done, now);
    const bool last = done >= total;
    const bool first = lastPrintMs < 0;
    if (!terminal && !first && !last && now - lastPrintMs < quietMs)
        return;
    lastPrintMs = now;
    emitLine(formatLine(estimate));
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
