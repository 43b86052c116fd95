#pragma once

#include "rateestimator.h"

#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>

#include <cstdio>

// The firmware copy's progress on standard error: bytes of the image
// delivered, speed and time left. On a terminal one line is redrawn in place;
// into a file or pipe a line is written at most every `quietMs` (and always
// for the first and the last figure) so logs stay short.
class TransferProgress
{
public:
    explicit TransferProgress(FILE* stream, int quietMs = 1000);

    void update(qint64 done, qint64 total);
    // Ends the redrawn line (call once the copy is over, whatever its outcome).
    void finish();

    // "  12500 / 70000 bytes  17%  4.1 KiB/s  0:13 left"; speed and time left
    // read "--" until there is something to measure. The speed is the whole
    // copy's so far.
    static QString formatLine(qint64 done, qint64 total, qint64 elapsedMs);
    // The same with the speed the estimator measured lately.
    static QString formatLine(const RateEstimator& estimate);
    // "512 B/s", "4.1 KiB/s", "1.2 MiB/s".
    static QString formatSpeed(double bytesPerSecond);
    // "0:07", "12:34", "1:02:03".
    static QString formatDuration(qint64 seconds);

private:
    void emitLine(const QString& line);

    FILE* stream;
    bool terminal;
    int quietMs;
    QElapsedTimer clock;
    RateEstimator estimate;
    qint64 lastPrintMs = -1;
    bool lineOpen = false;
    int lastLength = 0;
};
