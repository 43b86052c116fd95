#include "connector.h"

Connector::Connector()
    : timeout(3000)
{
}

Connector::Connector(const Connector& other)
    : timeout(other.timeout)
    , dumpCallback(other.dumpCallback)
{
}

Connector& Connector::operator=(const Connector& other)
{
    timeout = other.timeout;
    dumpCallback = other.dumpCallback;
    return *this;
}

Connector::~Connector()
{
    dumpCallback = nullptr;
    linkLostCallback = nullptr;
}

int Connector::getTimeout() const
{
    return timeout;
}

void Connector::setTimeout(int ms)
{
    timeout = ms;
}

void Connector::setDumpCallback(const DumpCallback& cb)
{
    dumpCallback = cb;
}

void Connector::clearDumpCallback()
{
    dumpCallback = nullptr;
}

void Connector::emitDump(const QString& line) const
{
    if (dumpCallback)
        dumpCallback(line);
}

void Connector::setLinkLostCallback(const LinkLostCallback& cb)
{
    linkLostCallback = cb;
}

void Connector::clearLinkLostCallback()
{
    linkLostCallback = nullptr;
}

bool Connector::isLinkLost() const
{
    return linkLost;
}

void Connector::reportLinkLost()
{
    if (linkLost)
        return;
    linkLost = true;
    // A copy: the callback may well clear itself.
    const LinkLostCallback cb = linkLostCallback;
    if (cb)
        cb();
}

qint64 Connector::extraReplies() const
{
    return extra;
}

void Connector::noteExtraReply()
{
    ++extra;
}
