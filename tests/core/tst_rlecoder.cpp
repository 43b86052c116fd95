// The run-length coder and the packet cutter. Round trips go through a decoder
// written here from the stream format alone, so a fault shared by encoder and
// cutter cannot hide.

#include "rlecoder.h"
#include "referenceframes.h"

#include <QRandomGenerator>
#include <QtTest>

#include <optional>

namespace {

struct Token
{
    bool run;
    int count;
};

// Decodes a whole stream; nothing for anything that breaks the format.
std::optional<QByteArray> decode(const QByteArray& stream, QList<Token>* tokens = nullptr)
{
    if (stream.size() < 4)
        return std::nullopt;
    const auto byte = [&](int i) { return quint32(quint8(stream.at(i))); };
    const quint32 length = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
    QByteArray out;
    int p = 4;
    while (p < stream.size()) {
        if (p + 3 > stream.size())
            return std::nullopt;
        const quint32 header = byte(p) | byte(p + 1) << 8 | byte(p + 2) << 16;
        p += 3;
        if (header & 0x800000) {
            const int count = int(header & 0x7FFFFF);
            if (count < 4 || count > 32768 || p >= stream.size())
                return std::nullopt;
            out.append(QByteArray(count, stream.at(p)));
            p += 1;
            if (tokens)
                tokens->append({ true, count });
        } else {
            const int count = int(header);
            if (count < 1 || count > 243 || p + count > stream.size())
                return std::nullopt;
            out.append(stream.mid(p, count));
            p += count;
            if (tokens)
                tokens->append({ false, count });
        }
    }
    if (quint32(out.size()) != length)
        return std::nullopt;
    return out;
}

// Length of the longest stretch of equal bytes.
int longestRun(const QByteArray& bytes)
{
    int best = 0;
    int current = 0;
    for (int i = 0; i < bytes.size(); ++i) {
        current = (i > 0 && bytes.at(i) == bytes.at(i - 1)) ? current + 1 : 1;
        best = qMax(best, current);
    }
    return best;
}

QByteArray randomBytes(int size, quint32 seed, int alphabet = 256)
{
    QRandomGenerator rng(seed);
    QByteArray out(size, '\0');
    for (int i = 0; i < size; ++i)
        out[i] = char(rng.bounded(alphabet));
    return out;
}

// Bytes that never repeat their neighbour.
QByteArray distinctBytes(int size)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out.append(char(i % 251));
    return out;
}

QByteArray lengthField(quint32 n)
{
    QByteArray out;
    for (int i = 0; i < 4; ++i)
        out.append(char((n >> (8 * i)) & 0xFF));
    return out;
}

QByteArray literalToken(const QByteArray& bytes)
{
    const int n = bytes.size();
    return QByteArray(1, char(n & 0xFF)) + char((n >> 8) & 0xFF) + char((n >> 16) & 0xFF) + bytes;
}

QByteArray runToken(int count, char value)
{
    return QByteArray(1, char(count & 0xFF)) + char((count >> 8) & 0xFF) + char(((count >> 16) & 0x7F) | 0x80)
        + value;
}

} // namespace

class TestRleCoder : public QObject
{
    Q_OBJECT

private slots:
    void twelveByteExample();
    void roundTrip_data();
    void roundTrip();
    void shortRunsStayLiteral_data();
    void shortRunsStayLiteral();
    void seventyThousandZerosTravelInThreePackets();
    void emptyImageIsOnePacketOfItsLength();
    void packetsFillToExactlyTheLimit();
    void packetStopsAtRawLimit();
    void malformedStreamsGiveNoPackets_data();
    void malformedStreamsGiveNoPackets();
};

void TestRleCoder::twelveByteExample()
{
    const QByteArray image = hex("41 41 41 41 41 42 43 00 00 00 00 44");
    const QByteArray stream = rleEncode(image);
    QCOMPARE(stream, hex("0c000000 050080 41 020000 4243 040080 00 010000 44"));
    const QList<RlePacket> packets = splitRlePackets(stream, 250, 32768);
    QCOMPARE(packets.size(), 1);
    QCOMPARE(packets.first().bytes, stream);
    QCOMPARE(packets.first().rawCount, 12);
}

