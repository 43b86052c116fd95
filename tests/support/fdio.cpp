#include "fdio.h"

#include <QElapsedTimer>

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace FdIo {

QByteArray readSome(int fd, int waitMs)
{
    pollfd p { fd, POLLIN, 0 };
    int ready;
    do
        ready = ::poll(&p, 1, waitMs < 0 ? 0 : waitMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return QByteArray();
    if (!(p.revents & POLLIN)) {
        // Hung up or failed: nothing will come; do not let callers spin.
        pause(qMin(waitMs, 5));
        return QByteArray();
    }
    char chunk[4096];
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    return got > 0 ? QByteArray(chunk, int(got)) : QByteArray();
}

QByteArray readCount(int fd, int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        got += readSome(fd, int(left));
    }
    return got;
}

QByteArray readUntilQuiet(int fd, int quietMs, int maxMs)
{
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = maxMs - clock.elapsed();
        if (left <= 0)
            break;
        const QByteArray chunk = readSome(fd, int(qMin<qint64>(quietMs, left)));
        if (chunk.isEmpty())
            break;
        got += chunk;
    }
    return got;
}

QByteArray drain(int fd)
{
    QByteArray got;
    for (QByteArray chunk = readSome(fd, 0); !chunk.isEmpty(); chunk = readSome(fd, 0))
        got += chunk;
    return got;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    int done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
                pollfd p { fd, POLLOUT, 0 };
                ::poll(&p, 1, 100);
                continue;
            }
            return false;
        }
        done += int(n);
    }
    return true;
}

void pause(int ms)
{
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace FdIo
