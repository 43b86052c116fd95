#pragma once

#include "configblocks.h"

#include <QString>

// The mapping between the rows of an RS-485 port table and the two records of
// the port, without any widget: the window reads its cells into these structs
// and back, the command-line tool fills them from its arguments.

// Row texts of one port table as the technician sees them.
struct Rs485PortFields
{
    QString baudRate;      // "Скорость": any unsigned decimal other than 0
    QString dataBits;      // "Биты данных": "8" or "9"
    QString parity;        // "Четность": "None", "Even" or "Odd"
    QString stopBits;      // "Стоповые биты": "1" or "2"
    QString protocol;      // "Протокол": "нет", "ModBusRTU" or "IEC101"
    QString modbusAddress; // row "Адрес устройства" of ModBusRTU; null when the row has no item
};

// Fills `port` from the rows, leaving its carried bytes as they are. Fails, and
// leaves `port` untouched, when the baud rate is not a non-zero unsigned
// decimal number.
//
// With `shown` (the record the table was filled from), a row that still
// shows what describeRs485Port(*shown) gave keeps that record's value as it
// is: a board value nobody changed goes back exactly, even one no row can
// show (baud 0, parity 0x200, ModBus address 250).
bool fillRs485Port(Rs485PortParams& port, const Rs485PortFields& fields, const Rs485PortParams* shown = nullptr);

// The ModBus address to store: 0 to 247 as typed; a negative number, one above
// 247, an unreadable text or no text gives 1.
quint8 modbusAddressFromText(const QString& text);

// What a port table shows for `port`. `protocol` is "ModBusRTU" when the port
// has ModBus on and empty otherwise (the table then keeps its protocol row).
Rs485PortFields describeRs485Port(const Rs485PortParams& port);

// Rows of the IEC101 part of a port table. A combo index of -1 stands for a
// missing editor (its field then stays 0); a null text likewise.
struct Iec101Fields
{
    bool enabled = false;               // the protocol row shows "IEC101"
    QString linkAddress;                // "Адрес устройства"
    int linkAddressLengthIndex = -1;    // "Длина адреса канала": "1", "2"
    int originatorAddressIndex = -1;    // "Адрес источника": "Да", "Нет"
    int stationAddressLengthIndex = -1; // "Длина адреса станции": "1", "2"
    int objectAddressLengthIndex = -1;  // "Длина адреса объекта": "2", "3"
    QString commonAddress;              // "Общий адрес ASDU"
    QString clockSyncPeriod;            // "Период точного времени"
    int giTimeIndex = -1;               // "Время GI": "Да", "Нет"
};

// A record built from zero. Without IEC101 every byte is 0. With `shown` (the
// record the rows were filled from, IEC101 on), a row that still shows what
// describeIec101(*shown) gave keeps that record's value.
Iec101Params buildIec101(const Iec101Fields& fields, const Iec101Params* shown = nullptr);

// What the IEC101 rows show for `params`; `enabled` false means the table is
// left as it is. Address texts are decimal (0 shows as "0").
Iec101Fields describeIec101(const Iec101Params& params);
