// Firmware transfer against the scripted connector: method choice, block
// requests byte for byte with their time-outs, attempts, failures, progress,
// the stop hook, the refusal of images that cannot be sent, and the flash.

#include "commandexchange.h"
#include "commandset.h"
#include "firmwareflash.h"
#include "firmwareplan.h"
#include "firmwaretexts.h"
#include "firmwaretransfer.h"
#include "rlecoder.h"
#include "scriptedconnector.h"
#include "referenceframes.h"

#include <QRandomGenerator>
#include <QtTest>

#include <sys/resource.h>

namespace {

QByteArray distinctBytes(int size)
{
    QByteArray out;
    out.reserve(size);
    for (int i = 0; i < size; ++i)
        out.append(char(i % 251));
    return out;
}

QByteArray randomBytes(int size, quint32 seed)
{
    QVector<quint32> words((size + 3) / 4);
    QRandomGenerator(seed).fillRange(words.data(), words.size());
    return QByteArray(reinterpret_cast<const char*>(words.constData()), size);
}

qint64 peakResidentBytes()
{
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_maxrss) * 1024;
}

ScriptedConnector::Responder acknowledgeAll()
{
    return [](const QByteArray&) { return ScriptedConnector::replyHex("c9"); };
}

struct Sent
{
    int opcode;
    int number;
    int length;
    QByteArray data;
};

Sent parse(const QByteArray& request)
{
    const auto byte = [&](int i) { return int(quint8(request.at(i))); };
    return { byte(0), byte(1) | byte(2) << 8, byte(3) | byte(4) << 8, request.mid(5) };
}

FirmwareTransfer::Result send(const QSharedPointer<ScriptedConnector>& link, const QByteArray& image,
                              FirmwareMethod method, QList<qint64>* progress = nullptr)
{
    FirmwareTransfer transfer(link);
    if (progress)
        transfer.setProgress([progress](qint64 done, qint64) { progress->append(done); });
    return transfer.run(planFirmwareTransfer(image, method));
}

} // namespace

Q_DECLARE_METATYPE(FirmwareMethod)
Q_DECLARE_METATYPE(ScriptedConnector::Step)
Q_DECLARE_METATYPE(QList<ScriptedConnector::Step>)

class TestFirmwareTransfer : public QObject
{
    Q_OBJECT

private slots:
    void methodChoice_data();
    void methodChoice();
    void sendLine();
    void blockRequestFields();
    void blocksOpcodesAndTimeouts_data();
    void blocksOpcodesAndTimeouts();
    void blockDataIsTheImageOrThePackets();
    void emptyImageIsRefusedBeforeAnythingIsSent_data();
    void emptyImageIsRefusedBeforeAnythingIsSent();
    void emptyImageBlocksAsTheMethodsCutThem();
    void largestLegacyImageUsesEveryBlockNumberOnce();
    void tooManyBlocksIsRefused();
    void tooManyPacketsIsRefused();
    void blockAcknowledgedOnThirdAttempt_data();
    void blockAcknowledgedOnThirdAttempt();
    void unacknowledgedAttemptsFail_data();
    void unacknowledgedAttemptsFail();
    void writeFailureMidwayIsNotRetried();
    void replyTooManyStartsTheCopyOverOnce_data();
    void replyTooManyStartsTheCopyOverOnce();
    void progressCountsImageBytes_data();
    void progressCountsImageBytes();
    void hookStopsTheTransfer();
    void hookSurvivesTheWindowReleasingTheLink();
    void noConnectorSendsNothing();
    void failureTexts();
    void flashOutcomes_data();
    void flashOutcomes();
    void flashAbandonedAfterWriteSkipsTheRead();
};

void TestFirmwareTransfer::methodChoice_data()
{
    QTest::addColumn<bool>("connector");
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<FirmwareMethod>("method");

    QTest::newRow("bootloader 0.0.7") << true << true << 1 << true << 1 << "0.0.7" << FirmwareMethod::Rle;
    QTest::newRow("bootloader 1.0.0, type 4") << true << true << 1 << true << 4 << "1.0.0" << FirmwareMethod::Rle;
    QTest::newRow("bootloader 0.0.6") << true << true << 1 << true << 1 << "0.0.6" << FirmwareMethod::Legacy;
    QTest::newRow("no connector") << false << true << 1 << true << 1 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("main firmware running") << true << true << 0 << true << 1 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("mode unknown") << true << false << 1 << true << 1 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("type unknown") << true << true << 1 << false << 1 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("type 0") << true << true << 1 << true << 0 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("type 5") << true << true << 1 << true << 5 << "0.0.7" << FirmwareMethod::Legacy;
    QTest::newRow("bootloader unreadable") << true << true << 1 << true << 2 << "-" << FirmwareMethod::Legacy;
    QTest::newRow("bootloader two parts") << true << true << 1 << true << 2 << "7.0" << FirmwareMethod::Legacy;
}

