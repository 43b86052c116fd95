#pragma once

#include "replyplan.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// The knobs that make the board misbehave on purpose, and the turning of a
// reply payload into the bytes and pauses that go onto the line.
//
// Counted knobs act on the next N requests or replies and then wear off:
//   silent N        ignore the next N requests addressed to the board (they are
//                   not carried out, as if lost on the line)
//   corrupt-crc N   spoil the checksum of the next N reply frames (on a bare
//                   link, which has none, the last reply byte)
//   junk N          put a few junk bytes (no start mark, though pieces of one)
//                   before the next N replies
//   foreign N       put a correct frame for another device address before the
//                   next N reply frames (no effect on a bare link)
//   drop-after N    send only the first N bytes of the next reply, then cut the
//                   link (N = -1 takes the knob back)
//   late CODE MS    hold the reply to the next request with command code CODE
//                   (0x.. or decimal) MS ms more; replies after it wait their turn
//   refuse CODE STATUS  answer every request with code CODE with C8 and the
//                   32-bit STATUS, without carrying it out (until faults off)
//   forget CODE     acknowledge every request with code CODE without carrying
//                   it out, as a board whose store fails (until faults off)
//   hold CODE MS [NTH]  hold the reply to the NTH request from now with code
//                   CODE (default the next) until the next request arrives,
//                   then send it MS ms after that; each later reply is held
//                   the same way, so the link runs one reply behind, as
//                   through a gateway that passes a late reply on only when
//                   the next request reaches it, until a held reply sees no
//                   request for holdGiveUpMs and leaves then
// Standing knobs stay until set again (0 turns them off):
//   split C MS      cut each reply into C pieces with MS ms between them
//   delay MS        wait MS ms before the first byte of each reply
//   baud B          pace bytes as a line of B baud (10 bits a byte) would, the
//                   request's own line time included before the reply starts
class FaultInjector
{
public:
    FaultInjector() = default;

    // Consumes one silent request when any are pending.
    bool takeSilence();

    // The extra delay for the reply to a request with this code (consumes the
    // late knob when it matches), and the refusal status it gets instead of
    // being carried out.
    int takeLateness(quint8 code);
    bool refusal(quint8 code, quint32* status) const;
    bool forgets(quint8 code) const { return forgetCode == int(code); }
    // The hold for the reply to a request with this code (consumes the hold
    // knob when it is the chosen request): its MS, or -1.
    int takeHold(quint8 code);

    static constexpr int holdGiveUpMs = 200;

    // The line form of `reply`: framed for `address` or bare; `requestBytes`
    // is the size of the request as it came over the line (for the line rate).
    ReplyPlan plan(const QByteArray& reply, bool framed, quint32 address, int requestBytes,
                   int extraDelayMs = 0);

    // Applies one knob command (name and arguments as typed). True when the
    // name is a knob; `message` then holds the answer ("OK ..." or
    // "ERROR ...").
    bool apply(const QString& name, const QStringList& args, QString* message);
    static QStringList knobNames();

    void clear();
    QJsonObject toJson() const;

    static QByteArray junkBytes();
    // The payload of the foreign frame: a status reply no command of this
    // board would accept from its own address.
    static QByteArray foreignPayload();

    int silent = 0;
    int corruptCrc = 0;
    int junk = 0;
    int foreign = 0;
    int dropAfter = -1;
    int splitPieces = 1;
    int splitPauseMs = 0;
    int delayMs = 0;
    int baud = 0;
    int lateCode = -1;
    int lateMs = 0;
    int refuseCode = -1;
    quint32 refuseStatus = 0;
    int forgetCode = -1;
    int holdCode = -1;
    int holdMs = 0;
    int holdSkip = 0; // requests with holdCode still to pass unheld
};
