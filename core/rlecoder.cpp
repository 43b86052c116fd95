#include "rlecoder.h"

#include <QtEndian>

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

// Pending bytes [from, to) as literal tokens of at most 243 bytes.
void appendLiterals(QByteArray& out, const QByteArray& image, int from, int to)
{
    while (from < to) {
        const int count = qMin(RleMaxLiteral, to - from);
        appendHeader(out, quint32(count));
        out.append(image.constData() + from, count);
        from += count;
    }
}

quint32 headerAt(const QByteArray& stream, int p)
{
    return quint32(quint8(stream.at(p))) | quint32(quint8(stream.at(p + 1))) << 8
        | quint32(quint8(stream.at(p + 2))) << 16;
}

} // namespace

QByteArray rleEncode(const QByteArray& image)
{
    const int n = image.size();
    QByteArray out;
    out.reserve(LengthSize + n + n / RleMaxLiteral * HeaderSize + HeaderSize);
    char length[LengthSize];
    qToLittleEndian(quint32(n), length);
    out.append(length, LengthSize);

    int i = 0;
    int lit = 0;
    while (i < n) {
        const char v = image.at(i);
        int run = 1;
        if (i + 1 < n) {
            while (i + run < n && run < RleMaxRun && image.at(i + run) == v)
                ++run;
        }
        if (i + 1 < n && run >= 4) {
            appendLiterals(out, image, lit, i);
            appendHeader(out, RunFlag | quint32(run));
            out.append(v);
            i += run;
            lit = i;
        } else {
            ++i;
            if (i - lit >= RleMaxLiteral) {
                appendLiterals(out, image, lit, lit + RleMaxLiteral);
                lit += RleMaxLiteral;
            }
        }
    }
    appendLiterals(out, image, lit, n);
    return out;
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