void TestFirmwareTransfer::methodChoice()
{
    QFETCH(bool, connector);
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, bootloader);
    QFETCH(FirmwareMethod, method);
    BoardState board;
    board.modeKnown = modeKnown;
    board.mode = quint8(mode);
    board.boardTypeKnown = typeKnown;
    board.boardType = quint16(type);
    board.bootloaderVersion = bootloader;
    QCOMPARE(chooseFirmwareMethod(board, connector), method);
}

void TestFirmwareTransfer::sendLine()
{
    QCOMPARE(firmwareSendLine(FirmwareMethod::Rle, "VRELL_A", " 0.0.7 ", "fw_main_VRELL_A.frm"),
             QStringLiteral("[firmware] send method=RLE board=VRELL_A bootloader=0.0.7 file=fw_main_VRELL_A.frm"));
    QCOMPARE(firmwareSendLine(FirmwareMethod::Legacy, QString(), "-", "boot.frm"),
             QStringLiteral("[firmware] send method=LEGACY board=UNKNOWN bootloader=- file=boot.frm"));
}

void TestFirmwareTransfer::blockRequestFields()
{
    QCOMPARE(firmwareBlockRequest(0xB1, 0x1234, hex("aabb")), hex("b1 3412 0200 aabb"));
    QCOMPARE(firmwareBlockRequest(0xB5, 65536 + 5, QByteArray()), hex("b5 0500 0000"));
    QCOMPARE(firmwareBlockRequest(0xB0, 0, QByteArray(250, 'x')).left(5), hex("b0 0000 fa00"));
}

void TestFirmwareTransfer::blocksOpcodesAndTimeouts_data()
{
    QTest::addColumn<FirmwareMethod>("method");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QList<int>>("opcodes");
    QTest::addColumn<QList<int>>("lengths");
    QTest::addColumn<QList<int>>("timeouts");

    const auto legacy = FirmwareMethod::Legacy;
    const auto rle = FirmwareMethod::Rle;
    QTest::newRow("LEGACY 250 bytes") << legacy << distinctBytes(250) << QList<int>({ 0xB0 }) << QList<int>({ 250 })
                                      << QList<int>({ 60000 });
    QTest::newRow("LEGACY 251 bytes") << legacy << distinctBytes(251) << QList<int>({ 0xB0, 0xB2 })
                                      << QList<int>({ 250, 1 }) << QList<int>({ 5000, 60000 });
    QTest::newRow("LEGACY 1 byte") << legacy << hex("42") << QList<int>({ 0xB0 }) << QList<int>({ 1 })
                                   << QList<int>({ 60000 });
    QTest::newRow("LEGACY 1000 bytes") << legacy << distinctBytes(1000) << QList<int>({ 0xB0, 0xB1, 0xB1, 0xB2 })
                                       << QList<int>({ 250, 250, 250, 250 })
                                       << QList<int>({ 5000, 1000, 1000, 60000 });
    // 250 distinct bytes: length + 243-byte literal fill the first packet, 7 bytes remain.
    QTest::newRow("RLE 250 bytes") << rle << distinctBytes(250) << QList<int>({ 0xB4, 0xB6 })
                                   << QList<int>({ 250, 10 }) << QList<int>({ 5000, 60000 });
    QTest::newRow("RLE 251 bytes") << rle << distinctBytes(251) << QList<int>({ 0xB4, 0xB6 })
                                   << QList<int>({ 250, 11 }) << QList<int>({ 5000, 60000 });
    QTest::newRow("RLE one packet") << rle << hex("41 41 41 41 41 42 43 00 00 00 00 44") << QList<int>({ 0xB4 })
                                    << QList<int>({ 21 }) << QList<int>({ 60000 });
    QTest::newRow("RLE 70000 zeros") << rle << QByteArray(70000, '\0') << QList<int>({ 0xB4, 0xB5, 0xB6 })
                                     << QList<int>({ 8, 4, 4 }) << QList<int>({ 5000, 60000, 60000 });
}

