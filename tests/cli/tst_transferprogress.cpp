// The firmware copy's progress line: bytes, speed and time left, and a log
// that stays short when standard error is not a terminal.

#include "transferprogress.h"

#include <QtTest>

#include <cstdio>

class TestTransferProgress : public QObject
{
    Q_OBJECT

private slots:
    void lineShowsBytesSpeedAndTimeLeft_data();
    void lineShowsBytesSpeedAndTimeLeft();
    void logGetsFirstAndLastLineWhenUpdatesComeFast();
};

void TestTransferProgress::lineShowsBytesSpeedAndTimeLeft_data()
{
    QTest::addColumn<qint64>("done");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QString>("line");

    QTest::newRow("nothing yet") << qint64(0) << qint64(70000) << qint64(0)
                                 << "  0 / 70000 bytes  0%  --  -- left";
    QTest::newRow("half in a second") << qint64(35000) << qint64(70000) << qint64(1000)
                                      << "  35000 / 70000 bytes  50%  34.2 KiB/s  0:01 left";
    QTest::newRow("slow line, minutes left") << qint64(1000) << qint64(100000) << qint64(2000)
                                             << "  1000 / 100000 bytes  1%  500 B/s  3:18 left";
    QTest::newRow("a part of a second is a second") << qint64(9000) << qint64(10000) << qint64(1000)
                                                    << "  9000 / 10000 bytes  90%  8.8 KiB/s  0:01 left";
    QTest::newRow("hours left") << qint64(1) << qint64(7200) << qint64(1000)
                                << "  1 / 7200 bytes  0%  1 B/s  1:59:59 left";
    QTest::newRow("fast") << qint64(3 * 1048576) << qint64(6 * 1048576) << qint64(1000)
                          << "  3145728 / 6291456 bytes  50%  3.0 MiB/s  0:01 left";
    QTest::newRow("done") << qint64(70000) << qint64(70000) << qint64(2500)
                          << "  70000 / 70000 bytes  100%  27.3 KiB/s  done in 0:03";
}

void TestTransferProgress::lineShowsBytesSpeedAndTimeLeft()
{
    QFETCH(qint64, done);
    QFETCH(qint64, total);
    QFETCH(qint64, elapsedMs);
    QFETCH(QString, line);
    QCOMPARE(TransferProgress::formatLine(done, total, elapsedMs), line);
}

void TestTransferProgress::logGetsFirstAndLastLineWhenUpdatesComeFast()
{
    FILE* log = std::tmpfile();
    QVERIFY(log);
    {
        TransferProgress progress(log, 60000);
        for (qint64 done = 0; done <= 100000; done += 250)
            progress.update(done, 100000);
        progress.finish();
    }
    std::rewind(log);
    QByteArray text;
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, log)) > 0)
        text.append(buffer, int(got));
    std::fclose(log);

    QVERIFY(text.endsWith('\n'));
    text.chop(1);
    const QList<QByteArray> lines = text.split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith("  0 / 100000 bytes"), lines.at(0).constData());
    QVERIFY2(lines.at(1).startsWith("  100000 / 100000 bytes  100%"), lines.at(1).constData());
    QVERIFY(!text.contains('\r'));
}

QTEST_GUILESS_MAIN(TestTransferProgress)
#include "tst_transferprogress.moc"
