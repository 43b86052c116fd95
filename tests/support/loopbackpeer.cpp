#include "loopbackpeer.h"

#include "fdio.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

LoopbackPeer::LoopbackPeer(int backlog)
{
    listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return;
    }
    const int on = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, backlog) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        ::close(listener);
        listener = -1;
        return;
    }
    boundPort = ntohs(address.sin_port);
}

LoopbackPeer::~LoopbackPeer()
{
    waitScript();
    closeConnection();
    stopListening();
}

bool LoopbackPeer::isListening() const
{
    return listener >= 0;
}

QString LoopbackPeer::errorString() const
{
    return error;
}

quint16 LoopbackPeer::port() const
{
    return boundPort;
}

void LoopbackPeer::startScript(std::function<void(LoopbackPeer&)> script, int acceptTimeoutMs)
{
    waitScript();
    scriptThread = std::thread([this, script, acceptTimeoutMs] {
        if (listener < 0)
            return;
        pollfd p { listener, POLLIN, 0 };
        if (::poll(&p, 1, acceptTimeoutMs) <= 0)
            return;
        connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0)
            return;
        const int on = 1;
        ::setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        script(*this);
    });
}

void LoopbackPeer::waitScript()
{
    if (scriptThread.joinable())
        scriptThread.join();
}

bool LoopbackPeer::accepted() const
{
    return connection >= 0;
}

bool LoopbackPeer::write(const QByteArray& bytes)
{
    return connection >= 0 && FdIo::writeAll(connection, bytes);
}

QByteArray LoopbackPeer::read(int count, int timeoutMs)
{
    return connection >= 0 ? FdIo::readCount(connection, count, timeoutMs) : QByteArray();
}

QByteArray LoopbackPeer::readUntilQuiet(int quietMs, int maxMs)
{
    return connection >= 0 ? FdIo::readUntilQuiet(connection, quietMs, maxMs) : QByteArray();
}

void LoopbackPeer::closeConnection()
{
    if (connection >= 0) {
        ::close(connection);
        connection = -1;
    }
}

void LoopbackPeer::stopListening()
{
    if (listener >= 0) {
        ::close(listener);
        listener = -1;
    }
}

void LoopbackPeer::pause(int ms)
{
    FdIo::pause(ms);
}
