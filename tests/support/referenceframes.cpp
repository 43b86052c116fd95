#include "referenceframes.h"

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(QByteArray(text));
}

uint16_t referenceCrc16(const QByteArray& data)
{
    uint16_t crc = 0xFFFF;
    for (char c : data) {
        crc ^= uint8_t(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
}

QByteArray frameFor(uint8_t address, const QByteArray& payload)
{
    QByteArray frame = hex("fe45ff54");
    frame.append(char(address)).append(char(0)).append(char(payload.size())).append(payload);
    const uint16_t crc = referenceCrc16(frame);
    frame.append(char(crc & 0xFF)).append(char(crc >> 8)).append(char(0)).append(char(0));
    return frame;
}
