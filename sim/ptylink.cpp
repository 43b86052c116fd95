#include "ptylink.h"

#include "clientsession.h"
#include "virtualboard.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PtyLink::PtyLink(VirtualBoard* owner, bool isBare, QObject* parent)
    : QObject(parent)
    , board(owner)
    , bare(isBare)
{
}

PtyLink::~PtyLink()
{
    delete readNotifier;
    delete writeNotifier;
    if (master >= 0)
        ::close(master);
    if (slave >= 0)
        ::close(slave);
}

bool PtyLink::open(QString* error)
{
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        if (error)
            *error = QStringLiteral("openpty: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        master = slave = -1;
        return false;
    }
    path = QString::fromLocal8Bit(name);
    termios tio {};
    for (int fd : { master, slave }) {
        if (::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);

    const QString peer = QStringLiteral("pty %1%2").arg(path, bare ? QStringLiteral(" bare") : QString());
    auto sink = [this](const QByteArray& bytes) { writeMaster(bytes); };
    auto hangUp = [this, peer] {
        board->log().event(peer, QStringLiteral("line cut on purpose: the rest of the reply is lost"));
        session->reset();
    };
    session = new ClientSession(board, !bare, peer, sink, hangUp, this);
    const int slaveFd = slave;
    session->setRequestHook([slaveFd] { ::tcflush(slaveFd, TCIFLUSH); });

    readNotifier = new QSocketNotifier(master, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyLink::readMaster);
    writeNotifier = new QSocketNotifier(master, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyLink::flushPending);
    return true;
}

void PtyLink::readMaster()
{
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(master, chunk, sizeof chunk);
        if (got > 0) {
            session->receive(QByteArray(chunk, int(got)));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        break;
    }
}

void PtyLink::writeMaster(const QByteArray& bytes)
{
    pending.append(bytes);
    flushPending();
}

void PtyLink::flushPending()
{
    while (!pending.isEmpty()) {
        const ssize_t put = ::write(master, pending.constData(), size_t(pending.size()));
        if (put > 0) {
            pending.remove(0, int(put));
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            board->log().event(QStringLiteral("pty"),
                               QStringLiteral("write failed: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            pending.clear();
        }
        break;
    }
    writeNotifier->setEnabled(!pending.isEmpty());
}
