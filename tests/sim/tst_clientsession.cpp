// How the board gathers requests from a stream of bytes: frames cut anywhere,
// back to back, for other addresses, with bad checksums, broken halfway, or
// buried in junk; and bursts on a bare link.

#include "clientsession.h"
#include "framecodec.h"
#include "virtualboard.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

QByteArray frame(const QByteArray& payload, quint32 address = 0)
{
    return FrameCodec::pack(address, payload);
}

const QByteArray boardVersion = QByteArray::fromHex("c90100");

struct Wire
{
    QByteArray sent;
    int hangUps = 0;

    // The payloads of every complete frame sent so far.
    QList<QByteArray> frames() const
    {
        QList<QByteArray> out;
        QByteArray rest = sent;
        for (;;) {
            const UnpackResult r = FrameCodec::unpack(rest, 0);
            if (r.status == UnpackIncomplete)
                break;
            if (r.status == UnpackOk)
                out << r.payload;
        }
        return out;
    }
};

} // namespace

class TestClientSession : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void frameArrivingByteByByte();
    void framesBackToBackAreAnsweredInOrder();
    void otherAddressesAndBadChecksumsGetNoReply();
    void brokenFrameIsGivenUpAfterSilence();
    void junkWithoutStartMarkIsPassedOver();
    void randomNoiseThenARealRequest();
    void bareBurstsAreOneRequestEach();
    void oversizedBareBurstIsDropped();
    void cutReplyHangsUp();
    void heldReplyKeepsTheLinkOneBehind();

private:
    ClientSession* makeSession(bool framed);

    VirtualBoard* board = nullptr;
    Wire wire;
};

void TestClientSession::init()
{
    board = new VirtualBoard;
    board->log().setEnabled(false);
    wire = Wire();
}

void TestClientSession::cleanup()
{
    delete board;
    board = nullptr;
}

ClientSession* TestClientSession::makeSession(bool framed)
{
    return new ClientSession(
        board, framed, QStringLiteral("test"), [this](const QByteArray& b) { wire.sent += b; },
        [this] { ++wire.hangUps; }, board);
}

void TestClientSession::frameArrivingByteByByte()
{
    ClientSession* s = makeSession(true);
    const QByteArray f = frame(QByteArray(1, char(0x7D)));
    for (char c : f)
        s->receive(QByteArray(1, c));
    QCOMPARE(wire.frames(), QList<QByteArray>({ boardVersion }));
}

void TestClientSession::framesBackToBackAreAnsweredInOrder()
{
    ClientSession* s = makeSession(true);
    s->receive(frame(QByteArray(1, char(0x7D))) + frame(QByteArray(1, char(0x79))) + frame(QByteArray(1, char(0x7D))));
    QCOMPARE(wire.frames(),
             QList<QByteArray>({ boardVersion, QByteArray::fromHex("c900000000"), boardVersion }));
}

void TestClientSession::otherAddressesAndBadChecksumsGetNoReply()
{
    board->setAddress(9);
    ClientSession* s = makeSession(true);
    QByteArray bad = frame(QByteArray(1, char(0x7D)), 9);
    bad[bad.size() - 1] = 1; // the CRC's upper two bytes must be zero
    s->receive(frame(QByteArray(1, char(0x7D)), 0) + frame(QByteArray(1, char(0x7D)), 10) + bad);
    QVERIFY(wire.sent.isEmpty());
    s->receive(frame(QByteArray(1, char(0x7D)), 9));
    QByteArray rest = wire.sent;
    const UnpackResult r = FrameCodec::unpack(rest, 9);
    QCOMPARE(r.status, int32_t(UnpackOk));
    QCOMPARE(r.payload.toHex(), boardVersion.toHex());
    QVERIFY(rest.isEmpty());
}

