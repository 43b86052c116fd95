#pragma once

#include "scriptedconnector.h"

#include <QByteArray>
#include <QMap>

#include <optional>

// A board's configuration memory behind a ScriptedConnector: a block write
// (0xA2, 0xA8, 0xA9, 0xA5 or 0xA6, 0x72, 0x9E) is acknowledged and kept, and
// the block's read (0xA0, 0xA7, 0xAA, 0xA4, 0x71, 0x9D) gives back what was
// kept, so a write can be read back as from a real board.
//
//     BoardMemory memory = BoardMemory::blank(16);
//     link->setResponder(memory.responder());
class BoardMemory
{
public:
    // By read code: the block that read gives back after its code byte.
    QMap<quint8, QByteArray> blocks;

    // A board with `diChannels` inputs whose every block is zero.
    static BoardMemory blank(int diChannels);

    // The step for a configuration request, none for any other.
    std::optional<ScriptedConnector::Step> answer(const QByteArray& request);
    // The configuration through this memory (which must outlive the link's
    // use of it), every other request acknowledged with 0xC9.
    ScriptedConnector::Responder responder();
};
