#include "rs485records.h"

namespace Rs485Records {

QByteArray le(quint32 value, int width)
{
    QByteArray bytes;
    for (int i = 0; i < width; ++i)
        bytes.append(char((value >> (8 * i)) & 0xFF));
    return bytes;
}

QByteArray portRecord(quint32 baud, quint32 wordLength, quint32 stopBits, quint32 parity, quint8 modbusAddress,
                      quint8 modbusEnabled, const QByteArray& carried)
{
    const QByteArray kept = carried.leftJustified(4, '\0', true);
    return le(baud, 4) + le(wordLength, 4) + le(stopBits, 4) + le(parity, 4) + le(0, 4) + char(modbusAddress)
        + kept.at(0) + le(1000, 2) + char(modbusEnabled) + kept.mid(1, 3);
}

QByteArray iec101Record(quint16 linkAddress, quint8 linkAddressLength, quint8 originatorAddress,
                        quint8 stationAddressLength, quint8 objectAddressLength, quint16 commonAddress,
                        quint32 clockSyncPeriod, quint8 giTime)
{
    return le(linkAddress, 2) + char(linkAddressLength) + char(originatorAddress) + char(stationAddressLength)
        + char(objectAddressLength) + le(commonAddress, 2) + le(clockSyncPeriod, 4) + char(giTime) + char(1)
        + QByteArray(10, '\0');
}

QByteArray noIec101Record()
{
    return QByteArray(24, '\0');
}

} // namespace Rs485Records