void TestFirmwareTransfer::blocksOpcodesAndTimeouts()
{
    QFETCH(FirmwareMethod, method);
    QFETCH(QByteArray, image);
    QFETCH(QList<int>, opcodes);
    QFETCH(QList<int>, lengths);
    QFETCH(QList<int>, timeouts);

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setTimeout(2500);
    link->setResponder(acknowledgeAll());
    const FirmwareTransfer::Result r = send(link, image, method);
    QVERIFY(r.ok());
    QCOMPARE(r.blocksAcknowledged, opcodes.size());

    QCOMPARE(link->writes.size(), opcodes.size());
    for (int i = 0; i < link->writes.size(); ++i) {
        const Sent sent = parse(link->writes.at(i));
        QCOMPARE(sent.opcode, opcodes.at(i));
        QCOMPARE(sent.number, i);
        QCOMPARE(sent.length, lengths.at(i));
        QCOMPARE(sent.data.size(), lengths.at(i));
    }
    QCOMPARE(link->readTimeouts, timeouts);
    QCOMPARE(link->getTimeout(), 2500);
    for (int t : link->writeTimeouts)
        QCOMPARE(t, 2500);
}

void TestFirmwareTransfer::blockDataIsTheImageOrThePackets()
{
    const QByteArray image = randomBytes(10000, 7) + QByteArray(5000, '\xff') + randomBytes(777, 8);
    {
        QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
        link->setResponder(acknowledgeAll());
        QVERIFY(send(link, image, FirmwareMethod::Legacy).ok());
        QByteArray joined;
        for (const QByteArray& request : link->writes)
            joined += parse(request).data;
        QCOMPARE(joined, image);
    }
    {
        QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
        link->setResponder(acknowledgeAll());
        QVERIFY(send(link, image, FirmwareMethod::Rle).ok());
        const QList<RlePacket> packets = splitRlePackets(rleEncode(image), 250, 32768);
        QCOMPARE(link->writes.size(), packets.size());
        QByteArray joined;
        for (int i = 0; i < packets.size(); ++i) {
            QCOMPARE(parse(link->writes.at(i)).data, packets.at(i).bytes);
            joined += packets.at(i).bytes;
        }
        QCOMPARE(joined, rleEncode(image));
    }
}

void TestFirmwareTransfer::emptyImageIsRefusedBeforeAnythingIsSent_data()
{
    QTest::addColumn<FirmwareMethod>("method");
    QTest::newRow("LEGACY") << FirmwareMethod::Legacy;
    QTest::newRow("RLE") << FirmwareMethod::Rle;
}

void TestFirmwareTransfer::emptyImageIsRefusedBeforeAnythingIsSent()
{
    QFETCH(FirmwareMethod, method);
    const FirmwarePlan plan = planFirmwareTransfer(QByteArray(), method);
    QVERIFY(!plan.ok());
    QCOMPARE(plan.problem, FirmwareImageProblem::Empty);
    QCOMPARE(plan.problemText(), QString::fromUtf8("Файл прошивки пуст\n"));

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setResponder(acknowledgeAll());
    QList<qint64> progress;
    const FirmwareTransfer::Result r = send(link, QByteArray(), method, &progress);
    QCOMPARE(r.failure, FirmwareTransfer::Result::Rejected);
    QVERIFY(link->writes.isEmpty());
    QVERIFY(progress.isEmpty());
}

void TestFirmwareTransfer::emptyImageBlocksAsTheMethodsCutThem()
{
    QVERIFY(firmwareBlocks(QByteArray(), FirmwareMethod::Legacy).isEmpty());
    const QList<FirmwareBlock> rle = firmwareBlocks(QByteArray(), FirmwareMethod::Rle);
    QCOMPARE(rle.size(), 1);
    QCOMPARE(rle.first().data, hex("00000000"));
    QCOMPARE(firmwareBlockRequest(firmwareBlockOpcode(FirmwareMethod::Rle, 0, 1), 0, rle.first().data),
             hex("b4 0000 0400 00000000"));
}

