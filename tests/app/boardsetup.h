#pragma once

// The board state and link a panel works on, set up as the identity readout
// would have left them, and the window's parts found the way a test reaches them.

#include "boardcontext.h"
#include "boardstate.h"

#include <QWidget>

// A board running `mode` (-1: not read), of `type` (0: not read), with the
// firmware version text `firmware` (empty: not read).
inline BoardState readBoard(int mode, quint16 type, const QString& firmware, const QString& bootloader = QString())
{
    BoardState board;
    board.modeKnown = mode >= 0;
    board.mode = quint8(qMax(mode, 0));
    board.boardTypeKnown = type != 0;
    board.boardType = type;
    board.firmwareVersionKnown = !firmware.isEmpty();
    board.firmwareVersion = firmware;
    board.bootloaderVersion = bootloader;
    return board;
}

// A panel, the context or any other part of the window, by its type.
template <typename T>
T* partOf(QWidget& window)
{
    return window.findChild<T*>();
}
