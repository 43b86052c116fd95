#pragma once

#include "scriptedconnector.h"

#include <QByteArray>
#include <QMap>

#include <optional>

// A board's configuration memory behind a ScriptedConnector: a block write
// (0xA2, 0xA8, 0xA9, 0xA5 or 0xA6, 0x72, 0x9E) is acknowledged and kept, and
// the block's read (0xA0, 0xA7, 0xAA, 0xA4, 0x71, 0x9D) gives back what was
// kept, so a write reads back as from a real board.
struct BoardMemory
{
    // By read code: the block that read gives back after its code byte.
    QMap<quint8, QByteArray> blocks;

    // A board with `diChannels` inputs whose every block is zero.
    static BoardMemory blank(int diChannels)
    {
        return { { { 0xA0, QByteArray(128, '\0') }, { 0xA7, QByteArray(4 * diChannels, '\0') },
                   { 0xAA, QByteArray(4 * diChannels, '\0') }, { 0xA4, QByteArray(144, '\0') },
                   { 0x71, QByteArray(56, '\0') }, { 0x9D, QByteArray(48, '\0') } } };
    }

    // The step for a configuration request, none for any other.
    std::optional<ScriptedConnector::Step> answer(const QByteArray& request)
    {
        static const QMap<quint8, quint8> readOf = { { 0xA2, 0xA0 }, { 0xA8, 0xA7 }, { 0xA9, 0xAA }, { 0xA5, 0xA4 },
                                                     { 0xA6, 0xA4 }, { 0x72, 0x71 }, { 0x9E, 0x9D } };
        const quint8 code = quint8(request.at(0));
        if (readOf.contains(code)) {
            blocks.insert(readOf.value(code), request.mid(1));
            return ScriptedConnector::replyHex("c9");
        }
        if (blocks.contains(code))
            return ScriptedConnector::reply(char(code) + blocks.value(code));
        return std::nullopt;
    }

    // The configuration through this memory (which must outlive the link's
    // use of it), every other request acknowledged with 0xC9.
    ScriptedConnector::Responder responder()
    {
        return [this](const QByteArray& request) { return answer(request).value_or(ScriptedConnector::replyHex("c9")); };
    }
};
