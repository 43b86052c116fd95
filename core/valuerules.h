#pragma once

#include "configblocks.h"
#include "configlayout.h"

#include <QList>
#include <QString>
#include <QtGlobal>

// The ranges of the values a technician edits, one set for the window and the
// command-line tool, and the rule that applies them: a value that someone typed
// or changed must be inside its range; a value that came from the board and
// was not changed goes back exactly as it came (a board holding erased 0xFF
// bytes or an address above the editor's top must not lock its owner out).
namespace ValueRules {

struct Range
{
    qint64 low;
    qint64 high;
    bool zeroMeansNone; // 0 is also allowed: "no address"

    bool contains(qint64 value) const { return (zeroMeansNone && value == 0) || (value >= low && value <= high); }
};

inline constexpr Range objectAddress { 1, 4095, true };
inline constexpr Range debounceMs { 0, 60000, false };
inline constexpr Range holdMs { 0, 100000, false };
inline constexpr Range baudRate { 1, 0xFFFFFFFFLL, false };
inline constexpr Range modbusAddress { 0, 247, false };
inline constexpr Range iec101Address { 1, 65535, false }; // link address and common address of ASDU
inline constexpr Range clockSyncPeriod { 1, 268435455, false };

enum class Field {
    DiAddress,
    DiDebounce,
    DoAddress,
    DoHold,
    BaudRate,
    ModbusAddress,
    LinkAddress,
    CommonAddress,
    ClockSyncPeriod,
};

Range rangeOf(Field field);

// One value outside its range. `index` is the channel or the port, from 0.
struct Problem
{
    Field field;
    int index;
    qint64 value;

    Range range() const { return rangeOf(field); }
    // "DI_5" or "port 1".
    QString place() const;
    // The name of the field in the file and on the command line ("address").
    QString fieldName() const;
    // "di[4].address: 9999 is outside 1 to 4095 (or 0 for none)"
    QString describe() const;
};

// The values of `edited` that the layout sends and that differ from `asRead`
// (the record as it came from the board, or as it was last shown) must be in
// their ranges. Returns every offender, first field first.
QList<Problem> checkDiDo(const DiDoConfig& edited, const DiDoConfig& asRead, const ConfigLayout& layout);

// The same for the port settings and, on a port with IEC101 on, its numbers.
// A number counts as unchanged only when the port already ran IEC101: a port
// just switched to it has nothing from the board to keep.
QList<Problem> checkRs485(const Rs485Ports& edited, const Iec101Ports& editedProtocols, const Rs485Ports& asRead,
                          const Iec101Ports& protocolsAsRead);

} // namespace ValueRules
