#include "rlecoder.h"

#include <QtEndian>

#include <limits>

namespace {

constexpr quint32 RunFlag = 0x800000;
constexpr int HeaderSize = 3;
constexpr int LengthSize = 4;

void appendHeader(QByteArray& out, quint32 header)
{
    out.append(char(header & 0xFF));
    out.append(char((header >> 8) & 0xFF));
    out.append(char((header >> 16) & 0xFF));
}

quint32 headerAt(const QByteArray& stream, int p)
{
    return quint32(quint8(stream.at(p))) | quint32(quint8(stream.at(p + 1))) << 8
        | quint32(quint8(stream.at(p + 2))) << 16;
}

// Walks `image` and hands each token to `token(run, count, bytes)` in stream
// order: for a run `bytes` points at the repeated byte, for a literal at its
// `count` bytes. One walk serves the whole stream and the packet cutter, so
// the two can never disagree.
template <typename TokenSink>
void forEachToken(const QByteArray& image, TokenSink&& token)
{
    const int n = image.size();
    const char* data = image.constData();
    const auto literals = [&](int from, int to) {
        while (from < to) {
            const int count = qMin(RleMaxLiteral, to - from);
            token(false, count, data + from);
            from += count;
        }
    };
    int i = 0;
    int lit = 0;
    while (i < n) {
        const char v = data[i];
        int run = 1;
        if (i + 1 < n) {
            while (i + run < n && run < RleMaxRun && data[i + run] == v)
                ++run;
        }
        if (i + 1 < n && run >= 4) {
            literals(lit, i);
            token(true, run, data + i);
            i += run;
            lit = i;
        } else {
            ++i;
            if (i - lit >= RleMaxLiteral) {
                literals(lit, lit + RleMaxLiteral);
                lit += RleMaxLiteral;
            }
        }
    }
    literals(lit, n);
}

QByteArray lengthField(int imageSize)
{
    char length[LengthSize];
    qToLittleEndian(quint32(imageSize), length);
    return QByteArray(length, LengthSize);
}

} // namespace

QByteArray rleEncode(const QByteArray& image)
{
    // The estimate is worked out in 64 bits (near 2 GB of image it passes
    // what an int holds) and only ever a hint; planning never builds the
    // whole stream.
    const qint64 n = image.size();
    const qint64 expected = LengthSize + n + n / RleMaxLiteral * HeaderSize + HeaderSize;
    QByteArray out = lengthField(image.size());
    out.reserve(int(qMin<qint64>(expected, std::numeric_limits<int>::max() / 2)));
    forEachToken(image, [&out](bool run, int count, const char* bytes) {
        appendHeader(out, run ? RunFlag | quint32(count) : quint32(count));
        out.append(bytes, run ? 1 : count);
    });
    return out;
}

QList<RlePacket> rleEncodePackets(const QByteArray& image, int maxPacket, int maxRaw, int keep, qint64* count)
{
    QList<RlePacket> packets;
    qint64 total = 0;
    if (count)
        *count = 0;
    if (maxPacket <= LengthSize || maxRaw <= 0)
        return packets;

    // Only the packet being filled and the kept ones are in memory; packets
    // past `keep` are counted and dropped.
    RlePacket packet { lengthField(image.size()), 0 };
    int room = maxPacket - LengthSize;
    bool holdsToken = false;
    bool unencodable = false;
    const auto close = [&] {
        if (total < keep)
            packets.append(packet);
        ++total;
    };
    forEachToken(image, [&](bool run, int tokenCount, const char* bytes) {
        if (unencodable)
            return;
        const int tokenSize = HeaderSize + (run ? 1 : tokenCount);
        if (tokenSize > room || packet.rawCount + tokenCount > maxRaw) {
            if (!holdsToken || tokenSize > maxPacket || tokenCount > maxRaw) {
                unencodable = true;
                return;
            }
            close();
            packet = RlePacket();
            room = maxPacket;
            holdsToken = false;
        }
        appendHeader(packet.bytes, run ? RunFlag | quint32(tokenCount) : quint32(tokenCount));
        packet.bytes.append(bytes, run ? 1 : tokenCount);
        packet.rawCount += tokenCount;
        room -= tokenSize;
        holdsToken = true;
    });
    if (unencodable)
        return {};
    close();
    if (count)
        *count = total;
    return packets;
}

QList<RlePacket> splitRlePackets(const QByteArray& stream, int maxPacket, int maxRaw)
{
    // A truncated length field is as malformed as a truncated token: the board
    // would take a wrong image size.
    if (stream.size() < LengthSize || maxPacket <= LengthSize || maxRaw <= 0)
        return {};

    const quint32 declared = qFromLittleEndian<quint32>(stream.constData());
    const int size = stream.size();
    QList<RlePacket> packets;
    qint64 total = 0;
    int p = 0;
    while (p < size) {
        RlePacket packet;
        int room = maxPacket;
        bool holdsToken = false;
        if (packets.isEmpty()) {
            packet.bytes = stream.left(LengthSize);
            room -= LengthSize;
            p = LengthSize;
        }
        while (p < size) {
            if (size - p < HeaderSize)
                return {};
            const quint32 header = headerAt(stream, p);
            const bool isRun = (header & RunFlag) != 0;
            const int count = int(header & ~RunFlag);
            if (count == 0)
                return {};
            const int tokenSize = isRun ? HeaderSize + 1 : HeaderSize + count;
            if (tokenSize > size - p)
                return {};
            if (tokenSize > room || packet.rawCount + count > maxRaw) {
                // A token that does not fit even a packet without tokens would
                // have to be split or sent oversize: neither is allowed.
                if (!holdsToken)
                    return {};
                break;
            }
            packet.bytes.append(stream.constData() + p, tokenSize);
            room -= tokenSize;
            packet.rawCount += count;
            holdsToken = true;
            p += tokenSize;
        }
        total += packet.rawCount;
        packets.append(packet);
    }
    if (total != qint64(declared))
        return {};
    return packets;
}
