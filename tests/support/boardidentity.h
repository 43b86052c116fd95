#pragma once

// A board as the session's identity readout finds it, for the tests of the
// session and of the window that works on one. Header-only: it needs the core,
// which only those tests link.

#include "boardsession.h"
#include "scriptedconnector.h"

// Attaches `link` to `session` and answers its identity readout as a board
// running `mode` (-1: a status reply nobody can read), of `type` (0: the board
// version goes unanswered), with the firmware version text `firmware` (empty:
// none) and the bootloader version text `bootloader`. True when the session
// then knows exactly that: a board the readout cannot find is no test case.
// What `link` recorded is forgotten; steps queued afterwards are the test's.
inline bool identify(BoardSession& session, const QSharedPointer<ScriptedConnector>& link, int mode, quint16 type,
                     const QString& firmware, const QString& bootloader = QStringLiteral("0.0.5"))
{
    const auto text = [](const QString& value) { return char(value.size()) + value.toLatin1(); };
    BoardState expected;
    expected.modeKnown = mode >= 0;
    expected.mode = quint8(qMax(mode, 0));
    expected.firmwareVersionKnown = !firmware.isEmpty();
    expected.firmwareVersion = firmware;
    expected.bootloaderVersion = mode >= 0 ? bootloader : QString();
    const bool typeAsked = expected.modeKnown && expected.boardVersionQueryAllowed();
    expected.boardTypeKnown = typeAsked && type != 0;
    expected.boardType = expected.boardTypeKnown ? type : 0;

    link->queue(ScriptedConnector::reply('\xC9' + text(firmware)));
    link->queue(mode < 0 ? ScriptedConnector::replyHex("c8")
                         : ScriptedConnector::reply('\xC9' + QByteArray(1, char(mode)) + text(bootloader)));
    if (typeAsked)
        link->queue(type ? ScriptedConnector::reply(QByteArray::fromHex("c9") + char(type & 0xFF) + char(type >> 8))
                         : ScriptedConnector::silence());
    session.attach(link);
    session.readIdentity(false);
    link->forgetRecords();
    return session.board() == expected;
}