void TestRleCoder::roundTrip_data()
{
    QTest::addColumn<QByteArray>("image");

    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << hex("7f");
    QTest::newRow("two equal bytes") << hex("0505");
    QTest::newRow("run of 3") << QByteArray(3, 'a');
    QTest::newRow("run of 4") << QByteArray(4, 'a');
    QTest::newRow("run of 4 at the end") << hex("01 02") + QByteArray(4, '\xff');
    QTest::newRow("run of 3 at the end") << hex("01 02") + QByteArray(3, '\xff');
    QTest::newRow("run of 32768") << QByteArray(32768, '\xff');
    QTest::newRow("run of 32769") << QByteArray(32769, '\xff');
    QTest::newRow("run of 32772") << QByteArray(32772, '\x00');
    QTest::newRow("run of 65536 plus 3") << QByteArray(65539, '\x11');
    QTest::newRow("literal of 243") << distinctBytes(243);
    QTest::newRow("literal of 244") << distinctBytes(244);
    QTest::newRow("literal of 486") << distinctBytes(486);
    QTest::newRow("literal of 243 then run") << distinctBytes(243) + QByteArray(10, 'z');
    QTest::newRow("alternating") << QByteArray(5000, '\0').replace(QByteArray(2, '\0'), hex("aa55"));
    QTest::newRow("all 0xFF, 64 KiB") << QByteArray(65536, '\xff');
    QTest::newRow("runs of 3 everywhere") << QByteArray(3000, '\0').replace(QByteArray(4, '\0'), "xxxy");
    QTest::newRow("random") << randomBytes(20000, 1);
    QTest::newRow("random, few values") << randomBytes(20000, 2, 3);
    QTest::newRow("random, two values") << randomBytes(50000, 3, 2);
    QByteArray mixed;
    QRandomGenerator rng(4);
    while (mixed.size() < 100000) {
        if (rng.bounded(2))
            mixed += QByteArray(int(rng.bounded(1, 40000)), char(rng.bounded(256)));
        else
            mixed += randomBytes(int(rng.bounded(1, 600)), rng.generate());
    }
    QTest::newRow("random runs and literals") << mixed;
}

void TestRleCoder::roundTrip()
{
    QFETCH(QByteArray, image);
    const QByteArray stream = rleEncode(image);
    QList<Token> tokens;
    const auto decoded = decode(stream, &tokens);
    QVERIFY(decoded.has_value());
    QCOMPARE(*decoded, image);

    // Runs of four or more never hide in a literal.
    int offset = 4;
    for (const Token& token : tokens) {
        if (!token.run)
            QVERIFY(longestRun(stream.mid(offset + 3, token.count)) < 4);
        offset += 3 + (token.run ? 1 : token.count);
    }

    const QList<RlePacket> packets = splitRlePackets(stream, 250, 32768);
    QVERIFY(!packets.isEmpty());
    QByteArray joined;
    qint64 raw = 0;
    for (int i = 0; i < packets.size(); ++i) {
        const RlePacket& packet = packets.at(i);
        QVERIFY(packet.bytes.size() <= 250);
        QVERIFY(packet.rawCount <= 32768);
        // Each packet is whole tokens: prefix it with a length and it decodes alone.
        const QByteArray tokensOnly = i == 0 ? packet.bytes.mid(4) : packet.bytes;
        const auto part = decode(lengthField(quint32(packet.rawCount)) + tokensOnly);
        QVERIFY(part.has_value());
        QCOMPARE(image.mid(int(raw), packet.rawCount), *part);
        joined += packet.bytes;
        raw += packet.rawCount;
    }
    QCOMPARE(joined, stream);
    QCOMPARE(raw, qint64(image.size()));
    QCOMPARE(packets.first().bytes.left(4), lengthField(quint32(image.size())));

    // Cutting while encoding gives the same packets as cutting the stream,
    // also with limits the stream cannot always meet; a short keep only
    // drops the tail, never the count.
    const QList<QPair<int, int>> limits { { 250, 32768 }, { 60, 1000 }, { 8, 4 }, { 4, 32768 }, { 250, 0 } };
    for (const auto& [maxPacket, maxRaw] : limits) {
        const QList<RlePacket> cut = splitRlePackets(stream, maxPacket, maxRaw);
        qint64 count = -1;
        const QList<RlePacket> made = rleEncodePackets(image, maxPacket, maxRaw, 3, &count);
        QCOMPARE(count, qint64(cut.size()));
        QCOMPARE(made.size(), qMin(3, cut.size()));
        for (int i = 0; i < made.size(); ++i) {
            QCOMPARE(made.at(i).bytes, cut.at(i).bytes);
            QCOMPARE(made.at(i).rawCount, cut.at(i).rawCount);
        }
    }
}

