// Speed and time left as a job goes: measured over the recent past, afresh
// after the job starts over, and rounded so "0:00" means done.

#include "rateestimator.h"

#include <QtTest>

using Samples = QList<QPair<qint64, qint64>>; // (ms, done)

class TestRateEstimator : public QObject
{
    Q_OBJECT

private slots:
    void speedAndTimeLeft_data();
    void speedAndTimeLeft();
};

void TestRateEstimator::speedAndTimeLeft_data()
{
    QTest::addColumn<qint64>("windowMs");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<Samples>("samples");
    QTest::addColumn<double>("perSecond"); // -1: none yet
    QTest::addColumn<qint64>("secondsLeft"); // -1: none

    QTest::newRow("nothing done yet") << qint64(5000) << qint64(1000) << Samples { { 1000, 0 } } << -1.0 << qint64(-1);
    QTest::newRow("no time passed") << qint64(5000) << qint64(1000) << Samples { { 0, 100 } } << -1.0 << qint64(-1);
    QTest::newRow("steady") << qint64(5000) << qint64(1000) << Samples { { 1000, 100 }, { 2000, 200 } } << 100.0
                            << qint64(8);
    // 550 units a second on average, but only 100 over the last two seconds.
    QTest::newRow("follows a slowdown") << qint64(2000) << qint64(3000)
                                        << Samples { { 1000, 1000 }, { 2000, 2000 }, { 3000, 2100 }, { 4000, 2200 } }
                                        << 100.0 << qint64(8);
    QTest::newRow("measured afresh after starting over")
        << qint64(5000) << qint64(1000) << Samples { { 1000, 500 }, { 1500, 0 }, { 2500, 100 } } << 100.0 << qint64(9);
    QTest::newRow("stalled over the window") << qint64(1000) << qint64(1000) << Samples { { 1000, 100 }, { 3000, 100 } }
                                             << 0.0 << qint64(-1);
    QTest::newRow("a part of a second is a second") << qint64(5000) << qint64(1000) << Samples { { 1000, 999 } } << 999.0
                                                    << qint64(1);
    QTest::newRow("done") << qint64(5000) << qint64(1000) << Samples { { 2000, 1000 } } << 500.0 << qint64(0);
    QTest::newRow("a clock going back counts as standing") << qint64(5000) << qint64(1000)
                                                           << Samples { { 2000, 200 }, { 1000, 400 } } << 200.0
                                                           << qint64(3);
}

void TestRateEstimator::speedAndTimeLeft()
{
    QFETCH(qint64, windowMs);
    QFETCH(qint64, total);
    QFETCH(Samples, samples);
    QFETCH(double, perSecond);
    QFETCH(qint64, secondsLeft);

    RateEstimator estimate(windowMs);
    estimate.start(total);
    for (const auto& sample : samples)
        estimate.sample(sample.second, sample.first);
    const std::optional<double> speed = estimate.perSecond();
    QCOMPARE(speed.has_value(), perSecond >= 0);
    if (speed)
        QCOMPARE(*speed, perSecond);
    QCOMPARE(estimate.secondsLeft().value_or(-1), secondsLeft);
    QCOMPARE(estimate.done(), samples.last().second);
}

QTEST_GUILESS_MAIN(TestRateEstimator)
#include "tst_rateestimator.moc"
