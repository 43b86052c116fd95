#include "rateestimator.h"

RateEstimator::RateEstimator(qint64 windowMs)
    : windowMs(windowMs)
{
    start(0, 0);
}

void RateEstimator::start(qint64 total, qint64 nowMs)
{
    totalUnits = total;
    startMs = nowMs;
    samples.clear();
    samples.push_back({ nowMs, 0 });
}

void RateEstimator::sample(qint64 done, qint64 nowMs)
{
    nowMs = qMax(nowMs, samples.back().atMs);
    // A copy that starts over sends its blocks anew: what it did before says
    // nothing about how long the new pass takes.
    if (done < samples.back().done)
        samples.clear();
    samples.push_back({ nowMs, done });
    if (windowMs <= 0)
        return;
    while (samples.size() >= 2 && samples[1].atMs <= nowMs - windowMs)
        samples.pop_front();
}

std::optional<double> RateEstimator::perSecond() const
{
    const Sample& base = samples.front();
    const Sample& last = samples.back();
    const qint64 span = last.atMs - base.atMs;
    if (span <= 0 || last.done <= 0)
        return std::nullopt;
    return double(qMax<qint64>(last.done - base.done, 0)) * 1000.0 / double(span);
}

std::optional<qint64> RateEstimator::secondsLeft() const
{
    const std::optional<double> speed = perSecond();
    if (!speed || *speed <= 0.0)
        return std::nullopt;
    return secondsLeft(totalUnits - done(), *speed);
}

std::optional<double> RateEstimator::perSecond(qint64 done, qint64 elapsedMs)
{
    if (done <= 0 || elapsedMs <= 0)
        return std::nullopt;
    return double(done) * 1000.0 / double(elapsedMs);
}

qint64 RateEstimator::secondsLeft(qint64 left, double perSecond)
{
    if (left <= 0 || perSecond <= 0.0)
        return 0;
    // Rounded up, so "0:00" shows only when the job is over.
    return qint64((double(left) / perSecond) + 0.999);
}

QString RateEstimator::clockText(qint64 seconds)
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

QString RateEstimator::byteRateText(double bytesPerSecond, const QString& bytes, const QString& kibibytes,
                                    const QString& mebibytes)
{
    if (bytesPerSecond < 1024.0)
        return QStringLiteral("%1 %2").arg(qRound64(bytesPerSecond)).arg(bytes);
    if (bytesPerSecond < 1024.0 * 1024.0)
        return QStringLiteral("%1 %2").arg(bytesPerSecond / 1024.0, 0, 'f', 1).arg(kibibytes);
    return QStringLiteral("%1 %2").arg(bytesPerSecond / (1024.0 * 1024.0), 0, 'f', 1).arg(mebibytes);
}
