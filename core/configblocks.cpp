#include "configblocks.h"

#include "commandset.h"

#include <QtEndian>

#include <cstring>

namespace {

quint32 read24(const quint8 (&bytes)[3])
{
    return quint32(bytes[0]) | quint32(bytes[1]) << 8 | quint32(bytes[2]) << 16;
}

void write24(quint8 (&bytes)[3], quint32 value)
{
    bytes[0] = quint8(value);
    bytes[1] = quint8(value >> 8);
    bytes[2] = quint8(value >> 16);
}

void append8(QByteArray& out, quint8 value)
{
    out.append(char(value));
}

void append16(QByteArray& out, quint16 value)
{
    char bytes[2];
    qToLittleEndian(value, bytes);
    out.append(bytes, 2);
}

void append32(QByteArray& out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

template <size_t N>
void appendBytes(QByteArray& out, const quint8 (&bytes)[N])
{
    out.append(reinterpret_cast<const char*>(bytes), int(N));
}

template <size_t N>
void copyBytes(quint8 (&to)[N], const char* from)
{
    std::memcpy(to, from, N);
}

quint8 at(const char* bytes, int index)
{
    return quint8(bytes[index]);
}

bool leads(const QByteArray& reply, quint8 lead)
{
    return !reply.isEmpty() && quint8(reply.at(0)) == lead;
}

int clampChannels(int channelCount)
{
    return qBound(0, channelCount, 32);
}

} // namespace

quint32 DiEntry::objectAddress() const
{
    return read24(address);
}

void DiEntry::setObjectAddress(quint32 value)
{
    write24(address, value);
}

quint32 DoEntry::objectAddress() const
{
    return read24(address);
}

void DoEntry::setObjectAddress(quint32 value)
{
    write24(address, value);
}

namespace ConfigBlocks {

void resetDiDoRecord(DiDoConfig& config)
{
    for (int i = 0; i < 32; ++i) {
        config.diEntries[i].enabled = 1;
        config.diEntries[i].setObjectAddress(0);
        config.diDebounceMs[i] = 3;
    }
    setDiModeDefaults(config, 0);
    for (DoEntry& entry : config.doEntries) {
        entry.enabled = 1;
        entry.mode = 0;
        entry.setObjectAddress(0);
        entry.holdMs = 0;
        entry.dp = 0;
    }
}

void setDiModeDefaults(DiDoConfig& config, int first)
{
    for (int i = qMax(0, first); i < 32; ++i) {
        config.diDpPair[i] = 0;
        config.diDpRole[i] = quint8(i & 1);
        config.diInputType[i] = 0;
        config.diNominal[i] = 0;
    }
}

bool takeDiTable(DiDoConfig& config, const QByteArray& reply)
{
    if (!leads(reply, Command::ReadDiTable))
        return false;
    int entries = 0;
    if (reply.size() == DiTableReplyFull)
        entries = 32;
    else if (reply.size() == DiTableReplyShort)
        entries = 16;
    else
        return false;
    const char* data = reply.constData() + 1;
    for (int i = 0; i < 32; ++i) {
        DiEntry& entry = config.diEntries[i];
        if (i < entries) {
            copyBytes(entry.address, data + 4 * i);
            entry.enabled = at(data, 4 * i + 3);
        } else {
            entry = DiEntry();
        }
    }
    return true;
}

bool takeDiDebounce(DiDoConfig& config, const QByteArray& reply, int channelCount)
{
    const int count = clampChannels(channelCount);
    if (reply.size() != 4 * count + 1 || !leads(reply, Command::ReadDiDebounce))
        return false;
    const char* data = reply.constData() + 1;
    for (int i = 0; i < 32; ++i)
        config.diDebounceMs[i] = i < count ? qFromLittleEndian<qint32>(data + 4 * i) : 0;
    return true;
}

bool takeDiModes(DiDoConfig& config, const QByteArray& reply, int channelCount)
{
    const int count = clampChannels(channelCount);
    if (!leads(reply, Command::ReadDiModes))
        return false;
    int recordSize = 0;
    if (reply.size() == 4 * count + 1)
        recordSize = 4;
    else if (reply.size() == 3 * count + 1)
        recordSize = 3;
    else
        return false;
    const char* data = reply.constData() + 1;
    for (int i = 0; i < count; ++i) {
        const char* record = data + recordSize * i;
        config.diDpPair[i] = at(record, 0) ? 1 : 0;
        config.diDpRole[i] = at(record, 1) ? 1 : 0;
        config.diInputType[i] = at(record, 2) ? 1 : 0;
        config.diNominal[i] = recordSize == 4 && at(record, 3) ? 1 : 0;
    }
    setDiModeDefaults(config, count);
    return true;
}

bool takeDoTable(DiDoConfig& config, const QByteArray& reply)
{
    if (!leads(reply, Command::ReadDoTable))
        return false;
    const char* data = reply.constData() + 1;
    if (reply.size() == DoTableReplyFull) {
        for (int i = 0; i < 9; ++i)
            config.doEntries[i] = decodeDoEntry(data + 16 * i);
        return true;
    }
    if (reply.size() == DoTableReplyShort) {
        for (int i = 0; i < 9; ++i) {
            DoEntry& entry = config.doEntries[i];
            const char* shortEntry = data + 12 * i;
            copyBytes(entry.address, shortEntry);
            entry.enabled = at(shortEntry, 3);
            entry.mode = at(shortEntry, 4);
            copyBytes(entry.carried5, shortEntry + 5);
            entry.holdMs = qFromLittleEndian<quint32>(shortEntry + 8);
            entry.dp = 0; // the old layout has no DP flag; bytes 13 to 15 stay as they were
        }
        return true;
    }
    return false;
}

bool takeRs485Ports(Rs485Ports& ports, const QByteArray& reply)
{
    if (reply.size() <= Rs485PortsBytes || !leads(reply, Command::ReadRs485Ports))
        return false;
    ports[0] = decodeRs485Port(reply.constData() + 1);
    ports[1] = decodeRs485Port(reply.constData() + 1 + 28);
    return true;
}

bool takeIec101(Iec101Ports& params, const QByteArray& reply)
{
    if (reply.size() <= Iec101Bytes || !leads(reply, Command::ReadIec101))
        return false;
    params[0] = decodeIec101(reply.constData() + 1);
    params[1] = decodeIec101(reply.constData() + 1 + 24);
    return true;
}

QByteArray diTableData(const DiDoConfig& config, int channelCount)
{
    QByteArray out;
    for (int i = 0; i < clampChannels(channelCount); ++i) {
        appendBytes(out, config.diEntries[i].address);
        append8(out, config.diEntries[i].enabled);
    }
    return out;
}

QByteArray diDebounceData(const DiDoConfig& config, int channelCount)
{
    QByteArray out;
    for (int i = 0; i < clampChannels(channelCount); ++i)
        append32(out, quint32(config.diDebounceMs[i]));
    return out;
}

QByteArray diModesData(const DiDoConfig& config, int channelCount)
{
    QByteArray out;
    for (int i = 0; i < clampChannels(channelCount); ++i) {
        append8(out, config.diDpPair[i]);
        append8(out, config.diDpRole[i]);
        append8(out, config.diInputType[i]);
        append8(out, config.diNominal[i]);
    }
    return out;
}

QByteArray doTableData(const DiDoConfig& config, bool fullEntries)
{
    QByteArray out;
    for (const DoEntry& entry : config.doEntries) {
        if (fullEntries) {
            out.append(encodeDoEntry(entry));
        } else {
            appendBytes(out, entry.address);
            append8(out, entry.enabled);
            append8(out, entry.mode);
            out.append(3, '\0');
            append32(out, entry.holdMs);
        }
    }
    return out;
}

QByteArray rs485PortsData(const Rs485Ports& ports)
{
    return encodeRs485Port(ports[0]) + encodeRs485Port(ports[1]);
}

QByteArray iec101Data(const Iec101Ports& params)
{
    return encodeIec101(params[0]) + encodeIec101(params[1]);
}

Rs485PortParams decodeRs485Port(const char* bytes)
{
    Rs485PortParams port;
    port.baudRate = qFromLittleEndian<quint32>(bytes + 0);
    port.wordLength = qFromLittleEndian<quint32>(bytes + 4);
    port.stopBits = qFromLittleEndian<quint32>(bytes + 8);
    port.parity = qFromLittleEndian<quint32>(bytes + 12);
    port.reserved0 = qFromLittleEndian<quint32>(bytes + 16);
    port.modbusAddress = at(bytes, 20);
    port.carried21 = at(bytes, 21);
    port.fixedWord = qFromLittleEndian<quint16>(bytes + 22);
    port.modbusEnabled = at(bytes, 24);
    copyBytes(port.carried25, bytes + 25);
    return port;
}

QByteArray encodeRs485Port(const Rs485PortParams& port)
{
    QByteArray out;
    append32(out, port.baudRate);
    append32(out, port.wordLength);
    append32(out, port.stopBits);
    append32(out, port.parity);
    append32(out, port.reserved0);
    append8(out, port.modbusAddress);
    append8(out, port.carried21);
    append16(out, port.fixedWord);
    append8(out, port.modbusEnabled);
    appendBytes(out, port.carried25);
    return out;
}

Iec101Params decodeIec101(const char* bytes)
{
    Iec101Params params;
    params.linkAddress = qFromLittleEndian<quint16>(bytes + 0);
    params.linkAddressLength = at(bytes, 2);
    params.originatorAddress = at(bytes, 3);
    params.stationAddressLength = at(bytes, 4);
    params.objectAddressLength = at(bytes, 5);
    params.commonAddress = qFromLittleEndian<quint16>(bytes + 6);
    params.clockSyncPeriod = qFromLittleEndian<quint32>(bytes + 8);
    params.giTime = at(bytes, 12);
    params.iec101Enabled = at(bytes, 13);
    copyBytes(params.zero, bytes + 14);
    return params;
}

QByteArray encodeIec101(const Iec101Params& params)
{
    QByteArray out;
    append16(out, params.linkAddress);
    append8(out, params.linkAddressLength);
    append8(out, params.originatorAddress);
    append8(out, params.stationAddressLength);
    append8(out, params.objectAddressLength);
    append16(out, params.commonAddress);
    append32(out, params.clockSyncPeriod);
    append8(out, params.giTime);
    append8(out, params.iec101Enabled);
    appendBytes(out, params.zero);
    return out;
}

DoEntry decodeDoEntry(const char* bytes)
{
    DoEntry entry;
    copyBytes(entry.address, bytes);
    entry.enabled = at(bytes, 3);
    entry.mode = at(bytes, 4);
    copyBytes(entry.carried5, bytes + 5);
    entry.holdMs = qFromLittleEndian<quint32>(bytes + 8);
    entry.dp = at(bytes, 12);
    copyBytes(entry.carried13, bytes + 13);
    return entry;
}

QByteArray encodeDoEntry(const DoEntry& entry)
{
    QByteArray out;
    appendBytes(out, entry.address);
    append8(out, entry.enabled);
    append8(out, entry.mode);
    appendBytes(out, entry.carried5);
    append32(out, entry.holdMs);
    append8(out, entry.dp);
    appendBytes(out, entry.carried13);
    return out;
}

} // namespace ConfigBlocks
