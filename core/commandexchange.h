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

    bool written() const { return outcome != WriteFailed; }
    bool answered() const { return outcome == Replied; }
};

// The one request/reply pattern every command uses:
//   remember the connector's time-out; write the request (a failed write ends
//   the attempt and leaves the time-out alone); set the command's own time-out
//   only for the read; restore the remembered one whatever the read gave.
// Then the reply is checked; nothing is taken over from a reply that fails.
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

    explicit CommandExchange(Connector* connector);

    // One write and one read with the given read time-out; no check, no retry.
    // `accepted` is true whenever bytes arrived.
    ExchangeResult transact(const QByteArray& request, int timeoutMs,
                            const AfterWrite& afterWrite = AfterWrite()) const;

    // Command `code` followed by `data`, with the command's time-out and number
    // of attempts from the command table. Attempts stop at the first reply that
    // `check` accepts; a failed write counts as an attempt.
    ExchangeResult send(quint8 code, const QByteArray& data, const ReplyCheck& check) const;
    // The same for the commands whose only valid reply is an acknowledgement.
    ExchangeResult sendExpectingAck(quint8 code, const QByteArray& data = QByteArray()) const;

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
