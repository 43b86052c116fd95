#include "watchedconnector.h"

#include <utility>

WatchedConnector::WatchedConnector(QSharedPointer<Connector> inner)
    : inner(std::move(inner))
{
}

void WatchedConnector::setDevID(unsigned char id)
{
    inner->setDevID(id);
}

int WatchedConnector::write(const QByteArray& data)
{
    inner->setTimeout(getTimeout() + extraWaitMs);
    ++counts.writes;
    sinceWrite = SinceWrite::Unread;
    const int written = inner->write(data);
    if (written < 0)
        ++counts.failedWrites;
    if (trace)
        trace(QStringLiteral("> %1%2").arg(QString::fromLatin1(data.toHex(' ')),
                                           written < 0 ? QStringLiteral(" (write failed)") : QString()));
    return written;
}

QByteArray WatchedConnector::read()
{
    inner->setTimeout(getTimeout() + extraWaitMs);
    ++counts.reads;
    const QByteArray reply = inner->read();
    // A reply waited for past the time-out still answered the request.
    if (reply.isEmpty() && sinceWrite == SinceWrite::Unread) {
        ++counts.silentReads;
        sinceWrite = SinceWrite::Silent;
    } else if (!reply.isEmpty()) {
        if (sinceWrite == SinceWrite::Silent)
            --counts.silentReads;
        sinceWrite = SinceWrite::Answered;
    }
    if (trace)
        trace(reply.isEmpty() ? QStringLiteral("< (nothing within %1 ms)").arg(getTimeout() + extraWaitMs)
                              : QStringLiteral("< %1").arg(QString::fromLatin1(reply.toHex(' '))));
    return reply;
}

qint64 WatchedConnector::extraReplies() const
{
    return inner->extraReplies();
}

void WatchedConnector::noteExtraReply()
{
    inner->noteExtraReply();
}

void WatchedConnector::setTrace(const Trace& newTrace)
{
    trace = newTrace;
}
