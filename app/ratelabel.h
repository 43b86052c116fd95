#pragma once

#include "rateestimator.h"

#include <QElapsedTimer>
#include <QLabel>

class QTimer;

// How fast a job goes and how long it still takes, beside its percentage:
// "12.4 КиБ/с, осталось 0:42" for a firmware copy, "9.8 адр./с, осталось
// 0:21" for a line scan. The text follows each step of the job and, while
// events run, is refreshed every second even when no step comes, so a line
// that stalls shows it.
class RateLabel : public QLabel
{
    Q_OBJECT

public:
    enum class Unit { Bytes, Addresses };

    explicit RateLabel(Unit unit, QWidget* parent = nullptr);

    // `done` of `total`; the first call after finish() starts a new job.
    void progress(qint64 done, qint64 total);
    // The job is over: the label goes.
    void finish();

    // The text for the figures so far (empty until there is a speed).
    static QString text(const RateEstimator& estimate, Unit unit);

private:
    void refresh();

    Unit unit;
    QElapsedTimer clock;
    RateEstimator estimate;
    QTimer* ticker;
    bool running = false;
};
