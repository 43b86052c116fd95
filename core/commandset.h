#pragma once

#include <QtGlobal>

// Every command code the program sends, with the reply time-out and the number
// of attempts that go with it. This is the only place where these numbers are
// written; the window, the command-line tool and the tests look them up here.
//
// A request is the command code followed by its data; a reply starts with
// ReplyAck, ReplyStatus (only where a 32-bit status follows) or, for the
// commands that return a configuration block, the command's own code.

namespace Command {

enum Code : quint8 {
    ReadDeviceStatus = 0x64,   // running mode and bootloader version
    Flash = 0x67,              // write the transferred image
    ReadRs485Ports = 0x71,     // settings of both RS-485 ports (56 bytes)
    WriteRs485Ports = 0x72,
    ReadFirmwareVersion = 0x78,
    ReadErrorCode = 0x79,
    EnterBootloader = 0x7A,
    StartMainFirmware = 0x7B,
    Reboot = 0x7C,
    ReadBoardVersion = 0x7D,   // board type
    ReadIec101 = 0x9D,         // protocol settings of both ports (48 bytes)
    WriteIec101 = 0x9E,
    ReadDiTable = 0xA0,
    RestoreFactory = 0xA1,
    WriteDiTable = 0xA2,
    ReadDoTable = 0xA4,
    WriteDoTableShort = 0xA5,  // 12-byte entries, no DP flag
    WriteDoTableFull = 0xA6,   // 16-byte entries
    ReadDiDebounce = 0xA7,
    WriteDiDebounce = 0xA8,
    WriteDiModes = 0xA9,
    ReadDiModes = 0xAA,
    CalibrateDiZero = 0xAB,
    CalibrateDiScale24V = 0xAC,
    LegacyFirstBlock = 0xB0,
    LegacyMiddleBlock = 0xB1,
    LegacyLastBlock = 0xB2,
    RleFirstBlock = 0xB4,
    RleMiddleBlock = 0xB5,
    RleLastBlock = 0xB6,
};

// First byte of a reply.
enum Reply : quint8 {
    ReplyStatus = 0xC8,        // like ReplyAck, but only as the lead of a 32-bit status
    ReplyAck = 0xC9,
};

struct Entry
{
    quint8 code;
    int timeoutMs;  // reply time-out while reading this command's answer
    int attempts;   // full exchanges before giving up
};

// Firmware blocks are not in the table: their time-out depends on the block's
// position in the transfer, not on the opcode alone (see below).
inline constexpr Entry table[] = {
    { ReadDeviceStatus, 2000, 1 },
    { Flash, 60000, 1 },
    { ReadRs485Ports, 2000, 3 },  // the only command that is retried
    { WriteRs485Ports, 2000, 1 },
    { ReadFirmwareVersion, 1000, 1 },
    { ReadErrorCode, 2000, 1 },
    { EnterBootloader, 2000, 1 },
    { StartMainFirmware, 2000, 1 },
    { Reboot, 1000, 1 },
    { ReadBoardVersion, 1000, 1 },
    { ReadIec101, 2000, 1 },
    { WriteIec101, 2000, 1 },
    { ReadDiTable, 2000, 1 },
    { RestoreFactory, 2000, 1 },
    { WriteDiTable, 2000, 1 },
    { ReadDoTable, 2000, 1 },
    { WriteDoTableShort, 2000, 1 },
    { WriteDoTableFull, 2000, 1 },
    { ReadDiDebounce, 2000, 1 },
    { WriteDiDebounce, 2000, 1 },
    { WriteDiModes, 2000, 1 },
    { ReadDiModes, 2000, 1 },
    { CalibrateDiZero, 3000, 1 },
    { CalibrateDiScale24V, 3000, 1 },
};

// The entry of `code`, or nullptr for a code that is not in the table.
constexpr const Entry* find(quint8 code)
{
    for (const Entry& s : table) {
        if (s.code == code)
            return &s;
    }
    return nullptr;
}

// Reply time-out of a table command; 2000 ms for anything else.
constexpr int timeoutMs(quint8 code)
{
    const Entry* s = find(code);
    return s ? s->timeoutMs : 2000;
}

constexpr int attempts(quint8 code)
{
    const Entry* s = find(code);
    return s ? s->attempts : 1;
}

// Firmware block time-outs (chosen by position, see firmwareplan.h). An RLE
// middle block may stand for up to 32 KiB of image on the board, so it gets the
// long wait of the last block.
inline constexpr int FirstBlockTimeoutMs = 5000;
inline constexpr int LastBlockTimeoutMs = 60000;
inline constexpr int LegacyMiddleBlockTimeoutMs = 1000;
inline constexpr int RleMiddleBlockTimeoutMs = 60000;

// The short name a request code is shown with beside the RX/TX dump;
// nullptr for a code the program never sends.
inline const char* name(quint8 code)
{
    switch (code) {
    case ReadDeviceStatus: return "статус и версия загрузчика";
    case Flash: return "запись прошивки во flash";
    case ReadRs485Ports: return "чтение параметров RS-485";
    case WriteRs485Ports: return "запись параметров RS-485";
    case ReadFirmwareVersion: return "версия прошивки";
    case ReadErrorCode: return "код ошибки";
    case EnterBootloader: return "переход в загрузчик";
    case StartMainFirmware: return "запуск основной прошивки";
    case Reboot: return "перезагрузка";
    case ReadBoardVersion: return "версия платы";
    case ReadIec101: return "чтение параметров IEC101";
    case WriteIec101: return "запись параметров IEC101";
    case ReadDiTable: return "чтение таблицы DI";
    case RestoreFactory: return "заводские параметры DI/DO";
    case WriteDiTable: return "запись таблицы DI";
    case ReadDoTable: return "чтение таблицы DO";
    case WriteDoTableShort: return "запись таблицы DO";
    case WriteDoTableFull: return "запись таблицы DO (полная)";
    case ReadDiDebounce: return "чтение антидребезга DI";
    case WriteDiDebounce: return "запись антидребезга DI";
    case WriteDiModes: return "запись режимов входов DI";
    case ReadDiModes: return "чтение режимов входов DI";
    case CalibrateDiZero: return "калибровка нуля DI";
    case CalibrateDiScale24V: return "калибровка масштаба DI 24 В";
    case LegacyFirstBlock:
    case RleFirstBlock: return "первый блок прошивки";
    case LegacyMiddleBlock:
    case RleMiddleBlock: return "блок прошивки";
    case LegacyLastBlock:
    case RleLastBlock: return "последний блок прошивки";
    }
    return nullptr;
}

} // namespace Command
