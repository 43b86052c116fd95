#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What the identity readout learnt about the connected board, and the feature
// gates that follow from it. The window keeps one of these; the command-line
// tool and the tests fill one by hand.
struct BoardState
{
    bool modeKnown = false;
    quint8 mode = 0;                // 0 main firmware, 1 bootloader, other values kept as read
    bool firmwareVersionKnown = false;
    QString firmwareVersion;        // trimmed text of the 0x78 reply
    bool boardTypeKnown = false;
    quint16 boardType = 0;
    QString bootloaderVersion;      // trimmed text of the 0x64 reply; empty when not read

    // Version numbers ("a.b.c" -> a*1000 + b*100 + c); none for an unknown
    // firmware version or a text that does not follow the rule.
    std::optional<int> firmwareVersionNumber() const;
    std::optional<int> bootloaderVersionNumber() const;

    bool mainFirmwareRunning() const { return modeKnown && mode == 0; }
    bool bootloaderRunning() const { return modeKnown && mode == 1; }

    // The tables the board type gives. The DI blocks are exchanged only with a
    // board known to have them (their size follows the type); while the type
    // is unknown the DO table and its ninth output are assumed, and the DI
    // table is offered for editing without being known to be absent.
    bool hasDiTable() const;
    bool lacksDiTable() const;
    bool hasDoTable() const;
    bool hasNinthDo() const;

    int diChannelCount() const;
    int doChannelCount() const;
    int diPairLimit() const;
    // Board name when the type is known, otherwise empty.
    QString boardCode() const;

    // DI debounce times (0xA7/0xA8): known type; never type 3; type 1 only
    // from firmware number 5 on; any other type always.
    bool diDebounceSupported() const;
    // DI input modes (0xAA/0xA9): known type other than 3 and firmware number above 5.
    bool diExtendedSupported() const;
    // DO DP flag and the 16-byte DO entries (0xA6): firmware number above 4.
    bool doDpSupported() const;
    // DI calibration (0xAB/0xAC), apart from the unlock of the additional tab:
    // a connector, main firmware running, known type other than 3, firmware number above 5.
    bool calibrationAvailable(bool connectorHeld) const;
    // Whether command 0x7D may be asked: from main firmware number 4 on, or from
    // bootloader number 5 on.
    bool boardVersionQueryAllowed() const;
    // The firmware kind the board takes now: a main firmware while the
    // bootloader runs, a bootloader in every other case.
    bool expectsMainFirmware() const { return bootloaderRunning(); }

    bool operator==(const BoardState& other) const;
    bool operator!=(const BoardState& other) const { return !(*this == other); }

    // Forget everything (link dropped or a new link).
    void clear() { *this = BoardState(); }
};