void TestClientSession::brokenFrameIsGivenUpAfterSilence()
{
    ClientSession* s = makeSession(true);
    // The length byte promises 255 bytes that never come.
    s->receive(QByteArray::fromHex("fe45ff540000ff0102"));
    QTest::qWait(ClientSession::frameGapMs * 2);
    s->receive(frame(QByteArray(1, char(0x7D))));
    QCOMPARE(wire.frames(), QList<QByteArray>({ boardVersion }));

    // Without the pause the good frame is swallowed by the broken one, and is
    // found again once the broken one has been given up.
    wire.sent.clear();
    s->receive(QByteArray::fromHex("fe45ff540000ff0102") + frame(QByteArray(1, char(0x79))));
    QVERIFY(wire.sent.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(wire.frames(), QList<QByteArray>({ QByteArray::fromHex("c900000000") }), 2000);
}

void TestClientSession::junkWithoutStartMarkIsPassedOver()
{
    ClientSession* s = makeSession(true);
    s->receive(QByteArray(100000, char(0x11)));
    s->receive(QByteArray::fromHex("fe45ff") + QByteArray::fromHex("54") + frame(QByteArray(1, char(0x7D))).mid(4));
    QCOMPARE(wire.frames(), QList<QByteArray>({ boardVersion }));
}

void TestClientSession::randomNoiseThenARealRequest()
{
    ClientSession* s = makeSession(true);
    QRandomGenerator rng(99);
    for (int round = 0; round < 200; ++round) {
        QByteArray chunk(int(rng.bounded(1, 300)), '\0');
        for (char& c : chunk)
            c = char(rng.bounded(256));
        if (rng.bounded(4) == 0)
            chunk.insert(int(rng.bounded(chunk.size())), QByteArray::fromHex("fe45ff54"));
        s->receive(chunk);
    }
    QTest::qWait(ClientSession::frameGapMs * 4);
    wire.sent.clear();
    s->receive(frame(QByteArray(1, char(0x7D))));
    QTRY_COMPARE_WITH_TIMEOUT(wire.frames().value(0).toHex(), boardVersion.toHex(), 2000);
}

void TestClientSession::bareBurstsAreOneRequestEach()
{
    ClientSession* s = makeSession(false);
    s->receive(QByteArray(1, char(0x7D)));
    QTRY_COMPARE_WITH_TIMEOUT(wire.sent.toHex(), boardVersion.toHex(), 2000);
    s->receive(QByteArray::fromHex("72"));
    s->receive(QByteArray(56, '\x22')); // the rest of the same burst
    QTRY_COMPARE_WITH_TIMEOUT(wire.sent.toHex(), (boardVersion + QByteArray(1, char(0xC9))).toHex(), 2000);
    QCOMPARE(board->model().configuration().ports.toHex(), QByteArray(56, '\x22').toHex());
}

void TestClientSession::oversizedBareBurstIsDropped()
{
    ClientSession* s = makeSession(false);
    s->receive(QByteArray(1, char(0x7D)) + QByteArray(ClientSession::maxBareRequest, '\0'));
    QTest::qWait(ClientSession::burstGapMs * 10);
    QVERIFY(wire.sent.isEmpty());
    s->receive(QByteArray(1, char(0x7D)));
    QTRY_COMPARE_WITH_TIMEOUT(wire.sent.toHex(), boardVersion.toHex(), 2000);
}

void TestClientSession::cutReplyHangsUp()
{
    ClientSession* s = makeSession(true);
    board->faults().dropAfter = 4;
    s->receive(frame(QByteArray(1, char(0x7D))));
    QCOMPARE(wire.sent.toHex(), frame(boardVersion).left(4).toHex());
    QCOMPARE(wire.hangUps, 1);
}

// The second 0x7D's reply waits for the next request; from there each reply
// comes after the request behind it, until one is left without a follower.
void TestClientSession::heldReplyKeepsTheLinkOneBehind()
{
    ClientSession* s = makeSession(true);
    board->execute(QStringLiteral("hold 0x7d 20 2"));
    const QByteArray status = QByteArray::fromHex("c900000000");
    s->receive(frame(QByteArray(1, char(0x7D))) + frame(QByteArray(1, char(0x7D))));
    QCOMPARE(wire.frames(), QList<QByteArray>({ boardVersion })); // the second waits for a request
    s->receive(frame(QByteArray(1, char(0x79))) + frame(QByteArray(1, char(0x7D))));
    QTRY_COMPARE_WITH_TIMEOUT(wire.frames(), QList<QByteArray>({ boardVersion, boardVersion, status }), 1000);
    // The last leaves once the board gives up waiting; the link is level again.
    QTRY_COMPARE_WITH_TIMEOUT(wire.frames().size(), 4, FaultInjector::holdGiveUpMs * 5);
    s->receive(frame(QByteArray(1, char(0x79))));
    QCOMPARE(wire.frames(), QList<QByteArray>({ boardVersion, boardVersion, status, boardVersion, status }));
}

QTEST_GUILESS_MAIN(TestClientSession)
#include "tst_clientsession.moc"
