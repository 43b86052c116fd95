#include "boardconfiguration.h"

#include <QJsonValue>

#include <utility>

namespace {

void putLe(QByteArray& block, int at, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        block[at + i] = char((value >> (8 * i)) & 0xFFu);
}

struct BlockRef
{
    const char* key;
    QByteArray BoardConfiguration::*member;
    int size;
};

const BlockRef blocks[] = {
    { "diTable", &BoardConfiguration::diTable, BoardConfiguration::diTableSize },
    { "diDebounce", &BoardConfiguration::diDebounce, BoardConfiguration::debounceSize },
    { "diInputModes", &BoardConfiguration::diInputModes, BoardConfiguration::inputModesSize },
    { "doTable", &BoardConfiguration::doTable, BoardConfiguration::doTableSize },
    { "ports", &BoardConfiguration::ports, BoardConfiguration::portsSize },
    { "protocol", &BoardConfiguration::protocol, BoardConfiguration::protocolSize },
};

bool isHex(const QString& text)
{
    if (text.size() % 2 != 0)
        return false;
    for (const QChar c : text) {
        if (!((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
              || (c >= QLatin1Char('A') && c <= QLatin1Char('F'))))
            return false;
    }
    return true;
}

} // namespace

BoardConfiguration::BoardConfiguration()
    : diTable(diTableSize, '\0')
    , diDebounce(debounceSize, '\0')
    , diInputModes(inputModesSize, '\0')
    , doTable(doTableSize, '\0')
    , ports(portsSize, '\0')
    , protocol(protocolSize, '\0')
{
    restoreFactoryDiDo();

    // Port 1: 9600 baud, 8 data bits, 1 stop bit, no parity, ModBus RTU address 1.
    putLe(ports, 0, 9600, 4);
    putLe(ports, 20, 1, 1);
    putLe(ports, 22, 1000, 2);
    putLe(ports, 24, 1, 1);
    // Port 2: 19200 baud, even parity, no ModBus; it runs IEC 60870-5-101.
    const int p2 = portRecordSize;
    putLe(ports, p2 + 0, 19200, 4);
    putLe(ports, p2 + 12, 0x400, 4);
    putLe(ports, p2 + 20, 1, 1);
    putLe(ports, p2 + 22, 1000, 2);

    const int i2 = protocolRecordSize;
    putLe(protocol, i2 + 0, 7, 2);       // link address
    putLe(protocol, i2 + 2, 2, 1);       // link address length
    putLe(protocol, i2 + 3, 1, 1);       // originator address present
    putLe(protocol, i2 + 4, 2, 1);       // station address length
    putLe(protocol, i2 + 5, 3, 1);       // object address length
    putLe(protocol, i2 + 6, 7, 2);       // common ASDU address
    putLe(protocol, i2 + 8, 60000, 4);   // clock sync period
    putLe(protocol, i2 + 12, 0, 1);      // GI time
    putLe(protocol, i2 + 13, 1, 1);      // IEC 101 on
}

void BoardConfiguration::restoreFactoryDiDo()
{
    for (int ch = 0; ch < diChannels; ++ch) {
        const int at = ch * diEntrySize;
        putLe(diTable, at, 0, 3);
        diTable[at + 3] = 1;
        putLe(diDebounce, ch * 4, 3, 4);
        const int m = ch * diModeSize;
        diInputModes[m + 0] = 0;
        diInputModes[m + 1] = char(ch & 1);
        diInputModes[m + 2] = 0;
        diInputModes[m + 3] = 0;
    }
    for (int ch = 0; ch < doChannels; ++ch) {
        const int at = ch * doEntrySize;
        putLe(doTable, at, 0, 3);
        doTable[at + 3] = 1;
        doTable[at + 4] = 0;
        putLe(doTable, at + 8, 0, 4);
        doTable[at + 12] = 0;
    }
}

bool BoardConfiguration::operator==(const BoardConfiguration& other) const
{
    for (const BlockRef& b : blocks) {
        if (this->*b.member != other.*b.member)
            return false;
    }
    return true;
}

QJsonObject BoardConfiguration::toJson() const
{
    QJsonObject object;
    for (const BlockRef& b : blocks)
        object.insert(QLatin1String(b.key), QString::fromLatin1((this->*b.member).toHex()));
    return object;
}

bool BoardConfiguration::fromJson(const QJsonObject& object, QString* error)
{
    BoardConfiguration loaded;
    for (const BlockRef& b : blocks) {
        const QJsonValue value = object.value(QLatin1String(b.key));
        if (!value.isString()) {
            if (error)
                *error = QStringLiteral("\"%1\" is missing or not a text").arg(QLatin1String(b.key));
            return false;
        }
        const QString text = value.toString();
        if (!isHex(text) || text.size() != 2 * b.size) {
            if (error)
                *error = QStringLiteral("\"%1\" must be %2 bytes in hex").arg(QLatin1String(b.key)).arg(b.size);
            return false;
        }
        loaded.*b.member = QByteArray::fromHex(text.toLatin1());
    }
    *this = std::move(loaded);
    return true;
}
