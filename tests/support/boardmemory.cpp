#include "boardmemory.h"

namespace {

// Write code -> the read that gives the block back.
quint8 readOf(quint8 write)
{
    switch (write) {
    case 0xA2: return 0xA0;
    case 0xA8: return 0xA7;
    case 0xA9: return 0xAA;
    case 0xA5:
    case 0xA6: return 0xA4;
    case 0x72: return 0x71;
    case 0x9E: return 0x9D;
    default: return 0;
    }
}

} // namespace

BoardMemory BoardMemory::blank(int diChannels)
{
    BoardMemory memory;
    memory.blocks = { { 0xA0, QByteArray(128, '\0') },
                      { 0xA7, QByteArray(4 * diChannels, '\0') },
                      { 0xAA, QByteArray(4 * diChannels, '\0') },
                      { 0xA4, QByteArray(144, '\0') },
                      { 0x71, QByteArray(56, '\0') },
                      { 0x9D, QByteArray(48, '\0') } };
    return memory;
}

std::optional<ScriptedConnector::Step> BoardMemory::answer(const QByteArray& request)
{
    const quint8 code = quint8(request.at(0));
    if (const quint8 read = readOf(code)) {
        blocks.insert(read, request.mid(1));
        return ScriptedConnector::replyHex("c9");
    }
    if (blocks.contains(code))
        return ScriptedConnector::reply(char(code) + blocks.value(code));
    return std::nullopt;
}

ScriptedConnector::Responder BoardMemory::responder()
{
    return [this](const QByteArray& request) {
        return answer(request).value_or(ScriptedConnector::replyHex("c9"));
    };
}
