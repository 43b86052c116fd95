#pragma once

#include "tessarin_export.h"

#include <QByteArray>
#include <QString>

#include <functional>

// The transport through which every exchange with the board travels. Callers
// pass bare payloads; any framing is added and removed inside the transport.
class TESSARIN_EXPORT Connector
{
public:
    using DumpCallback = std::function<void(const QString&)>;
    using LinkLostCallback = std::function<void()>;

    Connector();
    Connector(const Connector& other);
    Connector& operator=(const Connector& other);
    virtual ~Connector();

    virtual void setDevID(unsigned char id) = 0;
    // Bytes handed to the line, or -1 on failure.
    virtual int write(const QByteArray& data) = 0;
    // The reply payload, or empty on time-out or failure.
    virtual QByteArray read() = 0;

    int getTimeout() const;
    void setTimeout(int ms);

    void setDumpCallback(const DumpCallback& cb);
    void clearDumpCallback();

    // Called once, on the thread that created the transport, when the
    // operating system says the link is gone: the TCP peer closed or reset
    // the connection, or the serial device reported a resource error (it was
    // unplugged, or the far end of a pseudo-terminal closed). Nothing is sent
    // to find out: a board that merely stays silent is not reported here. The
    // call may come from inside read() or write(), so the callback must not
    // destroy the transport there and then; post the work instead. The
    // connection bar installs its own on the transports it hands over and
    // tells its host through Tessarin::onLinkLost.
    void setLinkLostCallback(const LinkLostCallback& cb);
    void clearLinkLostCallback();
    // Whether the loss has been reported; it stays so for the transport's life.
    bool isLinkLost() const;

    // One request gets at most one reply, and replies name no request. This
    // counts the times a reply (or a piece of one) turned up that no read
    // took as its request's answer: input the transport threw away when a
    // request went out, a frame behind the one a read returned, and replies a
    // caller read only to drop them (noteExtraReply). Once it moves, which
    // reply answered which request is no longer certain, so an operation
    // compares it at its end with its value at the start. Counts for the
    // transport's life. Decorators pass both calls on to the transport.
    virtual qint64 extraReplies() const;
    virtual void noteExtraReply();

protected:
    void emitDump(const QString& line) const;
    // Transports call this when the system reports the link gone; only the
    // first call reaches the callback.
    void reportLinkLost();

private:
    int timeout;
    DumpCallback dumpCallback;
    LinkLostCallback linkLostCallback;
    bool linkLost = false;
    qint64 extra = 0;
};
