#include "connectorip.h"
#include "loopbackpeer.h"
#include "referenceframes.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QtTest>

#include <arpa/inet.h>
#include <atomic>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A loopback port on which nobody listens.
quint16 closedPort()
{
    LoopbackPeer probe;
    const quint16 port = probe.port();
    probe.stopListening();
    return port;
}

} // namespace

class TestConnectorIP : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeSendsOneFrameWithoutDump();
    void peerReply_data();
    void peerReply();
    void leftoversNeverAnswerTheNextRequest_data();
    void leftoversNeverAnswerTheNextRequest();
    void frameBegunBeforeTheTimeOutIsStillTaken();
    void refusedConnectionReportsTheSocketError();
    void hostThatDoesNotAnswerGivesUpAfterFiveSeconds();
    void portOutOfRangeIsNotWrappedAround();
    void peerClosingMidReplyEndsTheLink();
    void chatteringPeerCannotHoldReadForever();
    void floodingPeerCannotGrowTheBuffer();

private:
    std::unique_ptr<LoopbackPeer> peer;
    std::unique_ptr<ConnectorIP> link;
    QStringList dump;

    bool connectLink();
};

void TestConnectorIP::init()
{
    peer.reset(new LoopbackPeer);
    QVERIFY2(peer->isListening(), qPrintable(peer->errorString()));
    dump.clear();
}

void TestConnectorIP::cleanup()
{
    if (peer)
        peer->waitScript();
    link.reset();
    peer.reset();
}

bool TestConnectorIP::connectLink()
{
    link.reset(new ConnectorIP(QStringLiteral("127.0.0.1"), peer->port()));
    link->setDevID(1);
    link->setDumpCallback([this](const QString& line) { dump << line; });
    return link->isConnected();
}

void TestConnectorIP::writeSendsOneFrameWithoutDump()
{
    QByteArray received;
    peer->startScript([&received](LoopbackPeer& p) { received = p.read(12, 3000); });
    QVERIFY(connectLink());
    QCOMPARE(link->write(hex("7d")), 12);
    peer->waitScript();
    QCOMPARE(received.toHex(' '), QByteArray("fe 45 ff 54 01 00 01 7d 3f 89 00 00"));
    QVERIFY(dump.isEmpty());
}

void TestConnectorIP::peerReply_data()
{
    QTest::addColumn<QByteArrayList>("segments");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("endsEarly");

    const QByteArray reply = frameFor(1, hex("78 01 02 03"));
    const QByteArray foreign = frameFor(2, hex("c9"));
    QByteArray corrupted = reply;
    corrupted[7] = char(0x79);

    QTest::newRow("whole frame") << QByteArrayList { reply } << hex("78 01 02 03") << true;
    QTest::newRow("three segments") << QByteArrayList { reply.left(2), reply.mid(2, 7), reply.mid(9) }
                                    << hex("78 01 02 03") << true;
    QTest::newRow("junk before the frame") << QByteArrayList { hex("00 13 fe 45 ff") + reply } << hex("78 01 02 03")
                                           << true;
    QTest::newRow("foreign frame before ours") << QByteArrayList { foreign + reply } << hex("78 01 02 03") << true;
    QTest::newRow("foreign frame, then ours") << QByteArrayList { foreign, reply } << hex("78 01 02 03") << true;
    QTest::newRow("bad checksum") << QByteArrayList { corrupted + reply } << QByteArray() << true;
    QTest::newRow("half a frame, then silence") << QByteArrayList { reply.left(8) } << QByteArray() << false;
    QTest::newRow("silence") << QByteArrayList {} << QByteArray() << false;
}

