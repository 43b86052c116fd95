#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

// What the board keeps in its configuration memory, held as the raw blocks it
// exchanges on the link, so what the program writes is exactly what it reads
// back, bytes it does not understand included.
struct BoardConfiguration
{
    static constexpr int diChannels = 32;
    static constexpr int doChannels = 9;
    static constexpr int diEntrySize = 4;       // 24-bit object address, enabled
    static constexpr int diModeSize = 4;        // pair, role, type, nominal
    static constexpr int doEntrySize = 16;      // full form
    static constexpr int doShortEntrySize = 12; // old form: no DP flag
    static constexpr int portRecordSize = 28;
    static constexpr int protocolRecordSize = 24;

    static constexpr int diTableSize = diChannels * diEntrySize;      // 128
    static constexpr int debounceSize = diChannels * 4;               // 128
    static constexpr int inputModesSize = diChannels * diModeSize;    // 128, channel after channel
    static constexpr int doTableSize = doChannels * doEntrySize;      // 144
    static constexpr int portsSize = 2 * portRecordSize;              // 56
    static constexpr int protocolSize = 2 * protocolRecordSize;       // 48

    QByteArray diTable;
    QByteArray diDebounce;
    QByteArray diInputModes;
    QByteArray doTable;
    QByteArray ports;
    QByteArray protocol;

    // Factory DI/DO values and a sample port setup: port 1 ModBus RTU slave 1
    // at 9600 8N1, port 2 an IEC 60870-5-101 station at 19200 8E1.
    BoardConfiguration();

    // What command 0xA1 does: every input enabled, address 0, debounce 3 ms,
    // no pair, DP role alternating from 0 on the first input, DC, 24 V; every
    // output enabled, single, address 0, hold 0, DP 0. Bytes of the DO entries
    // that carry nothing known stay as they were; the ports are not touched.
    void restoreFactoryDiDo();

    bool operator==(const BoardConfiguration& other) const;
    bool operator!=(const BoardConfiguration& other) const { return !(*this == other); }

    // Each block as lower-case hex under its own key.
    QJsonObject toJson() const;
    // All or nothing: on any missing key, bad hex or wrong size the
    // configuration is left as it was and `error` says why.
    bool fromJson(const QJsonObject& object, QString* error);
};
