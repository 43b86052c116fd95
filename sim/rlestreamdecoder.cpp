#include "rlestreamdecoder.h"

#include <limits>

namespace {

constexpr quint32 RunFlag = 0x800000u;

quint32 uint24At(const QByteArray& bytes, int at)
{
    return quint32(quint8(bytes.at(at))) | (quint32(quint8(bytes.at(at + 1))) << 8)
        | (quint32(quint8(bytes.at(at + 2))) << 16);
}

quint32 uint32At(const QByteArray& bytes, int at)
{
    return uint24At(bytes, at) | (quint32(quint8(bytes.at(at + 3))) << 24);
}

void setDetail(QString* detail, const QString& text)
{
    if (detail)
        *detail = text;
}

} // namespace

RleStreamDecoder::RleStreamDecoder(quint32 maxImageSize)
    : maxImage(maxImageSize)
{
}

void RleStreamDecoder::reset()
{
    hasLength = false;
    declared = 0;
    image.clear();
}

RleStreamDecoder::Result RleStreamDecoder::feedPacket(const QByteArray& packet, bool first, bool last, QString* detail)
{
    int from = 0;
    quint32 length = declared;
    if (first) {
        if (packet.size() < 4) {
            setDetail(detail, QStringLiteral("first packet holds no image length"));
            return Malformed;
        }
        length = uint32At(packet, 0);
        if (length > maxImage) {
            setDetail(detail, QStringLiteral("declared image of %1 bytes exceeds %2").arg(length).arg(maxImage));
            return TooLarge;
        }
        from = 4;
    } else {
        if (!hasLength) {
            setDetail(detail, QStringLiteral("stream continued before it started"));
            return Malformed;
        }
        if (packet.isEmpty()) {
            setDetail(detail, QStringLiteral("empty packet"));
            return Malformed;
        }
    }

    const quint32 already = first ? 0 : quint32(image.size());
    QByteArray out;
    const Result result = decodeTokens(packet, from, length - already, maxPacketRaw, out, detail);
    if (result != Ok)
        return result;
    if (last && already + quint32(out.size()) != length) {
        setDetail(detail, QStringLiteral("stream ends after %1 of %2 bytes").arg(already + out.size()).arg(length));
        return Malformed;
    }

    if (first) {
        hasLength = true;
        declared = length;
        image = out;
    } else {
        image.append(out);
    }
    return Ok;
}

RleStreamDecoder::Result RleStreamDecoder::decodeAll(const QByteArray& stream, QByteArray* image, QString* detail)
{
    if (stream.size() < 4) {
        setDetail(detail, QStringLiteral("stream holds no image length"));
        return Malformed;
    }
    const quint32 length = uint32At(stream, 0);
    RleStreamDecoder decoder;
    QByteArray out;
    const Result result = decoder.decodeTokens(stream, 4, length, std::numeric_limits<int>::max(), out, detail);
    if (result != Ok)
        return result;
    if (quint32(out.size()) != length) {
        setDetail(detail, QStringLiteral("stream ends after %1 of %2 bytes").arg(out.size()).arg(length));
        return Malformed;
    }
    if (image)
        *image = out;
    return Ok;
}

RleStreamDecoder::Result RleStreamDecoder::decodeTokens(const QByteArray& packet, int from, quint32 budget,
                                                        int maxRaw, QByteArray& out, QString* detail) const
{
    qint64 raw = 0;
    int p = from;
    while (p < packet.size()) {
        if (packet.size() - p < 3) {
            setDetail(detail, QStringLiteral("token header cut at offset %1").arg(p));
            return Malformed;
        }
        const quint32 header = uint24At(packet, p);
        const quint32 count = header & ~RunFlag;
        const bool run = header & RunFlag;
        if (run) {
            if (count < 4 || count > quint32(maxRunCount)) {
                setDetail(detail, QStringLiteral("run of %1 at offset %2").arg(count).arg(p));
                return Malformed;
            }
            if (packet.size() - p < 4) {
                setDetail(detail, QStringLiteral("run value cut at offset %1").arg(p));
                return Malformed;
            }
        } else {
            if (count < 1 || count > quint32(maxLiteralCount)) {
                setDetail(detail, QStringLiteral("literal of %1 at offset %2").arg(count).arg(p));
                return Malformed;
            }
            if (qint64(packet.size()) - p - 3 < qint64(count)) {
                setDetail(detail, QStringLiteral("literal of %1 cut at offset %2").arg(count).arg(p));
                return Malformed;
            }
        }
        raw += count;
        if (raw > maxRaw) {
            setDetail(detail, QStringLiteral("packet expands to more than %1 bytes").arg(maxRaw));
            return Malformed;
        }
        if (quint64(out.size()) + count > budget) {
            setDetail(detail, QStringLiteral("stream runs past its declared length"));
            return Malformed;
        }
        if (run) {
            out.append(int(count), packet.at(p + 3));
            p += 4;
        } else {
            out.append(packet.constData() + p + 3, int(count));
            p += 3 + int(count);
        }
    }
    return Ok;
}
