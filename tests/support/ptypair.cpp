#include "ptypair.h"

#include "fdio.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        master = slave = -1;
        return;
    }
    slaveName = QString::fromLocal8Bit(name);

    termios tio {};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave, TCSANOW, &tio);
    }
    if (::tcgetattr(master, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(master, TCSANOW, &tio);
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair()
{
    waitScript();
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
}

bool PtyPair::isOpen() const
{
    return master >= 0;
}

QString PtyPair::errorString() const
{
    return error;
}

QString PtyPair::slavePath() const
{
    return slaveName;
}

int PtyPair::masterFd() const
{
    return master;
}

bool PtyPair::write(const QByteArray& bytes)
{
    return FdIo::writeAll(master, bytes);
}

bool PtyPair::writeChunks(const QList<QByteArray>& chunks, int pauseMs)
{
    for (int i = 0; i < chunks.size(); ++i) {
        if (i > 0)
            pause(pauseMs);
        if (!write(chunks.at(i)))
            return false;
    }
    return true;
}

QByteArray PtyPair::read(int count, int timeoutMs)
{
    return FdIo::readCount(master, count, timeoutMs);
}

QByteArray PtyPair::readUntilQuiet(int quietMs, int maxMs)
{
    return FdIo::readUntilQuiet(master, quietMs, maxMs);
}

QByteArray PtyPair::drain()
{
    return FdIo::drain(master);
}

void PtyPair::startScript(std::function<void(PtyPair&)> script)
{
    waitScript();
    scriptThread = std::thread([this, script] { script(*this); });
}

void PtyPair::waitScript()
{
    if (scriptThread.joinable())
        scriptThread.join();
}

void PtyPair::pause(int ms)
{
    FdIo::pause(ms);
}
