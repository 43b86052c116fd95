#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

// Parsers of the identity and status replies. Each takes the whole reply
// (lead byte included) and gives nothing for a reply that fails its check.
// Texts are never taken at their word for length: the length byte is capped at
// what the reply holds after it, the bytes are read as Latin-1 and trimmed.

// 0x78: at least 2 bytes, 0xC9, length n, text. The text may come out empty
// (the window then shows "Не определена").
std::optional<QString> parseFirmwareVersionReply(const QByteArray& reply);

struct DeviceStatus
{
    quint8 mode = 0;            // 0 main firmware, 1 bootloader, anything else kept
    QString bootloaderVersion;  // may be empty
};
// 0x64: at least 3 bytes, 0xC9, mode, length n, text.
std::optional<DeviceStatus> parseDeviceStatusReply(const QByteArray& reply);

// 0x7D: at least 3 bytes, 0xC9, board type as unsigned 16-bit.
std::optional<quint16> parseBoardVersionReply(const QByteArray& reply);

// A 32-bit status: more than 4 bytes, first byte 0xC9 or 0xC8, bytes 1 to 4
// the code, little-endian. Used by 0x79 and by the flash command 0x67 (whose
// success is still only 0xC9).
std::optional<quint32> parseStatusReply(const QByteArray& reply);

// 0x79: the status code read as signed (FF FF FF FF is -1).
std::optional<qint32> parseErrorCodeReply(const QByteArray& reply);

// The text of a reply whose length byte sits at `lengthIndex` and whose text
// starts right after it; empty when the reply ends before.
QString replyText(const QByteArray& reply, int lengthIndex);