void TestFirmwareTransfer::largestLegacyImageUsesEveryBlockNumberOnce()
{
    const QByteArray image(MaxFirmwareBlocks * FirmwareBlockSize, '\x5a');
    const FirmwarePlan plan = planFirmwareTransfer(image, FirmwareMethod::Legacy);
    QVERIFY(plan.ok());
    QCOMPARE(plan.blocks.size(), 65536);

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    int expected = 0;
    bool numbersInOrder = true;
    link->setResponder([&](const QByteArray& request) {
        numbersInOrder = numbersInOrder && parse(request).number == expected;
        ++expected;
        return ScriptedConnector::replyHex("c9");
    });
    QVERIFY(FirmwareTransfer(link).run(plan).ok());
    QVERIFY(numbersInOrder);
    QCOMPARE(expected, 65536);
    QCOMPARE(parse(link->writes.last()).opcode, 0xB2);
    QCOMPARE(parse(link->writes.last()).number, 0xFFFF);
}

void TestFirmwareTransfer::tooManyBlocksIsRefused()
{
    const QByteArray image(MaxFirmwareBlocks * FirmwareBlockSize + 1, '\x5a');
    const FirmwarePlan plan = planFirmwareTransfer(image, FirmwareMethod::Legacy);
    QCOMPARE(plan.problem, FirmwareImageProblem::TooManyBlocks);
    QCOMPARE(plan.blocksNeeded, qint64(65537));
    QVERIFY(plan.blocks.isEmpty());
    QCOMPARE(plan.problemText(),
             QString::fromUtf8("Файл прошивки слишком велик: блоков 65537, допустимо не более 65536\n"));

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    QCOMPARE(FirmwareTransfer(link).run(plan).failure, FirmwareTransfer::Result::Rejected);
    QVERIFY(link->writes.isEmpty());

    // The same image codes to few packets, so RLE may carry it.
    QVERIFY(planFirmwareTransfer(image, FirmwareMethod::Rle).ok());
}

void TestFirmwareTransfer::tooManyPacketsIsRefused()
{
    // Random bytes give one 243-byte literal per packet: 65600 packets need
    // about 16 MB (a stray run of four here and there moves the count by little).
    const QByteArray image = randomBytes(65600 * 243, 11);
    const FirmwarePlan plan = planFirmwareTransfer(image, FirmwareMethod::Rle);
    QCOMPARE(plan.problem, FirmwareImageProblem::TooManyBlocks);
    QCOMPARE(plan.blocksNeeded, qint64(splitRlePackets(rleEncode(image), 250, 32768).size()));
    QVERIFY(plan.blocksNeeded > 65536);
    QVERIFY(plan.blocks.isEmpty());
    QVERIFY(plan.problemText().contains(QString::number(plan.blocksNeeded)));

    // Four times as large: refusing it must not take the coded stream and
    // a packet list several times the image's size.
    const QByteArray large = randomBytes(64 * 1024 * 1024, 12);
    const qint64 peakBefore = peakResidentBytes();
    const FirmwarePlan refused = planFirmwareTransfer(large, FirmwareMethod::Rle);
    const qint64 grown = peakResidentBytes() - peakBefore;
    QCOMPARE(refused.problem, FirmwareImageProblem::TooManyBlocks);
    QVERIFY(refused.blocksNeeded > 4 * 65536);
#if !defined(__SANITIZE_ADDRESS__) // its allocator keeps freed memory about
    QVERIFY2(grown < 48 * 1024 * 1024, qPrintable(QStringLiteral("the peak grew by %1 bytes").arg(grown)));
#else
    Q_UNUSED(grown);
#endif
}

void TestFirmwareTransfer::blockAcknowledgedOnThirdAttempt_data()
{
    QTest::addColumn<ScriptedConnector::Step>("first");
    QTest::addColumn<ScriptedConnector::Step>("second");
    QTest::newRow("silence, silence") << ScriptedConnector::silence() << ScriptedConnector::silence();
    QTest::newRow("echo, refusal") << ScriptedConnector::replyHex("b0") << ScriptedConnector::replyHex("c8 00000000");
}

void TestFirmwareTransfer::blockAcknowledgedOnThirdAttempt()
{
    QFETCH(ScriptedConnector::Step, first);
    QFETCH(ScriptedConnector::Step, second);
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setTimeout(100);
    link->queue({ first, second, ScriptedConnector::replyHex("c9") });
    link->setResponder(acknowledgeAll());
    const FirmwareTransfer::Result r = send(link, distinctBytes(600), FirmwareMethod::Legacy);
    QVERIFY(r.ok());
    QCOMPARE(link->writes.size(), 5);
    QCOMPARE(link->writes.at(0), link->writes.at(1));
    QCOMPARE(link->writes.at(1), link->writes.at(2));
    QCOMPARE(link->readTimeouts, QList<int>({ 5000, 5000, 5000, 1000, 60000 }));
    QCOMPARE(link->getTimeout(), 100);
}

