#pragma once

#include <QByteArray>

#include <functional>

class Connector;

// What one command brought back.
struct ExchangeResult
{
    enum Outcome {
        WriteFailed, // the request never left (write gave -1, no connector, or stopped by the caller)
        NoReply,     // written, but the read came back empty (time-out or link error)
        Replied,     // reply bytes arrived; `accepted` says whether they were what the command wanted
    };

    Outcome outcome = WriteFailed;
    QByteArray reply;      // the last reply read (empty unless Replied)
    bool accepted = false; // the reply passed the command's check
    int attempts = 0;      // full exchanges made, a failed write included
    bool late = false;     // the reply came after the read time-out, within the grace

    bool written() const { return outcome != WriteFailed; }
    bool answered() const { return outcome == Replied; }
};

// The one request/reply pattern every command uses:
//   remember the connector's time-out; write the request (a failed write ends
//   the attempt and leaves the time-out alone); set the command's own time-out
//   only for the read; restore the remembered one whatever the read gave.
// Then the reply is checked; nothing is taken over from a reply that fails.
//
//
// Replies name no request, so they are told apart by time alone:
// - a reply that comes after the read time-out, within lateReplyGraceMs, can
//   only answer the request that is out (nothing else has been sent since), so
//   it is taken for it and no retry is needed;
// - a request is repeated only after the link stayed silent for the time-out
//   and the whole grace; the board may still answer the first copy, so once a
//   repeated request has been answered the link is drained (settle()) before
//   anything else goes out, and what came is dropped;
// - the transports drop whatever waits on the link when a request goes out,
//   since nothing received before it can be its answer.
// A board that answers later than that cannot be told from one answering the
// next request; the bounds keep a silent board from stalling a transfer.
//
// What can be told is that a request got more than one reply: the transport
// counts the input it throws away unread, settle() and quietWindow() count
// what they drain (Connector::extraReplies). An operation remembers
// extraReplies() at its start; if it has moved by the end, some reply may
// have been taken for the wrong request, and success cannot rest on the
// replies as counted. An operation that saw a retry or a late reply listens
// through quietWindow() before it declares success, so that the last reply
// of a link running one behind is seen.
//
// The class holds a plain pointer: the caller keeps the connector alive for the
// duration of a call (the firmware transfer holds its own shared pointer).
class CommandExchange
{
public:
    using ReplyCheck = std::function<bool(const QByteArray& reply)>;
    // Runs between the write and the read; returning false abandons the
    // exchange before the read (it then counts as WriteFailed).
    using AfterWrite = std::function<bool()>;

    // How long a reply may still come after the read time-out and count for
    // the request that is out.
    static constexpr int lateReplyGraceMs = 250;
    // settle(): the quiet that ends the drain, and the most the drain may take
    // on a link that keeps talking.
    static constexpr int settleQuietMs = 100;
    static constexpr int settleLimitMs = 1000;
    // quietWindow(): how long it listens.
    static constexpr int quietWindowMs = 300;

    explicit CommandExchange(Connector* connector);

    // One write and one read with the given read time-out (and the late-reply
    // grace after it); no check, no retry. `accepted` is true whenever bytes
    // arrived.
    // `graceMs` 0 leaves the grace out, where the caller bounds the wait
    // itself (a line scan asks the next address instead).
    ExchangeResult transact(const QByteArray& request, int timeoutMs,
                            const AfterWrite& afterWrite = AfterWrite(), int graceMs = lateReplyGraceMs) const;

    // Command `code` followed by `data`, with the command's time-out and number
    // of attempts from the command table. Attempts stop at the first reply that
    // `check` accepts; a failed write counts as an attempt.
    ExchangeResult send(quint8 code, const QByteArray& data, const ReplyCheck& check) const;
    // The same for the commands whose only valid reply is an acknowledgement.
    ExchangeResult sendExpectingAck(quint8 code, const QByteArray& data = QByteArray()) const;

    // Reads and drops whatever the link brings until a read comes back empty
    // (settleQuietMs each) or settleLimitMs have passed. For after a repeated
    // request was answered: the answer to an earlier copy may still follow.
    // Each reply it drops counts as an extra one.
    void settle() const;
    // Listens for quietWindowMs, with nothing sent, and drops whatever comes;
    // each reply counts as an extra one. Returns how many came.
    int quietWindow() const;

    // The extra replies seen on this link so far; zero without a connector.
    qint64 extraReplies() const;
    bool extraRepliesSince(qint64 mark) const { return extraReplies() != mark; }

    Connector* connector() const { return link; }

    // Reply checks. Lengths count the whole reply, lead byte included.
    static bool isAck(const QByteArray& reply);                             // first byte 0xC9
    static bool leadsWith(const QByteArray& reply, quint8 lead);
    static ReplyCheck ack();
    static ReplyCheck exactly(quint8 lead, int length);
    static ReplyCheck atLeast(quint8 lead, int minLength);

private:
    Connector* link;
};
