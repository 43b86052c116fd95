#pragma once

#include <QByteArray>
#include <QtGlobal>

// The two RS-485 records as the board keeps them, written out here on their
// own (not through the program's encoder) so tests compare against an
// independent account of the layout. Numbers are little-endian.
namespace Rs485Records {

QByteArray le(quint32 value, int width);

// One port's 28 bytes. `carried` holds byte 21, then bytes 25 to 27: the bytes
// the program must hand back as it read them.
QByteArray portRecord(quint32 baud, quint32 wordLength, quint32 stopBits, quint32 parity, quint8 modbusAddress,
                      quint8 modbusEnabled, const QByteArray& carried = QByteArray(4, '\0'));

// One port's 24 protocol bytes with IEC101 on.
QByteArray iec101Record(quint16 linkAddress, quint8 linkAddressLength, quint8 originatorAddress,
                        quint8 stationAddressLength, quint8 objectAddressLength, quint16 commonAddress,
                        quint32 clockSyncPeriod, quint8 giTime);

// One port's 24 protocol bytes with IEC101 off.
QByteArray noIec101Record();

} // namespace Rs485Records
