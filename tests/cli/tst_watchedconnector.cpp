// The link watcher between the commands and the transport: the commands' own
// time-outs must reach the transport (a 60 s flash read must not end after
// the transport's default 3 s), and silence is told from a wrong reply.

#include "commandexchange.h"
#include "commandset.h"
#include "firmwareflash.h"
#include "scriptedconnector.h"
#include "watchedconnector.h"

#include <QtTest>

Q_DECLARE_METATYPE(ScriptedConnector::Step)

class TestWatchedConnector : public QObject
{
    Q_OBJECT

private slots:
    void commandTimeoutsReachTheTransport();
    void silenceIsToldFromAWrongReply_data();
    void silenceIsToldFromAWrongReply();
    void traceShowsPayloads();
};

void TestWatchedConnector::commandTimeoutsReachTheTransport()
{
    auto inner = QSharedPointer<ScriptedConnector>::create();
    inner->setDevID(0);
    inner->queue(ScriptedConnector::replyHex("c9 05 31 2e 32 2e 30"));
    inner->queue(ScriptedConnector::replyHex("c9"));
    auto watched = QSharedPointer<WatchedConnector>::create(inner);
    watched->setDevID(9);
    QCOMPARE(inner->devId, 9);

    CommandExchange(watched.data()).send(Command::ReadFirmwareVersion, QByteArray(), CommandExchange::ack());
    QVERIFY(FirmwareFlash(watched).run().ok);

    QCOMPARE(inner->readTimeouts, QList<int>({ 1000, 60000 }));
    QCOMPARE(inner->writes, QList<QByteArray>({ QByteArray(1, char(0x78)), QByteArray(1, char(0x67)) }));
    // Restored on the watcher, where the commands look.
    QCOMPARE(watched->getTimeout(), 3000);

    // Extra replies are counted by the transport, whoever notes or asks.
    inner->noteExtraReply();
    watched->noteExtraReply();
    QCOMPARE(inner->extraReplies(), 2);
    QCOMPARE(watched->extraReplies(), 2);
}

void TestWatchedConnector::silenceIsToldFromAWrongReply_data()
{
    QTest::addColumn<QList<ScriptedConnector::Step>>("steps");
    QTest::addColumn<bool>("silence");

    using S = ScriptedConnector;
    QTest::newRow("wrong reply") << QList<S::Step> { S::replyHex("c8 01 00 00 00") } << false;
    QTest::newRow("no reply") << QList<S::Step> { S::silence() } << true;
    QTest::newRow("write failed") << QList<S::Step> { S::writeFailure() } << true;
    QTest::newRow("silence, then a wrong reply") << QList<S::Step> { S::silence(), S::replyHex("aa") } << true;
    QTest::newRow("wrong reply, late") << QList<S::Step> { S::reads({ {}, QByteArray::fromHex("aa") }) } << false;
}

void TestWatchedConnector::silenceIsToldFromAWrongReply()
{
    QFETCH(QList<ScriptedConnector::Step>, steps);
    QFETCH(bool, silence);

    auto inner = QSharedPointer<ScriptedConnector>::create();
    inner->queue(ScriptedConnector::replyHex("c9"));
    inner->queue(steps);
    WatchedConnector watched(inner);
    const CommandExchange exchange(&watched);

    exchange.sendExpectingAck(Command::Reboot);
    const WatchedConnector::Tally before = watched.tally();
    QVERIFY(!before.silenceSince(WatchedConnector::Tally()));
    for (int i = 0; i < steps.size(); ++i)
        exchange.sendExpectingAck(Command::Reboot);
    // Listening after the exchange is no request left unanswered.
    exchange.quietWindow();
    QCOMPARE(watched.tally().silenceSince(before), silence);
    QCOMPARE(watched.tally().writes, 1 + steps.size());
}

void TestWatchedConnector::traceShowsPayloads()
{
    auto inner = QSharedPointer<ScriptedConnector>::create();
    inner->queue(ScriptedConnector::replyHex("c9 01 00"));
    inner->queue(ScriptedConnector::silence());
    WatchedConnector watched(inner);
    QStringList lines;
    watched.setTrace([&lines](const QString& line) { lines << line; });

    const CommandExchange exchange(&watched);
    exchange.sendExpectingAck(Command::ReadBoardVersion);
    exchange.sendExpectingAck(Command::Reboot);
    // After the time-out the exchange waits the grace for a late reply.
    QCOMPARE(lines, QStringList({ "> 7d", "< c9 01 00", "> 7c", "< (nothing within 1000 ms)",
                                  QStringLiteral("< (nothing within %1 ms)").arg(CommandExchange::lateReplyGraceMs) }));
}

QTEST_GUILESS_MAIN(TestWatchedConnector)
#include "tst_watchedconnector.moc"
