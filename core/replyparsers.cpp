#include "replyparsers.h"

#include "commandset.h"

#include <QtEndian>

QString replyText(const QByteArray& reply, int lengthIndex)
{
    if (lengthIndex < 0 || lengthIndex >= reply.size())
        return QString();
    const int declared = quint8(reply.at(lengthIndex));
    const int available = reply.size() - lengthIndex - 1;
    const int n = qMin(declared, available);
    if (n <= 0)
        return QString();
    return QString::fromLatin1(reply.constData() + lengthIndex + 1, n).trimmed();
}

namespace {
bool acknowledged(const QByteArray& reply, int minLength)
{
    return reply.size() >= minLength && quint8(reply.at(0)) == Command::ReplyAck;
}
} // namespace

std::optional<QString> parseFirmwareVersionReply(const QByteArray& reply)
{
    if (!acknowledged(reply, 2))
        return std::nullopt;
    return replyText(reply, 1);
}

std::optional<DeviceStatus> parseDeviceStatusReply(const QByteArray& reply)
{
    if (!acknowledged(reply, 3))
        return std::nullopt;
    DeviceStatus status;
    status.mode = quint8(reply.at(1));
    status.bootloaderVersion = replyText(reply, 2);
    return status;
}

std::optional<quint16> parseBoardVersionReply(const QByteArray& reply)
{
    if (!acknowledged(reply, 3))
        return std::nullopt;
    return qFromLittleEndian<quint16>(reply.constData() + 1);
}

std::optional<quint32> parseStatusReply(const QByteArray& reply)
{
    if (reply.size() <= 4)
        return std::nullopt;
    const quint8 lead = quint8(reply.at(0));
    if (lead != Command::ReplyAck && lead != Command::ReplyStatus)
        return std::nullopt;
    return qFromLittleEndian<quint32>(reply.constData() + 1);
}

std::optional<qint32> parseErrorCodeReply(const QByteArray& reply)
{
    const auto code = parseStatusReply(reply);
    if (!code)
        return std::nullopt;
    return qint32(*code);
}