void TestConnectorIP::peerReply()
{
    QFETCH(QByteArrayList, segments);
    QFETCH(QByteArray, expected);
    QFETCH(bool, endsEarly);

    // Segments 30 ms apart, within the 50 ms quiet gap.
    peer->startScript([segments](LoopbackPeer& p) {
        p.read(12, 3000);
        for (int i = 0; i < segments.size(); ++i) {
            if (i > 0)
                LoopbackPeer::pause(30);
            p.write(segments.at(i));
        }
        p.readUntilQuiet(2500, 2500); // keep the connection until the test is done
    });
    QVERIFY(connectLink());
    const int timeout = 1200;
    link->setTimeout(timeout);
    QCOMPARE(link->write(hex("78")), 12);
    QElapsedTimer clock;
    clock.start();
    const QByteArray got = link->read();
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(got.toHex(' '), expected.toHex(' '));
    if (endsEarly)
        QVERIFY2(elapsed < 700, qPrintable(QString::number(elapsed)));
    else
        QVERIFY2(elapsed >= 50 && elapsed < timeout + 1500, qPrintable(QString::number(elapsed)));
    if (QTest::currentDataTag() == QLatin1String("silence"))
        QVERIFY2(elapsed >= timeout - 50, qPrintable(QString::number(elapsed)));
    QVERIFY(dump.isEmpty());
    link.reset();
}

// What follows a reply stays for a further read, but nothing that came before
// a request went out is its answer: neither a whole frame nor the start of one
// (a lone start mark would swallow every answer behind it).
void TestConnectorIP::leftoversNeverAnswerTheNextRequest_data()
{
    QTest::addColumn<QByteArray>("leftover");
    QTest::addColumn<QByteArray>("rest");

    const QByteArray other = frameFor(1, hex("64 02 00"));
    QTest::newRow("start of a frame, rest after the request") << other.left(5) << other.mid(5);
    QTest::newRow("whole frame") << frameFor(1, hex("c9 01")) << QByteArray();
    QTest::newRow("lone start mark") << hex("fe 45 ff 54") << QByteArray();
}

void TestConnectorIP::leftoversNeverAnswerTheNextRequest()
{
    QFETCH(QByteArray, leftover);
    QFETCH(QByteArray, rest);
    const QByteArray first = frameFor(1, hex("c9"));
    const QByteArray answer = frameFor(1, hex("c9 02"));
    peer->startScript([&](LoopbackPeer& p) {
        p.read(12, 3000);
        p.write(first + leftover); // one segment
        p.read(12, 3000);
        p.write(rest + answer);
        p.readUntilQuiet(500, 1000);
    });
    QVERIFY(connectLink());
    link->setTimeout(1000);
    QCOMPARE(link->write(hex("01")), 12);
    QCOMPARE(link->read(), hex("c9"));
    QCOMPARE(link->rxBuffer, leftover);
    QCOMPARE(link->write(hex("02")), 12);
    QCOMPARE(link->read(), hex("c9 02"));
    QVERIFY(link->rxBuffer.isEmpty());
    QCOMPARE(link->extraReplies(), 1);
}

// The first bytes come 20 ms before the time-out, the rest 40 ms later.
void TestConnectorIP::frameBegunBeforeTheTimeOutIsStillTaken()
{
    const int timeout = 300;
    const QByteArray reply = frameFor(1, hex("c9 07"));
    peer->startScript([reply, timeout](LoopbackPeer& p) {
        p.read(12, 3000);
        LoopbackPeer::pause(timeout - 20);
        p.write(reply.left(9));
        LoopbackPeer::pause(40);
        p.write(reply.mid(9));
        p.readUntilQuiet(500, 1000);
    });
    QVERIFY(connectLink());
    link->setTimeout(timeout);
    QCOMPARE(link->write(hex("70")), 12);
    QCOMPARE(link->read().toHex(' '), QByteArray("c9 07"));
}

void TestConnectorIP::refusedConnectionReportsTheSocketError()
{
    const quint16 port = closedPort();
    QElapsedTimer clock;
    clock.start();
    ConnectorIP refused(QStringLiteral("127.0.0.1"), port);
    QVERIFY(clock.elapsed() < 4000);
    QVERIFY(!refused.isConnected());
    QCOMPARE(refused.lastErrorString(), QStringLiteral("Connection refused"));
    clock.restart();
    QCOMPARE(refused.write(hex("78")), -1);
    QVERIFY(refused.read().isEmpty());
    QVERIFY(clock.elapsed() < 1000);
}

