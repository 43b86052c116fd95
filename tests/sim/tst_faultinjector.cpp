// The fault knobs turned into bytes and pauses, checked with the frame codec
// that the transports use, and the run-time command parsing.

#include "faultinjector.h"
#include "framecodec.h"
#include "pacedwriter.h"

#include <QElapsedTimer>

#include <QtTest>

namespace {

QByteArray joined(const ReplyPlan& plan)
{
    QByteArray all;
    for (const ReplyPlan::Piece& p : plan.pieces)
        all.append(p.bytes);
    return all;
}

const QByteArray reply = QByteArray::fromHex("c9053" "12e322e30");

} // namespace

class TestFaultInjector : public QObject
{
    Q_OBJECT

private slots:
    void plainReplyIsOneFrame();
    void corruptCrcSpoilsOnlyTheCountedFrames();
    void corruptOnABareLinkChangesTheLastByte();
    void junkBeforeTheReplyIsSkippedByTheReader();
    void foreignFrameComesFirstOnFramedLinksOnly();
    void splitCutsTheReplyIntoPieces_data();
    void splitCutsTheReplyIntoPieces();
    void dropAfterCutsTheNextReplyOnly();
    void delayAndLineRateComeBeforeTheFirstByte();
    void pacedByteNeverLeavesBeforeItsBits_data();
    void pacedByteNeverLeavesBeforeItsBits();
    void silenceCountsDown();
    void commands_data();
    void commands();
};

void TestFaultInjector::plainReplyIsOneFrame()
{
    FaultInjector f;
    const ReplyPlan plan = f.plan(reply, true, 3, 12);
    QCOMPARE(plan.pieces.size(), 1);
    QCOMPARE(plan.pieces.first().pauseBeforeMs, 0);
    QVERIFY(!plan.hangUp);
    QCOMPARE(joined(plan).toHex(), FrameCodec::pack(3, reply).toHex());
    QCOMPARE(joined(f.plan(reply, false, 3, 1)).toHex(), reply.toHex());
}

void TestFaultInjector::corruptCrcSpoilsOnlyTheCountedFrames()
{
    FaultInjector f;
    f.corruptCrc = 2;
    for (int i = 0; i < 2; ++i) {
        QByteArray line = joined(f.plan(reply, true, 0, 12));
        QCOMPARE(line.size(), reply.size() + FrameCodec::overhead);
        QCOMPARE(FrameCodec::unpack(line, 0).status, int32_t(UnpackBadCrc));
    }
    QByteArray line = joined(f.plan(reply, true, 0, 12));
    const UnpackResult r = FrameCodec::unpack(line, 0);
    QCOMPARE(r.status, int32_t(UnpackOk));
    QCOMPARE(r.payload.toHex(), reply.toHex());
}

void TestFaultInjector::corruptOnABareLinkChangesTheLastByte()
{
    FaultInjector f;
    f.corruptCrc = 1;
    const QByteArray line = joined(f.plan(reply, false, 0, 1));
    QCOMPARE(line.size(), reply.size());
    QCOMPARE(line.left(reply.size() - 1).toHex(), reply.left(reply.size() - 1).toHex());
    QVERIFY(line.at(line.size() - 1) != reply.at(reply.size() - 1));
    QCOMPARE(f.corruptCrc, 0);
}

void TestFaultInjector::junkBeforeTheReplyIsSkippedByTheReader()
{
    FaultInjector f;
    f.junk = 1;
    QByteArray line = joined(f.plan(reply, true, 0, 12));
    QVERIFY(line.startsWith(FaultInjector::junkBytes()));
    QVERIFY(FaultInjector::junkBytes().indexOf(QByteArray::fromHex("fe45ff54")) < 0);
    const UnpackResult r = FrameCodec::unpack(line, 0);
    QCOMPARE(r.status, int32_t(UnpackOk));
    QCOMPARE(r.payload.toHex(), reply.toHex());
    QVERIFY(line.isEmpty());

    const QByteArray bare = joined(f.plan(reply, false, 0, 1));
    QCOMPARE(bare.toHex(), reply.toHex()); // the one counted reply is used up
}

void TestFaultInjector::foreignFrameComesFirstOnFramedLinksOnly()
{
    FaultInjector f;
    f.foreign = 1;
    QCOMPARE(joined(f.plan(reply, false, 5, 1)).toHex(), reply.toHex());
    QCOMPARE(f.foreign, 1);

    QByteArray line = joined(f.plan(reply, true, 5, 12));
    QCOMPARE(f.foreign, 0);
    QByteArray copy = line;
    const UnpackResult asOther = FrameCodec::unpack(copy, 6);
    QCOMPARE(asOther.status, int32_t(UnpackOk));
    QCOMPARE(asOther.payload.toHex(), FaultInjector::foreignPayload().toHex());

    QCOMPARE(FrameCodec::unpack(line, 5).status, int32_t(UnpackForeignAddress));
    const UnpackResult mine = FrameCodec::unpack(line, 5);
    QCOMPARE(mine.status, int32_t(UnpackOk));
    QCOMPARE(mine.payload.toHex(), reply.toHex());
}

