#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <cstddef>

// The configuration blocks exchanged with the board, laid out byte for byte as
// they travel (all numbers little-endian, 24-bit addresses as three bytes, low
// byte first), and their decoding from read replies and encoding into write
// requests. Bytes the program does not edit are carried: a write sends back
// what the last read brought.
//
// Decoders take the whole reply (lead byte included), check it and change the
// record only when the reply is accepted. Encoders return the data that follows
// the command code.

// Every field sits at its natural alignment, so the records need no packing
// pragma (which would forbid binding references to their fields); the asserts
// below prove there is no padding anywhere.

// One DI channel (4 bytes).
struct DiEntry
{
    quint8 address[3] = {}; // object address, unsigned 24-bit
    quint8 enabled = 0;     // 0 or 1

    quint32 objectAddress() const;
    void setObjectAddress(quint32 value); // keeps the low 24 bits
};

// One DO channel, full form (16 bytes). The short form on the wire (12 bytes)
// is bytes 0 to 4, three zero bytes and the hold time.
struct DoEntry
{
    quint8 address[3] = {}; // object address, unsigned 24-bit
    quint8 enabled = 0;     // 0 or 1
    quint8 mode = 0;        // 0 single, 1 group, 2 common
    quint8 carried5[3] = {};
    quint32 holdMs = 0;
    quint8 dp = 0;          // double-point flag, 0 or 1
    quint8 carried13[3] = {};

    quint32 objectAddress() const;
    void setObjectAddress(quint32 value);
};

struct DiDoConfig
{
    DiEntry diEntries[32];
    qint32 diDebounceMs[32] = {};
    quint8 diDpPair[32] = {};    // 1: this input and the next form a double-point pair
    quint8 diDpRole[32] = {};    // 0 "DP_OFF", 1 "DP_ON"
    quint8 diInputType[32] = {}; // 0 "DC", 1 "AC"
    quint8 diNominal[32] = {};   // 0 "24 V", 1 "220 V"
    DoEntry doEntries[9];
};

// Settings of one RS-485 port (28 bytes).
struct Rs485PortParams
{
    quint32 baudRate = 0;
    quint32 wordLength = 0;   // 0x2000 for 9 data bits, else 0
    quint32 stopBits = 0;     // 0x2000 for 2 stop bits, else 0
    quint32 parity = 0;       // 0x400 even, 0x600 odd, 0 none
    quint32 reserved0 = 0;
    quint8 modbusAddress = 0;
    quint8 carried21 = 0;
    quint16 fixedWord = 0;    // written as 1000
    quint8 modbusEnabled = 0;
    quint8 carried25[3] = {};
};

// IEC 60870-5-101 settings of one port (24 bytes); rebuilt from zero before
// every write.
struct Iec101Params
{
    quint16 linkAddress = 0;
    quint8 linkAddressLength = 0;    // 1 or 2
    quint8 originatorAddress = 0;    // 1 yes, 0 no
    quint8 stationAddressLength = 0; // 1 or 2
    quint8 objectAddressLength = 0;  // 2 or 3
    quint16 commonAddress = 0;
    quint32 clockSyncPeriod = 0;
    quint8 giTime = 0;               // 1 yes, 0 no
    quint8 iec101Enabled = 0;
    quint8 zero[10] = {};
};

static_assert(sizeof(DiEntry) == 4, "DiEntry travels as 4 bytes");
static_assert(sizeof(DoEntry) == 16, "DoEntry travels as 16 bytes");
static_assert(offsetof(DoEntry, holdMs) == 8 && offsetof(DoEntry, dp) == 12, "DoEntry layout");
static_assert(sizeof(DiDoConfig) == 128 + 128 + 4 * 32 + 144 && offsetof(DiDoConfig, doEntries) == 384,
              "DiDoConfig layout");
static_assert(sizeof(Rs485PortParams) == 28, "Rs485PortParams travels as 28 bytes");
static_assert(offsetof(Rs485PortParams, modbusAddress) == 20 && offsetof(Rs485PortParams, fixedWord) == 22
                  && offsetof(Rs485PortParams, modbusEnabled) == 24,
              "Rs485PortParams layout");
