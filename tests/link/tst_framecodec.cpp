#include "framecodec.h"
#include "referenceframes.h"

#include <QRandomGenerator>
#include <QtTest>

class TestFrameCodec : public QObject
{
    Q_OBJECT

private slots:
    void crcCheckValue();
    void crcMatchesBitwiseDefinition();

    void packBuildsExactFrame_data();
    void packBuildsExactFrame();
    void packAppendsToWhatIsThere();

    void unpackStep_data();
    void unpackStep();
    void backToBackFramesComeOneCallEach();
    void everyPayloadSurvivesARoundTrip();
    void randomBytesNeverYieldAnUnsoundPayload();

    void discardJunk_data();
    void discardJunk();
    void discardingJunkNeverChangesWhatUnpackFinds();

    void frameAddressOfTheFirstFrame_data();
    void frameAddressOfTheFirstFrame();
};

void TestFrameCodec::crcCheckValue()
{
    QCOMPARE(FrameCodec::crc16Modbus(QByteArray("123456789")), uint16_t(0x4B37));
    QCOMPARE(FrameCodec::crc16Modbus(QByteArray()), uint16_t(0xFFFF));
}

void TestFrameCodec::crcMatchesBitwiseDefinition()
{
    QRandomGenerator rng(4711);
    for (int round = 0; round < 200; ++round) {
        QByteArray data(int(rng.bounded(300)), Qt::Uninitialized);
        for (char& c : data)
            c = char(rng.bounded(256));
        QCOMPARE(FrameCodec::crc16Modbus(data), referenceCrc16(data));
        QCOMPARE(FrameCodec::crc16Modbus(data.constData(), data.size()), referenceCrc16(data));
    }
}

void TestFrameCodec::packBuildsExactFrame_data()
{
    QTest::addColumn<uint>("address");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("address 1, one byte") << 1u << hex("7d") << hex("fe 45 ff 54 01 00 01 7d 3f 89 00 00");
    QTest::newRow("address 1, empty") << 1u << QByteArray() << hex("fe 45 ff 54 01 00 00 5f be 00 00");
    QTest::newRow("address 5, one byte") << 5u << hex("a7") << hex("fe 45 ff 54 05 00 01 a7 bf 22 00 00");
    QTest::newRow("address 0") << 0u << hex("c9") << frameFor(0, hex("c9"));
    QTest::newRow("address 255, 255 bytes") << 255u << QByteArray(255, char(0x5A)) << frameFor(255, QByteArray(255, char(0x5A)));

    QByteArray longPayload;
    for (int i = 0; i < 300; ++i)
        longPayload.append(char(i));
    QTest::newRow("300 bytes cut to 255") << 1u << longPayload << frameFor(1, longPayload.left(255));
}

void TestFrameCodec::packBuildsExactFrame()
{
    QFETCH(uint, address);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, frame);

    const QByteArray packed = FrameCodec::pack(address, payload);
    QCOMPARE(packed.toHex(' '), frame.toHex(' '));
    QCOMPARE(packed.size(), qMin(payload.size(), 255) + 11);
    QCOMPARE(uint8_t(packed.at(6)), uint8_t(qMin(payload.size(), 255)));
}

void TestFrameCodec::packAppendsToWhatIsThere()
{
    QByteArray out = hex("0102");
    FrameCodec::pack(out, 1, hex("7d"));
    QCOMPARE(out, hex("0102") + hex("fe45ff540100017d3f890000"));
}