void TestFaultInjector::splitCutsTheReplyIntoPieces_data()
{
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("replySize");
    QTest::addColumn<int>("expectedPieces");
    QTest::newRow("3 pieces of a 7-byte reply") << 3 << 7 << 3;
    QTest::newRow("5 pieces of a 129-byte reply") << 5 << 129 << 5;
    QTest::newRow("more pieces than bytes") << 40 << 1 << 12; // a 12-byte frame
    QTest::newRow("one piece") << 1 << 50 << 1;
}

void TestFaultInjector::splitCutsTheReplyIntoPieces()
{
    QFETCH(int, pieces);
    QFETCH(int, replySize);
    QFETCH(int, expectedPieces);

    FaultInjector f;
    QString message;
    QVERIFY(f.apply(QStringLiteral("split"), { QString::number(pieces), QStringLiteral("25") }, &message));
    QVERIFY2(message.startsWith(QLatin1String("OK")), qPrintable(message));
    const QByteArray payload(replySize, 'x');
    for (int round = 0; round < 2; ++round) { // a standing knob
        const ReplyPlan plan = f.plan(payload, true, 0, 12);
        QCOMPARE(plan.pieces.size(), expectedPieces);
        for (int i = 0; i < plan.pieces.size(); ++i) {
            QVERIFY(!plan.pieces.at(i).bytes.isEmpty());
            QCOMPARE(plan.pieces.at(i).pauseBeforeMs, i == 0 ? 0 : (expectedPieces > 1 ? 25 : 0));
        }
        QCOMPARE(joined(plan).toHex(), FrameCodec::pack(0, payload).toHex());
    }
}

void TestFaultInjector::dropAfterCutsTheNextReplyOnly()
{
    FaultInjector f;
    f.dropAfter = 5;
    const ReplyPlan cut = f.plan(reply, true, 0, 12);
    QVERIFY(cut.hangUp);
    QCOMPARE(joined(cut).toHex(), FrameCodec::pack(0, reply).left(5).toHex());
    const ReplyPlan next = f.plan(reply, true, 0, 12);
    QVERIFY(!next.hangUp);
    QCOMPARE(joined(next).toHex(), FrameCodec::pack(0, reply).toHex());

    f.dropAfter = 0;
    const ReplyPlan nothing = f.plan(reply, true, 0, 12);
    QVERIFY(nothing.hangUp);
    QCOMPARE(nothing.byteCount(), 0);
}

void TestFaultInjector::delayAndLineRateComeBeforeTheFirstByte()
{
    FaultInjector f;
    f.delayMs = 300;
    QCOMPARE(f.plan(reply, true, 0, 12).pieces.first().pauseBeforeMs, 300);
    f.baud = 1200; // 12 request bytes take 100 ms at 1200 baud
    const ReplyPlan plan = f.plan(reply, true, 0, 12);
    QCOMPARE(plan.baud, 1200);
    QCOMPARE(plan.pieces.first().pauseBeforeMs, 300);
    QCOMPARE(plan.leadBytes, 12); // paced by the writer, after the pause
}

void TestFaultInjector::pacedByteNeverLeavesBeforeItsBits_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("arrivedAgoMs"); // -1: no arrival time given
    QTest::addColumn<bool>("behindAnother");
    QTest::addColumn<int>("maxHandOvers");

    // At 1200 baud a byte takes 8.33 ms; every reply follows 12 request bytes.
    QTest::newRow("counted from now") << 1200 << 3 << -1 << false << 3;
    QTest::newRow("counted from arrival") << 1200 << 3 << 50 << false << 3;
    // The line is busy with the first reply: the request's time may not be
    // spent twice, so the second reply cannot follow the first at once.
    QTest::newRow("queued behind a reply") << 1200 << 3 << 200 << true << 3;
    // 16 bytes in 0.17 ms: handed over as the first byte and the rest.
    QTest::newRow("fast line, few hand-overs") << 921600 << 16 << -1 << false << 2;
}

