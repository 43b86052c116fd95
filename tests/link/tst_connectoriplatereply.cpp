// A reply that comes after its read has given up must not be taken for the
// answer to the next request over TCP: otherwise every later exchange on the
// link gets the answer of the one before it.

#include "connectorip.h"
#include "loopbackpeer.h"
#include "referenceframes.h"

#include <QtTest>

#include <memory>

class TestConnectorIPLateReply : public QObject
{
    Q_OBJECT

private slots:
    void lateArrivalIsNotTheNextAnswer_data();
    void lateArrivalIsNotTheNextAnswer();
    void frameArrivingAfterAnAnsweredReadIsNotTheNextAnswer();
};

void TestConnectorIPLateReply::lateArrivalIsNotTheNextAnswer_data()
{
    QTest::addColumn<QByteArray>("late");

    QTest::newRow("late reply") << frameFor(1, hex("c9 05 30 2e 30 2e 36"));
    QTest::newRow("two late replies") << frameFor(1, hex("a0 01 02")) + frameFor(1, hex("a7 03 04"));
    QTest::newRow("late reply behind junk") << hex("00 11 fe 45") + frameFor(1, hex("c9 01"));
    QTest::newRow("late frame for another device") << frameFor(2, hex("c9 01"));
    QTest::newRow("late frame with a bad checksum") << frameFor(1, hex("c9 01")).replace(8, 1, "\x77");
}

void TestConnectorIPLateReply::lateArrivalIsNotTheNextAnswer()
{
    QFETCH(QByteArray, late);

    LoopbackPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    const QByteArray second = frameFor(1, hex("c9 02 00"));
    QByteArray secondRequest;
    peer.startScript([&](LoopbackPeer& p) {
        p.read(12, 3000);
        LoopbackPeer::pause(600); // past the first read's time-out
        p.write(late);
        secondRequest = p.read(12, 3000);
        p.write(second);
        p.readUntilQuiet(500, 1000);
    });
    ConnectorIP link(QStringLiteral("127.0.0.1"), peer.port());
    QVERIFY(link.isConnected());
    link.setDevID(1);
    link.setTimeout(300);

    QCOMPARE(link.write(hex("78")), 12);
    QVERIFY(link.read().isEmpty());
    QTest::qWait(700); // the late bytes are here before the next request goes out

    link.setTimeout(2000);
    QCOMPARE(link.write(hex("64")), 12);
    QCOMPARE(link.read(), hex("c9 02 00"));
    // Thrown away and counted, unless it was another board's.
    QCOMPARE(link.extraReplies(), QTest::currentDataTag() == QLatin1String("late frame for another device") ? 0 : 1);
    peer.waitScript();
    QCOMPARE(secondRequest, frameFor(1, hex("64")));
}

// A read can return some earlier request's late reply (the caller finds it is
// the wrong answer); its own reply then comes after the read has returned and
// must not be taken for the answer to the request after it either.
void TestConnectorIPLateReply::frameArrivingAfterAnAnsweredReadIsNotTheNextAnswer()
{
    LoopbackPeer peer;
    QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
    const QByteArray early = frameFor(1, hex("c9 01"));
    const QByteArray late = frameFor(1, hex("c9 02"));
    const QByteArray third = frameFor(1, hex("c9 03"));
    QByteArray thirdRequest;
    peer.startScript([&](LoopbackPeer& p) {
        p.read(12, 3000);
        p.write(early);
        LoopbackPeer::pause(200);
        p.write(late);
        thirdRequest = p.read(12, 3000);
        p.write(third);
        p.readUntilQuiet(500, 1000);
    });
    ConnectorIP link(QStringLiteral("127.0.0.1"), peer.port());
    QVERIFY(link.isConnected());
    link.setDevID(1);
    link.setTimeout(2000);

    QCOMPARE(link.write(hex("01")), 12);
    QCOMPARE(link.read(), hex("c9 01"));
    QTest::qWait(500); // the second frame comes in between the exchanges
    QCOMPARE(link.write(hex("02")), 12);
    QCOMPARE(link.read(), hex("c9 03"));
    QCOMPARE(link.extraReplies(), 1);
    peer.waitScript();
    QCOMPARE(thirdRequest, frameFor(1, hex("02")));
}

QTEST_GUILESS_MAIN(TestConnectorIPLateReply)
#include "tst_connectoriplatereply.moc"
