#pragma once

#include "tessarin_export.h"

#include <QByteArray>

#include <cstdint>
#include <optional>

// The RS-485 frame: FE 45 FF 54, 16-bit address (low byte first, high byte 00),
// payload length, payload, CRC-16/MODBUS of all that as a 32-bit little-endian
// value. GUI-free and port-free, so the transports, the virtual board and the
// tests share one codec.

enum UnpackStatus : int32_t {
    UnpackOk = 0,
    UnpackIncomplete = 1,
    UnpackBadCrc = 2,
    UnpackForeignAddress = 3,
};

struct TESSARIN_EXPORT UnpackResult
{
    QByteArray payload;
    int32_t status = UnpackIncomplete;
};

namespace FrameCodec {

constexpr int headerSize = 7;      // start mark, address, length
constexpr int trailerSize = 4;     // CRC as 32 bits
constexpr int overhead = headerSize + trailerSize;
constexpr int maxPayload = 255;
constexpr int maxFrameSize = maxPayload + overhead;

// How long a reader waits past its time-out for a frame whose start mark has
// come: a reply cut by a pause on the line is still the answer it was.
constexpr int startedFrameGraceMs = 100;

TESSARIN_EXPORT uint16_t crc16Modbus(const char* data, int length);
TESSARIN_EXPORT uint16_t crc16Modbus(const QByteArray& data);

// Appends one frame for `address` carrying at most the first 255 bytes of `payload`.
TESSARIN_EXPORT void pack(QByteArray& out, uint32_t address, const QByteArray& payload);
TESSARIN_EXPORT QByteArray pack(uint32_t address, const QByteArray& payload);

// Looks for one frame at the head of `buffer` for `address`, consumes what it decides on.
TESSARIN_EXPORT UnpackResult unpack(QByteArray& buffer, uint32_t address);

// When `buffer` holds no start mark, drops every byte that can never become
// part of a frame (all but the last three, which may begin a mark still on its
// way) and returns how many were dropped; otherwise leaves it alone. What a
// later unpack() finds is the same with or without this call, so a reader may
// use it to keep a flooding peer from growing its buffer.
TESSARIN_EXPORT int discardJunk(QByteArray& buffer);

// Whether `buffer` holds a start mark, that is a frame has begun.
TESSARIN_EXPORT bool hasStartMark(const QByteArray& buffer);

// Where the first start mark in `buffer` begins; -1 when there is none.
TESSARIN_EXPORT int startMarkAt(const QByteArray& buffer);

// The address of the frame that begins at the first start mark in `buffer`,
// as soon as its two address bytes are in, before the rest of it has come or
// been checked: a line of several boards needs to know whom a frame is for.
TESSARIN_EXPORT std::optional<uint32_t> frameAddress(const QByteArray& buffer);

} // namespace FrameCodec