void TestFaultInjector::pacedByteNeverLeavesBeforeItsBits()
{
    QFETCH(int, baud);
    QFETCH(int, size);
    QFETCH(int, arrivedAgoMs);
    QFETCH(bool, behindAnother);
    QFETCH(int, maxHandOvers);

    QElapsedTimer arrival;
    arrival.start();
    if (arrivedAgoMs > 0)
        QTest::qSleep(arrivedAgoMs);
    QList<qint64> arrivals; // ns since the request came in, for each byte of the plan checked
    int handOvers = 0;
    bool checkedStarted = !behindAnother;
    qint64 startNs = 0; // when the line became free for the checked plan
    PacedWriter writer([&](const QByteArray& bytes) {
        for (char c : bytes) {
            if (c == 'y' && !checkedStarted) {
                checkedStarted = true;
                startNs = arrivals.isEmpty() ? 0 : arrivals.last();
                arrivals.clear();
            }
            arrivals << arrival.nsecsElapsed();
        }
        if (checkedStarted)
            ++handOvers;
    }, [] {});
    ReplyPlan plan;
    plan.baud = baud;
    plan.leadBytes = 12;
    if (behindAnother) {
        ReplyPlan first = plan;
        first.pieces.append(ReplyPlan::Piece { 0, QByteArray(size, 'x') });
        writer.enqueue(first);
    }
    plan.pieces.append(ReplyPlan::Piece { 0, QByteArray(size, 'y') });
    writer.enqueue(plan, arrivedAgoMs >= 0 ? arrival : QElapsedTimer());
    QVERIFY(QTest::qWaitFor([&] { return writer.isIdle(); }, 5000));
    QCOMPARE(arrivals.size(), size);
    QVERIFY2(handOvers <= maxHandOvers, qPrintable(QString::number(handOvers)));
    for (int k = 0; k < arrivals.size(); ++k)
        QVERIFY2(arrivals.at(k) - startNs >= (12 + k + 1) * 10 * 1000000000LL / baud, qPrintable(QString::number(k)));
}

void TestFaultInjector::silenceCountsDown()
{
    FaultInjector f;
    QVERIFY(!f.takeSilence());
    f.silent = 2;
    QVERIFY(f.takeSilence());
    QVERIFY(f.takeSilence());
    QVERIFY(!f.takeSilence());
}

void TestFaultInjector::commands_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("isKnob");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("silent 3") << "silent 3" << true << true;
    QTest::newRow("silent without count") << "silent" << true << false;
    QTest::newRow("silent -1") << "silent -1" << true << false;
    QTest::newRow("corrupt-crc x") << "corrupt-crc x" << true << false;
    QTest::newRow("split 3 20") << "split 3 20" << true << true;
    QTest::newRow("split 0") << "split 0" << true << true;
    QTest::newRow("split 3 -5") << "split 3 -5" << true << false;
    QTest::newRow("delay 1500") << "delay 1500" << true << true;
    QTest::newRow("delay 1 2") << "delay 1 2" << true << false;
    QTest::newRow("baud 115200") << "baud 115200" << true << true;
    QTest::newRow("baud 10") << "baud 10" << true << false;
    QTest::newRow("drop-after -1") << "drop-after -1" << true << true;
    QTest::newRow("drop-after -2") << "drop-after -2" << true << false;
    QTest::newRow("late 0xb1 1030") << "late 0xb1 1030" << true << true;
    QTest::newRow("late without code") << "late 1030" << true << false;
    QTest::newRow("refuse 0x1b2 4") << "refuse 0x1b2 4" << true << false;
    QTest::newRow("forget 0xa2") << "forget 0xa2" << true << true;
    QTest::newRow("forget 0xa2 1") << "forget 0xa2 1" << true << false;
    QTest::newRow("hold 0xb1 40") << "hold 0xb1 40" << true << true;
    QTest::newRow("hold 0xb1 40 2") << "hold 0xb1 40 2" << true << true;
    QTest::newRow("hold 0xb1 40 0") << "hold 0xb1 40 0" << true << false;
    QTest::newRow("hold without delay") << "hold 0xb1" << true << false;
    QTest::newRow("not a knob") << "state" << false << false;
}

void TestFaultInjector::commands()
{
    QFETCH(QString, line);
    QFETCH(bool, isKnob);
    QFETCH(bool, accepted);

    FaultInjector f;
    const QJsonObject before = f.toJson();
    QStringList words = line.split(QLatin1Char(' '));
    const QString name = words.takeFirst();
    QString message;
    QCOMPARE(f.apply(name, words, &message), isKnob);
    if (!isKnob)
        return;
    QCOMPARE(message.startsWith(QLatin1String("OK")), accepted);
    QCOMPARE(message.startsWith(QLatin1String("ERROR")), !accepted);
    if (!accepted)
        QCOMPARE(f.toJson(), before);
}

QTEST_GUILESS_MAIN(TestFaultInjector)
#include "tst_faultinjector.moc"