void TestFirmwareTransfer::unacknowledgedAttemptsFail_data()
{
    QTest::addColumn<int>("attempts"); // 0: the default
    QTest::addColumn<int>("sent");     // times block 1 goes out

    QTest::newRow("default, three tries") << 0 << 3;
    QTest::newRow("a slow link's six") << 6 << 6;
    QTest::newRow("never below one") << -2 << 1;
}

void TestFirmwareTransfer::unacknowledgedAttemptsFail()
{
    QFETCH(int, attempts);
    QFETCH(int, sent);

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->queue(ScriptedConnector::replyHex("c9"));
    link->setResponder([](const QByteArray&) { return ScriptedConnector::replyHex("b1"); });
    FirmwareTransfer transfer(link);
    if (attempts != 0)
        transfer.setAttemptsPerBlock(attempts);
    const FirmwareTransfer::Result r = transfer.run(planFirmwareTransfer(distinctBytes(600), FirmwareMethod::Legacy));
    QCOMPARE(r.failure, FirmwareTransfer::Result::NoAck);
    QCOMPARE(r.failedBlock, 1);
    QCOMPARE(r.blocksAcknowledged, 1);
    QCOMPARE(link->writes.size(), 1 + sent); // block 0 once, block 1 `sent` times, block 2 never
    QCOMPARE(parse(link->writes.last()).number, 1);
}

void TestFirmwareTransfer::writeFailureMidwayIsNotRetried()
{
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setTimeout(321);
    link->queue({ ScriptedConnector::replyHex("c9"), ScriptedConnector::silence(), ScriptedConnector::writeFailure() });
    link->setResponder(acknowledgeAll());
    const FirmwareTransfer::Result r = send(link, QByteArray(70000, '\0'), FirmwareMethod::Rle);
    QCOMPARE(r.failure, FirmwareTransfer::Result::WriteFailed);
    QCOMPARE(r.failedBlock, 1);
    QCOMPARE(link->writes.size(), 3);
    QCOMPARE(link->writeOk, QList<bool>({ true, true, false }));
    QCOMPARE(link->readTimeouts.size(), 2);
    QCOMPARE(link->getTimeout(), 321);
}

// Blocks 0, 1 and 2 (the last) of 600 bytes. Once a request turns out to have
// had two replies the copy starts over, and fails if it happens again; a copy
// with a retry or a late reply listens before it is done, a clean one does not.
void TestFirmwareTransfer::replyTooManyStartsTheCopyOverOnce_data()
{
    using S = ScriptedConnector;
    using F = FirmwareTransfer::Result;
    QTest::addColumn<QList<S::Step>>("steps"); // then every block is acknowledged
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("restarts");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QList<qint64>>("progress");
    QTest::addColumn<bool>("listened"); // the quiet window

    const QByteArray ack = hex("c9");
    const S::Step refused = S::replyHex("c8 04 00 00 00");
    // Block 1 answered late and its resend's answer held until block 2 went
    // out: block 2 takes block 1's acknowledgement, its own comes at the end.
    const QList<S::Step> oneBehind = { S::reply(ack), S::silence(), S::reply(ack), S::reads({ ack, ack }) };
    QList<S::Step> lastRefused = oneBehind.mid(0, 3) << S::reads({ ack, refused.bytes });
    lastRefused << S::reply(ack) << S::reply(ack) << refused << refused << refused;
    const QList<qint64> once = { 0, 250, 500, 600 };
    QTest::newRow("clean") << QList<S::Step>{} << int(F::None) << 0 << 3 << once << false;
    QTest::newRow("late within the grace") << QList<S::Step>{ S::reads({ {}, ack }) } << int(F::None) << 0 << 3 << once
                                           << true;
    QTest::newRow("one behind") << oneBehind << int(F::None) << 1 << 7 << once + once << true;
    QTest::newRow("one behind, last refused") << lastRefused << int(F::NoAck) << 1 << 9 << once + once.mid(0, 3) << true;
    QTest::newRow("thrown away at a write") << QList<S::Step>{ S::reads({ ack, ack }) } << int(F::None) << 1 << 5
                                            << QList<qint64>{ 0, 250 } + once << true;
    QTest::newRow("again after the restart") << oneBehind + oneBehind << int(F::RepliesShifted) << 1 << 8
                                             << once + once << true;
}

