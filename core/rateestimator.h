#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <optional>

// Speed and time left of a job that counts up to a known total: the image
// bytes of a firmware copy, the addresses of a line scan. The speed is taken
// over the last `windowMs`, so the estimate follows a line that slows down
// or picks up instead of averaging over the whole job; a job that starts
// over (its count falls back) is measured afresh. The caller passes the
// time, so nothing here waits or reads a clock.
class RateEstimator
{
public:
    static constexpr qint64 defaultWindowMs = 5000;

    explicit RateEstimator(qint64 windowMs = defaultWindowMs);

    // A job of `total` units begins at `nowMs` with nothing done.
    void start(qint64 total, qint64 nowMs = 0);
    // `done` units by `nowMs` (a time before the last one counts as the last).
    void sample(qint64 done, qint64 nowMs);

    qint64 done() const { return samples.empty() ? 0 : samples.back().done; }
    qint64 total() const { return totalUnits; }
    qint64 elapsedMs() const { return samples.empty() ? 0 : samples.back().atMs - startMs; }
    // Units per second over the window; none until time has passed with
    // something done, 0 for a job that has stalled over the whole window.
    std::optional<double> perSecond() const;
    // Seconds left at that speed; none without a speed above 0.
    std::optional<qint64> secondsLeft() const;

    // The same figures for a job measured from its start as a whole.
    static std::optional<double> perSecond(qint64 done, qint64 elapsedMs);
    // Rounded up: 0 only when nothing is left.
    static qint64 secondsLeft(qint64 left, double perSecond);
    // "0:07", "12:34", "1:02:03"; a negative count reads as 0.
    static QString clockText(qint64 seconds);
    // "512 B/s", "4.1 KiB/s", "1.2 MiB/s" in the caller's unit names.
    static QString byteRateText(double bytesPerSecond, const QString& bytes, const QString& kibibytes,
                                const QString& mebibytes);

private:
    struct Sample
    {
        qint64 atMs;
        qint64 done;
    };

    qint64 windowMs;
    qint64 totalUnits = 0;
    qint64 startMs = 0;
    // The oldest is the base the speed is measured from: the last sample at
    // or before the window's start, or the start of the job.
    std::deque<Sample> samples;
};