void TestRleCoder::shortRunsStayLiteral_data()
{
    QTest::addColumn<QByteArray>("image");
    QTest::addColumn<QByteArray>("stream");
    QTest::newRow("run of 3") << hex("09 09 09") << hex("03000000 030000 090909");
    QTest::newRow("run of 4") << hex("09 09 09 09") << hex("04000000 040080 09");
    QTest::newRow("run of 32769") << QByteArray(32769, '\x07') << hex("01800000 008080 07 010000 07");
    QTest::newRow("literal of 244") << distinctBytes(244)
                                    << hex("f4000000 f30000") + distinctBytes(243) + hex("010000") + distinctBytes(244).right(1);
}

void TestRleCoder::shortRunsStayLiteral()
{
    QFETCH(QByteArray, image);
    QFETCH(QByteArray, stream);
    QCOMPARE(rleEncode(image), stream);
}

void TestRleCoder::seventyThousandZerosTravelInThreePackets()
{
    const QByteArray stream = rleEncode(QByteArray(70000, '\0'));
    QCOMPARE(stream, hex("70110100 008080 00 008080 00 701180 00"));
    const QList<RlePacket> packets = splitRlePackets(stream, 250, 32768);
    QCOMPARE(packets.size(), 3);
    QCOMPARE(packets.at(0).bytes, hex("70110100 008080 00"));
    QCOMPARE(packets.at(0).rawCount, 32768);
    QCOMPARE(packets.at(1).bytes, hex("008080 00"));
    QCOMPARE(packets.at(1).rawCount, 32768);
    QCOMPARE(packets.at(2).bytes, hex("701180 00"));
    QCOMPARE(packets.at(2).rawCount, 4464);
}

void TestRleCoder::emptyImageIsOnePacketOfItsLength()
{
    const QByteArray stream = rleEncode(QByteArray());
    QCOMPARE(stream, hex("00000000"));
    const QList<RlePacket> packets = splitRlePackets(stream, 250, 32768);
    QCOMPARE(packets.size(), 1);
    QCOMPARE(packets.first().bytes, stream);
    QCOMPARE(packets.first().rawCount, 0);
}

void TestRleCoder::packetsFillToExactlyTheLimit()
{
    // Length (4) and a 243-byte literal (246) make exactly 250 bytes.
    const QList<RlePacket> one = splitRlePackets(rleEncode(distinctBytes(243)), 250, 32768);
    QCOMPARE(one.size(), 1);
    QCOMPARE(one.first().bytes.size(), 250);

    const QList<RlePacket> two = splitRlePackets(rleEncode(distinctBytes(244)), 250, 32768);
    QCOMPARE(two.size(), 2);
    QCOMPARE(two.at(0).bytes.size(), 250);
    QCOMPARE(two.at(0).rawCount, 243);
    QCOMPARE(two.at(1).bytes.size(), 4);
    QCOMPARE(two.at(1).rawCount, 1);

    // Run tokens of 4 bytes: 61 of them fill a later packet to 244, a 62nd to 248.
    QByteArray runs;
    for (int i = 0; i < 200; ++i)
        runs += QByteArray(4, char(i % 2 ? 'a' : 'b'));
    const QList<RlePacket> packets = splitRlePackets(rleEncode(runs), 250, 32768);
    QCOMPARE(packets.size(), 4);
    QCOMPARE(packets.at(0).bytes.size(), 4 + 61 * 4);
    QCOMPARE(packets.at(1).bytes.size(), 62 * 4);
    QCOMPARE(packets.at(2).bytes.size(), 62 * 4);
    QCOMPARE(packets.at(3).bytes.size(), 15 * 4);
}