static_assert(sizeof(Iec101Params) == 24, "Iec101Params travels as 24 bytes");
static_assert(offsetof(Iec101Params, commonAddress) == 6 && offsetof(Iec101Params, clockSyncPeriod) == 8
                  && offsetof(Iec101Params, iec101Enabled) == 13,
              "Iec101Params layout");

using Rs485Ports = std::array<Rs485PortParams, 2>; // port 1, port 2
using Iec101Ports = std::array<Iec101Params, 2>;

namespace ConfigBlocks {

inline constexpr int DiTableReplyFull = 1 + 128;   // 32 entries
inline constexpr int DiTableReplyShort = 1 + 64;   // 16 entries
inline constexpr int DoTableReplyFull = 1 + 144;   // 9 x 16 bytes
inline constexpr int DoTableReplyShort = 1 + 108;  // 9 x 12 bytes
inline constexpr int Rs485PortsBytes = 56;
inline constexpr int Iec101Bytes = 48;

// Factory values: every input enabled, address 0, debounce 3 ms, no pair, DP
// role alternating from "DP_OFF" on the first input, DC, 24 V; every output
// enabled, single, address 0, hold 0, DP 0. Carried DO bytes are not touched.
void resetDiDoRecord(DiDoConfig& config);

// Defaults of the input modes for channels `first` to 31 (inputs the board does
// not describe): no pair, role = channel index AND 1, DC, 24 V.
void setDiModeDefaults(DiDoConfig& config, int first = 0);

// 0xA0: 129 bytes fill all 32 entries; 65 bytes fill 0 to 15 and zero 16 to 31.
bool takeDiTable(DiDoConfig& config, const QByteArray& reply);
// 0xA7: exactly 4 * channelCount + 1 bytes; the table is zeroed, then filled.
bool takeDiDebounce(DiDoConfig& config, const QByteArray& reply, int channelCount);
// 0xAA: 4 * channelCount + 1 bytes (4-byte records) or 3 * channelCount + 1
// (no nominal byte, nominal 0). Any non-zero byte is stored as 1. Channels from
// channelCount to 31 get the defaults.
bool takeDiModes(DiDoConfig& config, const QByteArray& reply, int channelCount);
// 0xA4: 145 bytes fill the table; 109 bytes are nine short entries, each copied
// into bytes 0 to 11 of its stored entry with the DP flag cleared and bytes 13
// to 15 kept.
bool takeDoTable(DiDoConfig& config, const QByteArray& reply);
// 0x71: more than 56 bytes; bytes 1 to 28 port 1, 29 to 56 port 2.
bool takeRs485Ports(Rs485Ports& ports, const QByteArray& reply);
// 0x9D: more than 48 bytes; bytes 1 to 24 port 1, 25 to 48 port 2.
bool takeIec101(Iec101Ports& params, const QByteArray& reply);

// 0xA2: the first channelCount entries (64 bytes for 16, 128 for 32).
QByteArray diTableData(const DiDoConfig& config, int channelCount);
// 0xA8: the first channelCount debounce values, 4 bytes each.
QByteArray diDebounceData(const DiDoConfig& config, int channelCount);
// 0xA9: pair, role, type, nominal of the first channelCount channels, bytes as stored.
QByteArray diModesData(const DiDoConfig& config, int channelCount);
// 0xA6 (full, 144 bytes) or 0xA5 (short, 108 bytes with zero padding).
QByteArray doTableData(const DiDoConfig& config, bool fullEntries);
// 0x72: 56 bytes.
QByteArray rs485PortsData(const Rs485Ports& ports);
// 0x9E: 48 bytes.
QByteArray iec101Data(const Iec101Ports& params);

// Single records to and from their wire bytes (`bytes` must hold the record's size).
Rs485PortParams decodeRs485Port(const char* bytes);
QByteArray encodeRs485Port(const Rs485PortParams& port);
Iec101Params decodeIec101(const char* bytes);
QByteArray encodeIec101(const Iec101Params& params);
DoEntry decodeDoEntry(const char* bytes);
QByteArray encodeDoEntry(const DoEntry& entry);

} // namespace ConfigBlocks
