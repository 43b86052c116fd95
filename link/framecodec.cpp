#include "framecodec.h"

#include <array>

namespace {

constexpr char kStartMark[4] = { char(0xFE), char(0x45), char(0xFF), char(0x54) };
constexpr int kStartMarkSize = int(sizeof kStartMark);

// CRC-16/MODBUS, reflected polynomial 0xA001, one table entry per byte value.
constexpr std::array<uint16_t, 256> makeCrc16Table()
{
    std::array<uint16_t, 256> table {};
    for (int n = 0; n < 256; ++n) {
        uint16_t value = uint16_t(n);
        for (int bit = 0; bit < 8; ++bit)
            value = (value & 1u) ? uint16_t((value >> 1) ^ 0xA001u) : uint16_t(value >> 1);
        table[size_t(n)] = value;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrc16Table = makeCrc16Table();

inline uint8_t byteAt(const QByteArray& buffer, int index)
{
    return uint8_t(buffer.at(index));
}

const QByteArray& startMark()
{
    static const QByteArray mark = QByteArray::fromRawData(kStartMark, kStartMarkSize);
    return mark;
}

} // namespace

namespace FrameCodec {

uint16_t crc16Modbus(const char* data, int length)
{
    uint16_t value = 0xFFFF;
    for (int i = 0; i < length; ++i)
        value = uint16_t((value >> 8) ^ kCrc16Table[(uint8_t(data[i]) ^ value) & 0xFFu]);
    return value;
}

uint16_t crc16Modbus(const QByteArray& data)
{
    return crc16Modbus(data.constData(), data.size());
}

void pack(QByteArray& out, uint32_t address, const QByteArray& payload)
{
    const QByteArray body = payload.left(maxPayload);
    const int frameStart = out.size();
    out.reserve(frameStart + body.size() + overhead);
    out.append(kStartMark, kStartMarkSize);
    out.append(char(address & 0xFFu));
    out.append(char((address >> 8) & 0xFFu));
    out.append(char(body.size()));
    out.append(body);
    const uint16_t crc = crc16Modbus(out.constData() + frameStart, out.size() - frameStart);
    out.append(char(crc & 0xFFu));
    out.append(char(crc >> 8));
    out.append(char(0));
    out.append(char(0));
}

QByteArray pack(uint32_t address, const QByteArray& payload)
{
    QByteArray out;
    pack(out, address, payload);
    return out;
}

UnpackResult unpack(QByteArray& buffer, uint32_t address)
{
    UnpackResult result;
    result.status = UnpackIncomplete;
    if (buffer.size() < kStartMarkSize)
        return result;

    const int markAt = startMarkAt(buffer);
    if (markAt < 0)
        return result;
    if (markAt > 0)
        buffer.remove(0, markAt);
    if (buffer.size() < overhead)
        return result;

    const int length = byteAt(buffer, 6);
    const int frameSize = length + overhead;
    if (buffer.size() < frameSize)
        return result;

    const uint32_t computed = crc16Modbus(buffer.constData(), headerSize + length);
    const int crcAt = headerSize + length;
    const uint32_t stored = uint32_t(byteAt(buffer, crcAt))
        | (uint32_t(byteAt(buffer, crcAt + 1)) << 8)
        | (uint32_t(byteAt(buffer, crcAt + 2)) << 16)
        | (uint32_t(byteAt(buffer, crcAt + 3)) << 24);
    if (computed != stored) {
        buffer.remove(0, frameSize);
        result.status = UnpackBadCrc;
        return result;
    }

    if (frameAddress(buffer) != address) {
        buffer.remove(0, frameSize);
        result.status = UnpackForeignAddress;
        return result;
    }

    result.payload = buffer.mid(headerSize, length);
    buffer.remove(0, frameSize);
    result.status = UnpackOk;
    return result;
}

int discardJunk(QByteArray& buffer)
{
    if (buffer.size() < kStartMarkSize || buffer.contains(startMark()))
        return 0;
    // The last three bytes may be the beginning of a start mark that is still on its way.
    const int dropped = buffer.size() - (kStartMarkSize - 1);
    buffer.remove(0, dropped);
    return dropped;
}

bool hasStartMark(const QByteArray& buffer)
{
    return buffer.contains(startMark());
}

int startMarkAt(const QByteArray& buffer)
{
    return buffer.indexOf(startMark());
}

std::optional<uint32_t> frameAddress(const QByteArray& buffer)
{
    const int at = startMarkAt(buffer);
    constexpr int addressAt = kStartMarkSize;
    if (at < 0 || buffer.size() < at + addressAt + 2)
        return std::nullopt;
    return uint32_t(byteAt(buffer, at + addressAt)) | (uint32_t(byteAt(buffer, at + addressAt + 1)) << 8);
}

} // namespace FrameCodec