void TestFrameCodec::unpackStep_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<uint>("address");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QByteArray>("left");

    const QByteArray frame = hex("fe45ff540100017d3f890000");
    const QByteArray empty = hex("fe45ff540100005fbe0000");
    const QByteArray junk = hex("00112233fe45ff");

    QTest::newRow("whole frame") << frame << 1u << int(UnpackOk) << hex("7d") << QByteArray();
    QTest::newRow("empty payload") << empty << 1u << int(UnpackOk) << QByteArray() << QByteArray();
    QTest::newRow("three bytes") << hex("fe45ff") << 1u << int(UnpackIncomplete) << QByteArray() << hex("fe45ff");
    QTest::newRow("only junk is kept") << junk << 1u << int(UnpackIncomplete) << QByteArray() << junk;
    QTest::newRow("junk then frame") << junk + frame << 1u << int(UnpackOk) << hex("7d") << QByteArray();
    QTest::newRow("junk then partial frame") << junk + frame.left(9) << 1u << int(UnpackIncomplete)
                                             << QByteArray() << frame.left(9);
    QTest::newRow("header shorter than 11") << frame.left(10) << 1u << int(UnpackIncomplete) << QByteArray()
                                            << frame.left(10);
    QTest::newRow("length byte promises more") << frame.left(11) << 1u << int(UnpackIncomplete) << QByteArray()
                                               << frame.left(11);

    QByteArray badCrc = frame;
    badCrc[8] = char(badCrc.at(8) ^ 0x01);
    QTest::newRow("bad crc") << badCrc + empty << 1u << int(UnpackBadCrc) << QByteArray() << empty;

    QByteArray badPayload = frame;
    badPayload[7] = char(0x7e);
    QTest::newRow("corrupted payload") << badPayload << 1u << int(UnpackBadCrc) << QByteArray() << QByteArray();

    QByteArray highCrcBytes = frame;
    highCrcBytes[10] = char(0x01);
    QTest::newRow("crc padding not zero") << highCrcBytes << 1u << int(UnpackBadCrc) << QByteArray() << QByteArray();

    QTest::newRow("other address") << frameFor(2, hex("c9")) + frame << 1u << int(UnpackForeignAddress)
                                   << QByteArray() << frame;

    QByteArray highAddress = hex("fe45ff54010101c9");
    const uint16_t crc = referenceCrc16(highAddress);
    highAddress.append(char(crc & 0xFF)).append(char(crc >> 8)).append(char(0)).append(char(0));
    QTest::newRow("address byte 5 not zero") << highAddress << 1u << int(UnpackForeignAddress) << QByteArray()
                                             << QByteArray();

    QTest::newRow("reply then start of next") << frame + frame.left(5) << 1u << int(UnpackOk) << hex("7d")
                                              << frame.left(5);
    QTest::newRow("payload holding a start mark") << frameFor(7, hex("fe45ff54")) << 7u << int(UnpackOk)
                                                  << hex("fe45ff54") << QByteArray();
}

void TestFrameCodec::unpackStep()
{
    QFETCH(QByteArray, buffer);
    QFETCH(uint, address);
    QFETCH(int, status);
    QFETCH(QByteArray, payload);
    QFETCH(QByteArray, left);

    const UnpackResult result = FrameCodec::unpack(buffer, address);
    QCOMPARE(int(result.status), status);
    QCOMPARE(result.payload.toHex(' '), payload.toHex(' '));
    QCOMPARE(buffer.toHex(' '), left.toHex(' '));
}

void TestFrameCodec::backToBackFramesComeOneCallEach()
{
    QByteArray buffer = frameFor(9, hex("c9")) + frameFor(9, hex("78010203"));
    UnpackResult first = FrameCodec::unpack(buffer, 9);
    QCOMPARE(int(first.status), int(UnpackOk));
    QCOMPARE(first.payload, hex("c9"));
    UnpackResult second = FrameCodec::unpack(buffer, 9);
    QCOMPARE(int(second.status), int(UnpackOk));
    QCOMPARE(second.payload, hex("78010203"));
    QVERIFY(buffer.isEmpty());
    QCOMPARE(int(FrameCodec::unpack(buffer, 9).status), int(UnpackIncomplete));
}

void TestFrameCodec::everyPayloadSurvivesARoundTrip()
{
    QRandomGenerator rng(99);
    for (int length = 0; length <= 255; ++length) {
        const uint8_t address = uint8_t(rng.bounded(256));
        QByteArray payload(length, Qt::Uninitialized);
        for (char& c : payload)
            c = char(rng.bounded(256));
        QByteArray buffer = FrameCodec::pack(address, payload);
        QCOMPARE(buffer, frameFor(address, payload));
        const UnpackResult result = FrameCodec::unpack(buffer, address);
        QCOMPARE(int(result.status), int(UnpackOk));
        QCOMPARE(result.payload, payload);
        QVERIFY(buffer.isEmpty());
    }
}