// A listener whose queue is full and that never accepts lets the handshake go
// unanswered, as a switched-off host on the far side of a router would.
void TestConnectorIP::hostThatDoesNotAnswerGivesUpAfterFiveSeconds()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 0), 0);
    QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);

    QList<int> fillers;
    for (int i = 0; i < 4; ++i) {
        const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::fcntl(filler, F_SETFL, O_NONBLOCK);
        ::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
        fillers << filler;
    }
    QTest::qWait(200);

    QElapsedTimer clock;
    clock.start();
    ConnectorIP silent(QStringLiteral("127.0.0.1"), ntohs(address.sin_port));
    const qint64 elapsed = clock.elapsed();
    const bool connected = silent.isConnected();
    const QString error = silent.lastErrorString();

    for (int filler : fillers)
        ::close(filler);
    ::close(listener);

    QVERIFY(!connected);
    QVERIFY2(elapsed >= 4500 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    QCOMPARE(error, QStringLiteral("Socket operation timed out"));
    QCOMPARE(silent.write(hex("78")), -1);
}

void TestConnectorIP::portOutOfRangeIsNotWrappedAround()
{
    ConnectorIP wrapped(QStringLiteral("127.0.0.1"), 65536 + peer->port());
    QVERIFY(!wrapped.isConnected());
    QCOMPARE(wrapped.lastErrorString(), QStringLiteral("Invalid TCP port %1").arg(65536 + peer->port()));
}

void TestConnectorIP::peerClosingMidReplyEndsTheLink()
{
    const QByteArray reply = frameFor(1, hex("78 01 02 03"));
    peer->startScript([reply](LoopbackPeer& p) {
        p.read(12, 3000);
        p.write(reply.left(9));
        LoopbackPeer::pause(20);
        p.closeConnection();
    });
    QVERIFY(connectLink());
    link->setTimeout(3000);
    QCOMPARE(link->write(hex("78")), 12);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link->read().isEmpty());
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!link->isConnected());
    QCOMPARE(link->write(hex("78")), -1);
    clock.restart();
    QVERIFY(link->read().isEmpty());
    QVERIFY(clock.elapsed() < 500);
}

void TestConnectorIP::chatteringPeerCannotHoldReadForever()
{
    auto stop = std::make_shared<std::atomic<bool>>(false);
    peer->startScript([stop](LoopbackPeer& p) {
        p.read(12, 3000);
        QElapsedTimer clock;
        clock.start();
        // Noise every 10 ms, well inside the 50 ms gap, and never a start mark.
        while (!*stop && clock.elapsed() < 8000) {
            p.write(hex("01 02 03 04 05 06 07 08"));
            LoopbackPeer::pause(10);
        }
    });
    QVERIFY(connectLink());
    link->setTimeout(400);
    QCOMPARE(link->write(hex("78")), 12);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link->read().isEmpty());
    const qint64 elapsed = clock.elapsed();
    *stop = true;
    QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
    // Noise without a start mark is not kept beyond what may begin one.
    QVERIFY(link->rxBuffer.size() <= 3);
}

void TestConnectorIP::floodingPeerCannotGrowTheBuffer()
{
    const QByteArray ours = frameFor(1, hex("c9"));
    QByteArray flood;
    while (flood.size() < 4 * ConnectorIP::rxBufferLimit)
        flood += ours;
    peer->startScript([flood](LoopbackPeer& p) {
        p.read(12, 3000);
        p.write(flood);
        p.readUntilQuiet(1500, 1500);
    });
    QVERIFY(connectLink());
    link->setTimeout(1000);
    QCOMPARE(link->write(hex("78")), 12);

    // Let the whole flood arrive before reading it.
    QTest::qWait(300);
    QCOMPARE(link->read(), hex("c9"));
    QVERIFY2(link->rxBuffer.size() <= ConnectorIP::rxBufferLimit, qPrintable(QString::number(link->rxBuffer.size())));
    // What stays is still read frame by frame.
    QCOMPARE(link->read(), hex("c9"));
}

QTEST_GUILESS_MAIN(TestConnectorIP)
#include "tst_connectorip.moc"