void TestFirmwareTransfer::replyTooManyStartsTheCopyOverOnce()
{
    QFETCH(QList<ScriptedConnector::Step>, steps);
    QFETCH(int, failure);
    QFETCH(int, restarts);
    QFETCH(int, writes);
    QFETCH(QList<qint64>, progress);
    QFETCH(bool, listened);

    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->queue(steps);
    link->setResponder(acknowledgeAll());
    QList<qint64> seen;
    const FirmwareTransfer::Result r = send(link, distinctBytes(600), FirmwareMethod::Legacy, &seen);
    QCOMPARE(int(r.failure), failure);
    QCOMPARE(r.restarts, restarts);
    QCOMPARE(link->writes.size(), writes);
    QCOMPARE(seen, progress);
    const bool waited = std::any_of(link->laterReadTimeouts.cbegin(), link->laterReadTimeouts.cend(),
                                    [](int ms) { return ms > CommandExchange::lateReplyGraceMs; });
    QCOMPARE(waited, listened);
}

void TestFirmwareTransfer::progressCountsImageBytes_data()
{
    QTest::addColumn<FirmwareMethod>("method");
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QList<qint64>>("progress");
    QTest::newRow("LEGACY 501") << FirmwareMethod::Legacy << distinctBytes(501) << QList<qint64>({ 0, 250, 500, 501 });
    QTest::newRow("RLE 70000 zeros") << FirmwareMethod::Rle << QByteArray(70000, '\0')
                                     << QList<qint64>({ 0, 32768, 65536, 70000 });
    QTest::newRow("RLE 250") << FirmwareMethod::Rle << distinctBytes(250) << QList<qint64>({ 0, 243, 250 });
}

void TestFirmwareTransfer::progressCountsImageBytes()
{
    QFETCH(FirmwareMethod, method);
    QFETCH(QByteArray, image);
    QFETCH(QList<qint64>, progress);
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setResponder(acknowledgeAll());
    QList<qint64> seen;
    qint64 total = -1;
    FirmwareTransfer transfer(link);
    transfer.setProgress([&](qint64 done, qint64 t) {
        seen.append(done);
        total = t;
    });
    QVERIFY(transfer.run(planFirmwareTransfer(image, method)).ok());
    QCOMPARE(seen, progress);
    QCOMPARE(total, qint64(image.size()));
}

void TestFirmwareTransfer::hookStopsTheTransfer()
{
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setResponder(acknowledgeAll());
    int calls = 0;
    FirmwareTransfer transfer(link);
    transfer.setBlockHook([&] { return ++calls < 2; });
    const FirmwareTransfer::Result r = transfer.run(planFirmwareTransfer(distinctBytes(1000), FirmwareMethod::Legacy));
    QCOMPARE(r.failure, FirmwareTransfer::Result::WriteFailed);
    QCOMPARE(r.failedBlock, 2);
    QCOMPARE(calls, 2);
    QCOMPARE(link->writes.size(), 2);

    // A stop after the last block changes nothing: the copy is complete.
    QSharedPointer<ScriptedConnector> other(new ScriptedConnector);
    other->setResponder(acknowledgeAll());
    FirmwareTransfer last(other);
    last.setBlockHook([] { return false; });
    QVERIFY(last.run(planFirmwareTransfer(distinctBytes(250), FirmwareMethod::Legacy)).ok());
}

void TestFirmwareTransfer::hookSurvivesTheWindowReleasingTheLink()
{
    QSharedPointer<Connector> window(new ScriptedConnector);
    static_cast<ScriptedConnector*>(window.data())->setResponder(acknowledgeAll());
    const QWeakPointer<Connector> watch = window;
    {
        FirmwareTransfer transfer(window);
        transfer.setBlockHook([&] {
            window.reset(); // the link was dropped while events were pumped
            return !window.isNull();
        });
        const FirmwareTransfer::Result r =
            transfer.run(planFirmwareTransfer(distinctBytes(1000), FirmwareMethod::Legacy));
        QCOMPARE(r.failure, FirmwareTransfer::Result::WriteFailed);
        QCOMPARE(r.failedBlock, 1);
        QVERIFY(!watch.isNull()); // the engine still holds it
    }
    QVERIFY(watch.isNull()); // and lets it go with itself
}

