#pragma once

#include <QByteArray>

#include <cstdint>

// Bytes and frames the tests expect, worked out bit by bit apart from the
// table-driven codec under test.

// "fe 45 ff" → the bytes; spaces are allowed.
QByteArray hex(const char* text);

// CRC-16/MODBUS one bit at a time.
uint16_t referenceCrc16(const QByteArray& data);

// A whole frame to or from `address`: start mark, address, length, payload,
// checksum and the two zero bytes that pad it.
QByteArray frameFor(uint8_t address, const QByteArray& payload);