void TestRleCoder::packetStopsAtRawLimit()
{
    // Runs of 6, 4 and 5 with a limit of 10 raw bytes: 6 + 4 fills the first
    // packet exactly, 5 starts the next.
    const QByteArray stream = lengthField(15) + runToken(6, 'a') + runToken(4, 'b') + runToken(5, 'c');
    const QList<RlePacket> packets = splitRlePackets(stream, 250, 10);
    QCOMPARE(packets.size(), 2);
    QCOMPARE(packets.at(0).rawCount, 10);
    QCOMPARE(packets.at(0).bytes, lengthField(15) + runToken(6, 'a') + runToken(4, 'b'));
    QCOMPARE(packets.at(1).rawCount, 5);
    QCOMPARE(packets.at(1).bytes, runToken(5, 'c'));

    // The same with room for 8 bytes per packet: the length leaves room for one run.
    const QList<RlePacket> small = splitRlePackets(stream, 8, 100);
    QCOMPARE(small.size(), 2);
    QCOMPARE(small.at(0).bytes, lengthField(15) + runToken(6, 'a'));
    QCOMPARE(small.at(1).bytes, runToken(4, 'b') + runToken(5, 'c'));
    QCOMPARE(small.at(1).rawCount, 9);
}

void TestRleCoder::malformedStreamsGiveNoPackets_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<int>("maxPacket");
    QTest::addColumn<int>("maxRaw");

    const QByteArray good = lengthField(5) + literalToken("hello");
    QTest::newRow("well-formed reference") << good << -1 << -1; // must give packets
    QTest::newRow("empty") << QByteArray() << 250 << 32768;
    QTest::newRow("length cut short") << hex("050000") << 250 << 32768;
    QTest::newRow("packet too small") << good << 4 << 32768;
    QTest::newRow("no raw room") << good << 250 << 0;
    QTest::newRow("header cut short") << lengthField(5) + hex("0500") << 250 << 32768;
    QTest::newRow("literal of 0") << lengthField(0) + hex("000000") << 250 << 32768;
    QTest::newRow("run of 0") << lengthField(0) + hex("000080 41") << 250 << 32768;
    QTest::newRow("run without its byte") << lengthField(5) + hex("050080") << 250 << 32768;
    QTest::newRow("literal past the end") << lengthField(5) + hex("050000 68656c6c") << 250 << 32768;
    QTest::newRow("run above the raw limit") << lengthField(32769) + runToken(32769, 'x') << 250 << 32768;
    QTest::newRow("huge run") << lengthField(0x7FFFFF) + hex("ffffff 00") << 250 << 32768;
    QTest::newRow("literal too big for any packet") << lengthField(248) + literalToken(distinctBytes(248)) << 250
                                                    << 32768;
    QTest::newRow("literal too big for the first packet") << lengthField(244) + literalToken(distinctBytes(244))
                                                          << 250 << 32768;
    QTest::newRow("tokens short of the length") << lengthField(6) + literalToken("hello") << 250 << 32768;
    QTest::newRow("tokens beyond the length") << lengthField(4) + literalToken("hello") << 250 << 32768;
    QTest::newRow("trailing byte") << good + hex("01") << 250 << 32768;
}

void TestRleCoder::malformedStreamsGiveNoPackets()
{
    QFETCH(QByteArray, stream);
    QFETCH(int, maxPacket);
    QFETCH(int, maxRaw);
    if (maxPacket < 0) {
        QCOMPARE(splitRlePackets(stream, 250, 32768).size(), 1);
        return;
    }
    QVERIFY(splitRlePackets(stream, maxPacket, maxRaw).isEmpty());
}

QTEST_GUILESS_MAIN(TestRleCoder)
#include "tst_rlecoder.moc"