void TestFirmwareTransfer::noConnectorSendsNothing()
{
    FirmwareTransfer transfer{ QSharedPointer<Connector>() };
    QCOMPARE(transfer.run(planFirmwareTransfer(distinctBytes(10), FirmwareMethod::Legacy)).failure,
             FirmwareTransfer::Result::NoConnector);
}

void TestFirmwareTransfer::failureTexts()
{
    FirmwareTransfer::Result r;
    r.failure = FirmwareTransfer::Result::WriteFailed;
    r.failedBlock = 7;
    QCOMPARE(transferFailureText(r, QLocale::c()), QString::fromUtf8("Ошибка записи блока 7\n"));
    r.failure = FirmwareTransfer::Result::NoAck;
    r.failedBlock = 1234;
    QCOMPARE(transferFailureText(r, QLocale(QLocale::English, QLocale::UnitedStates)),
             QString::fromUtf8("Ошибка записи блока 1,234!\n"));
    r.failure = FirmwareTransfer::Result::RepliesShifted;
    r.failedBlock = 5;
    QCOMPARE(transferFailureText(r, QLocale::c()),
             QString::fromUtf8("Копирование не подтверждено: прибор прислал больше ответов, чем было запросов "
                               "(замечено на блоке 5), подтверждения блоков могли сместиться\n"));
    r.failure = FirmwareTransfer::Result::Rejected;
    QVERIFY(transferFailureText(r, QLocale::c()).isEmpty());
}

void TestFirmwareTransfer::flashOutcomes_data()
{
    QTest::addColumn<ScriptedConnector::Step>("step");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("mainFailure");

    const QString error = QString::fromUtf8("Ошибка команды записи основной прошивки\n");
    QTest::newRow("acknowledged") << ScriptedConnector::replyHex("c9") << true << error;
    QTest::newRow("acknowledged with a code") << ScriptedConnector::replyHex("c9 05000000") << true
                                              << error + QString::fromUtf8("Код ошибки: 5\n");
    QTest::newRow("refused with 5") << ScriptedConnector::replyHex("c8 05000000") << false
                                    << error + QString::fromUtf8("Код ошибки: 5\n");
    QTest::newRow("refused, code unsigned") << ScriptedConnector::replyHex("c8 ffffffff") << false
                                            << error + QString::fromUtf8("Код ошибки: 4294967295\n");
    QTest::newRow("refused without a code") << ScriptedConnector::replyHex("c8 0500") << false << error;
    QTest::newRow("other lead") << ScriptedConnector::replyHex("67 05000000") << false << error;
    QTest::newRow("silence") << ScriptedConnector::silence() << false << error;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << false << error;
}

void TestFirmwareTransfer::flashOutcomes()
{
    QFETCH(ScriptedConnector::Step, step);
    QFETCH(bool, ok);
    QFETCH(QString, mainFailure);
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->setTimeout(1500);
    link->queue(step);
    int readsBeforeHook = -1;
    const FirmwareFlash::Result r = FirmwareFlash(link).run([&] {
        readsBeforeHook = link->readTimeouts.size();
        return true;
    });
    QCOMPARE(r.ok, ok);
    QCOMPARE(FirmwareTexts::flashFailure(true, r), mainFailure);
    QCOMPARE(link->writes, QList<QByteArray>({ hex("67") }));
    QCOMPARE(link->getTimeout(), 1500);
    if (step.kind == ScriptedConnector::Step::WriteFailure) {
        QCOMPARE(readsBeforeHook, -1); // no wait dialog for a request that never left
        QVERIFY(link->readTimeouts.isEmpty());
    } else {
        QCOMPARE(readsBeforeHook, 0);
        QCOMPARE(link->readTimeouts, QList<int>({ 60000 }));
    }
}

void TestFirmwareTransfer::flashAbandonedAfterWriteSkipsTheRead()
{
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->queue(ScriptedConnector::replyHex("c9"));
    const FirmwareFlash::Result r = FirmwareFlash(link).run([] { return false; });
    QVERIFY(!r.ok);
    QVERIFY(!r.exchange.written());
    QVERIFY(link->readTimeouts.isEmpty());
    QCOMPARE(FirmwareTexts::flashFailure(false, r), QString::fromUtf8("Ошибка команды записи загрузчика\n"));
}

QTEST_GUILESS_MAIN(TestFirmwareTransfer)
#include "tst_firmwaretransfer.moc"
