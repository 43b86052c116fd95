#include "commandexchange.h"

#include "commandset.h"
#include "connector.h"

#include <QElapsedTimer>

namespace {

// Puts the remembered time-out back however the read ends.
class TimeoutRestorer
{
public:
    TimeoutRestorer(Connector* connector, int saved)
        : connector(connector)
        , saved(saved)
    {
    }
    ~TimeoutRestorer() { connector->setTimeout(saved); }
    TimeoutRestorer(const TimeoutRestorer&) = delete;
    TimeoutRestorer& operator=(const TimeoutRestorer&) = delete;

private:
    Connector* connector;
    int saved;
};

} // namespace

CommandExchange::CommandExchange(Connector* connector)
    : link(connector)
{
}

ExchangeResult CommandExchange::transact(const QByteArray& request, int timeoutMs,
                                         const AfterWrite& afterWrite, int graceMs) const
{
    ExchangeResult result;
    if (!link)
        return result;
    result.attempts = 1;

    const int saved = link->getTimeout();
    if (link->write(request) < 0)
        return result;
    if (afterWrite && !afterWrite())
        return result;

    QByteArray reply;
    {
        TimeoutRestorer restore(link, saved);
        link->setTimeout(timeoutMs);
        reply = link->read();
        if (reply.isEmpty() && graceMs > 0) {
            link->setTimeout(graceMs);
            reply = link->read();
            result.late = !reply.isEmpty();
        }
    }
    if (reply.isEmpty()) {
        result.outcome = ExchangeResult::NoReply;
        return result;
    }
    result.outcome = ExchangeResult::Replied;
    result.reply = reply;
    result.accepted = true;
    return result;
}

ExchangeResult CommandExchange::send(quint8 code, const QByteArray& data, const ReplyCheck& check) const
{
    QByteArray request;
    request.reserve(1 + data.size());
    request.append(char(code));
    request.append(data);

    ExchangeResult result;
    if (!link)
        return result;
    const int attempts = qMax(1, Command::attempts(code));
    int unanswered = 0;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        result = transact(request, Command::timeoutMs(code));
        result.attempts = attempt;
        if (result.outcome == ExchangeResult::NoReply)
            ++unanswered;
        result.accepted = result.answered() && (!check || check(result.reply));
        if (result.accepted)
            break;
    }
    if (unanswered > 0 && result.answered())
        settle();
    return result;
}

void CommandExchange::settle() const
{
    if (!link)
        return;
    TimeoutRestorer restore(link, link->getTimeout());
    link->setTimeout(settleQuietMs);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < settleLimitMs && !link->read().isEmpty())
        link->noteExtraReply();
}

int CommandExchange::quietWindow() const
{
    if (!link)
        return 0;
    TimeoutRestorer restore(link, link->getTimeout());
    QElapsedTimer clock;
    clock.start();
    int replies = 0;
    // An empty read waited out the rest of the window (or the link is gone).
    for (qint64 left = quietWindowMs; left > 0; left = quietWindowMs - clock.elapsed()) {
        link->setTimeout(int(left));
        if (link->read().isEmpty())
            break;
        link->noteExtraReply();
        ++replies;
    }
    return replies;
}

qint64 CommandExchange::extraReplies() const
{
    return link ? link->extraReplies() : 0;
}

ExchangeResult CommandExchange::sendExpectingAck(quint8 code, const QByteArray& data) const
{
    return send(code, data, ack());
}

bool CommandExchange::leadsWith(const QByteArray& reply, quint8 lead)
{
    return !reply.isEmpty() && quint8(reply.at(0)) == lead;
}

bool CommandExchange::isAck(const QByteArray& reply)
{
    return leadsWith(reply, Command::ReplyAck);
}

CommandExchange::ReplyCheck CommandExchange::ack()
{
    return [](const QByteArray& reply) { return isAck(reply); };
}

CommandExchange::ReplyCheck CommandExchange::exactly(quint8 lead, int length)
{
    return [lead, length](const QByteArray& reply) { return reply.size() == length && leadsWith(reply, lead); };
}

CommandExchange::ReplyCheck CommandExchange::atLeast(quint8 lead, int minLength)
{
    return [lead, minLength](const QByteArray& reply) {
        return reply.size() >= minLength && leadsWith(reply, lead);
    };
}
