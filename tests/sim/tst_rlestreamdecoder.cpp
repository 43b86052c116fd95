// The board's run-length decoder on its own, and as an independent check of
// the program's encoder: whatever rleEncode and splitRlePackets make of an
// image must come back byte for byte through the board's strict rules.

#include "rlecoder.h"
#include "rlestreamdecoder.h"

#include <QRandomGenerator>
#include <QtTest>

class TestRleStreamDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesTheDocumentedExample();
    void programEncoderRoundTrips_data();
    void programEncoderRoundTrips();
    void failedPacketLeavesTheDecoderUnchanged();
};

void TestRleStreamDecoder::decodesTheDocumentedExample()
{
    const QByteArray stream = QByteArray::fromHex("0c000000" "05008041" "0200004243" "04008000" "01000044");
    QByteArray image;
    QString why;
    QCOMPARE(RleStreamDecoder::decodeAll(stream, &image, &why), RleStreamDecoder::Ok);
    QCOMPARE(image.toHex(), QByteArray::fromHex("414141414142430000000044").toHex());

    // One byte missing at the end is a stream that stops short.
    QCOMPARE(RleStreamDecoder::decodeAll(stream.left(stream.size() - 1), &image, &why), RleStreamDecoder::Malformed);
}

void TestRleStreamDecoder::programEncoderRoundTrips_data()
{
    QTest::addColumn<QByteArray>("image");

    QRandomGenerator rng(20240611);
    QByteArray noisy(5000, '\0');
    for (char& c : noisy)
        c = char(rng.bounded(256));
    QByteArray runny;
    while (runny.size() < 100000)
        runny.append(int(rng.bounded(1, 40000)) * (rng.bounded(4) == 0 ? 1 : 0) + int(rng.bounded(1, 6)),
                     char(rng.bounded(3)));
    QByteArray firmwareLike;
    for (int i = 0; i < 300; ++i) {
        firmwareLike.append(int(rng.bounded(0, 300)), char(0xFF));
        for (int k = rng.bounded(1, 400); k > 0; --k)
            firmwareLike.append(char(rng.bounded(256)));
    }

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray(1, 'a');
    QTest::newRow("three equal bytes") << QByteArray(3, 'a');
    QTest::newRow("four equal bytes") << QByteArray(4, 'a');
    QByteArray literals;
    for (int i = 0; i < 243; ++i)
        literals.append(char(i));
    QTest::newRow("243 literal bytes then a run") << literals + QByteArray(10, 'z');
    QTest::newRow("244 literal bytes") << literals + QByteArray(1, 'z');
    QTest::newRow("70000 zero bytes") << QByteArray(70000, '\0');
    QTest::newRow("noise") << noisy;
    QTest::newRow("runs of every length") << runny;
    QTest::newRow("firmware-like") << firmwareLike;
}

void TestRleStreamDecoder::programEncoderRoundTrips()
{
    QFETCH(QByteArray, image);

    const QByteArray stream = rleEncode(image);
    QByteArray whole;
    QString why;
    QCOMPARE(RleStreamDecoder::decodeAll(stream, &whole, &why), RleStreamDecoder::Ok);
    QVERIFY(whole == image);

    const QList<RlePacket> packets = splitRlePackets(stream, 250, 32768);
    QVERIFY(!packets.isEmpty());
    RleStreamDecoder decoder;
    qint64 raw = 0;
    for (int i = 0; i < packets.size(); ++i) {
        QVERIFY(packets.at(i).bytes.size() <= 250);
        const RleStreamDecoder::Result r =
            decoder.feedPacket(packets.at(i).bytes, i == 0, i == packets.size() - 1, &why);
        QVERIFY2(r == RleStreamDecoder::Ok, qPrintable(QStringLiteral("packet %1: %2").arg(i).arg(why)));
        raw += packets.at(i).rawCount;
        QCOMPARE(qint64(decoder.output().size()), raw);
    }
    QVERIFY(decoder.finished());
    QVERIFY(decoder.output() == image);
}

void TestRleStreamDecoder::failedPacketLeavesTheDecoderUnchanged()
{
    RleStreamDecoder decoder;
    QCOMPARE(decoder.feedPacket(QByteArray::fromHex("08000000" "04008061"), true), RleStreamDecoder::Ok);
    // A good run followed by a run of three: the whole packet is refused.
    QCOMPARE(decoder.feedPacket(QByteArray::fromHex("04008062" "03008063"), false), RleStreamDecoder::Malformed);
    QCOMPARE(decoder.output(), QByteArray("aaaa"));
    QCOMPARE(decoder.feedPacket(QByteArray::fromHex("04008062"), false, true), RleStreamDecoder::Ok);
    QCOMPARE(decoder.output(), QByteArray("aaaabbbb"));
    QVERIFY(decoder.finished());
}

QTEST_GUILESS_MAIN(TestRleStreamDecoder)
#include "tst_rlestreamdecoder.moc"