// Whatever a peer sends, a payload comes back only when exactly the frame for
// it arrived, and only bytes at the head of the buffer are consumed.
void TestFrameCodec::randomBytesNeverYieldAnUnsoundPayload()
{
    QRandomGenerator rng(2024);
    const QByteArray mark = hex("fe45ff54");
    int framesFound = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray input;
        const int pieces = int(rng.bounded(1, 5));
        for (int p = 0; p < pieces; ++p) {
            switch (rng.bounded(4)) {
            case 0: {
                QByteArray noise(int(rng.bounded(20)), Qt::Uninitialized);
                for (char& c : noise)
                    c = char(rng.bounded(256));
                input += noise;
                break;
            }
            case 1:
                input += mark + QByteArray(int(rng.bounded(12)), char(rng.bounded(256)));
                break;
            default: {
                QByteArray frame = frameFor(uint8_t(rng.bounded(3)), QByteArray(int(rng.bounded(8)), 'x'));
                if (rng.bounded(3) == 0)
                    frame[int(rng.bounded(frame.size()))] = char(rng.bounded(256));
                if (rng.bounded(4) == 0)
                    frame.chop(int(rng.bounded(1, frame.size())));
                input += frame;
                break;
            }
            }
        }

        QByteArray buffer = input;
        for (int step = 0; step < 10 && !buffer.isEmpty(); ++step) {
            const QByteArray before = buffer;
            const UnpackResult result = FrameCodec::unpack(buffer, 1);
            QVERIFY(result.status >= UnpackOk && result.status <= UnpackForeignAddress);
            QVERIFY(before.endsWith(buffer));
            if (result.status != UnpackOk) {
                QVERIFY(result.payload.isEmpty());
                if (result.status == UnpackIncomplete)
                    break;
                continue;
            }
            ++framesFound;
            const QByteArray consumed = before.left(before.size() - buffer.size());
            QVERIFY(consumed.endsWith(frameFor(1, result.payload)));
        }
    }
    QVERIFY(framesFound > 100);
}

void TestFrameCodec::discardJunk_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("left");

    QTest::newRow("junk ending in part of a mark") << hex("0102030405fe45ff") << hex("fe45ff");
    QTest::newRow("plain junk keeps three") << hex("0102030405") << hex("030405");
    QTest::newRow("mark present") << hex("0102fe45ff5401") << hex("0102fe45ff5401");
    QTest::newRow("too short to judge") << hex("0102fe") << hex("0102fe");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TestFrameCodec::discardJunk()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, left);
    const int before = buffer.size();
    QCOMPARE(FrameCodec::discardJunk(buffer), before - left.size());
    QCOMPARE(buffer.toHex(' '), left.toHex(' '));
}

// Feeding a stream in random chunks, the reader that discards junk after each
// chunk sees exactly what the reader that keeps everything sees.
void TestFrameCodec::discardingJunkNeverChangesWhatUnpackFinds()
{
    QRandomGenerator rng(31337);
    const QByteArray mark = hex("fe45ff54");
    for (int round = 0; round < 500; ++round) {
        QByteArray stream;
        for (int p = 0; p < 6; ++p) {
            QByteArray noise(int(rng.bounded(40)), Qt::Uninitialized);
            for (char& c : noise)
                c = char(rng.bounded(4) == 0 ? mark.at(int(rng.bounded(4))) : char(rng.bounded(256)));
            stream += noise;
            stream += frameFor(uint8_t(rng.bounded(2)), QByteArray(int(rng.bounded(6)), 'p'));
        }

        QByteArray keeping, trimming;
        QList<QByteArray> foundKeeping, foundTrimming;
        int at = 0;
        while (at < stream.size()) {
            const int n = int(rng.bounded(1, 9));
            keeping += stream.mid(at, n);
            trimming += stream.mid(at, n);
            at += n;
            for (;;) {
                const UnpackResult r = FrameCodec::unpack(keeping, 1);
                if (r.status == UnpackIncomplete)
                    break;
                foundKeeping << QByteArray::number(r.status) + ':' + r.payload;
            }
            for (;;) {
                const UnpackResult r = FrameCodec::unpack(trimming, 1);
                if (r.status == UnpackIncomplete)
                    break;
                foundTrimming << QByteArray::number(r.status) + ':' + r.payload;
            }
            FrameCodec::discardJunk(trimming);
            QVERIFY(keeping.endsWith(trimming));
        }
        QCOMPARE(foundTrimming, foundKeeping);
        QVERIFY(!foundKeeping.isEmpty());
    }
}

void TestFrameCodec::frameAddressOfTheFirstFrame_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<int>("address"); // -1: not known yet

    QTest::newRow("address bytes in, after junk") << hex("0102fe45ff540501") << 0x0105;
    QTest::newRow("one address byte") << hex("fe45ff5405") << -1;
    // The first frame decides, not a mark inside its payload.
    QTest::newRow("mark in the payload") << frameFor(3, hex("fe45ff540900")) << 3;
}

void TestFrameCodec::frameAddressOfTheFirstFrame()
{
    QFETCH(QByteArray, buffer);
    QFETCH(int, address);
    QCOMPARE(int(FrameCodec::frameAddress(buffer).value_or(uint32_t(-1))), address);
}

QTEST_APPLESS_MAIN(TestFrameCodec)
#include "tst_framecodec.moc"
