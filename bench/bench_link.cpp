// Figures for the board link: frame codec throughput, and the time of one
// request/reply exchange through the serial transport (over a pseudo-terminal)
// and the TCP transport (over loopback) against a peer that answers at once.

#include "connectorip.h"
#include "connectorserial.h"
#include "fdio.h"
#include "framecodec.h"
#include "loopbackpeer.h"
#include "ptypair.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <cstdio>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kExchanges = 1000;
constexpr uint8_t kAddress = 1;

struct Spread
{
    double medianMs = 0;
    double p95Ms = 0;
    double maxMs = 0;
    int failures = 0;
};

Spread spreadOf(QVector<qint64> nanos, int failures)
{
    Spread s;
    s.failures = failures;
    if (nanos.isEmpty())
        return s;
    std::sort(nanos.begin(), nanos.end());
    s.medianMs = nanos.at(nanos.size() / 2) / 1e6;
    s.p95Ms = nanos.at(qMin(nanos.size() - 1, int(nanos.size() * 0.95))) / 1e6;
    s.maxMs = nanos.last() / 1e6;
    return s;
}

void printSpread(const char* what, const Spread& s)
{
    std::printf("%-44s median %7.3f ms   p95 %7.3f ms   max %7.3f ms   failures %d\n", what, s.medianMs, s.p95Ms,
                s.maxMs, s.failures);
}

void benchCodec()
{
    std::printf("Frame codec (Pack + Unpack of one frame)\n");
    for (int size : { 1, 16, 64, 255 }) {
        const QByteArray payload(size, char(0x5A));
        const int rounds = size < 64 ? 400000 : 100000;
        QElapsedTimer clock;
        clock.start();
        qint64 check = 0;
        for (int i = 0; i < rounds; ++i) {
            QByteArray buffer;
            FrameCodec::pack(buffer, kAddress, payload);
            const UnpackResult r = FrameCodec::unpack(buffer, kAddress);
            check += r.payload.size();
        }
        const double seconds = clock.nsecsElapsed() / 1e9;
        if (check != qint64(rounds) * size)
            std::printf("  codec lost data!\n");
        std::printf("  payload %3d bytes: %9.0f frames/s  %7.1f MB/s of frames  (%.3f us per frame)\n", size,
                    rounds / seconds, rounds * double(size + FrameCodec::overhead) / seconds / 1e6,
                    seconds / rounds * 1e6);
    }
}

// Reads request frames from fd and answers each at once with a short reply.
void answerFrames(int fd, const std::atomic<bool>& stop, const QByteArray& replyPayload)
{
    const QByteArray reply = FrameCodec::pack(kAddress, replyPayload);
    QByteArray buffer;
    while (!stop) {
        const QByteArray chunk = FdIo::readSome(fd, 20);
        if (chunk.isEmpty())
            continue;
        buffer += chunk;
        for (;;) {
            const UnpackResult r = FrameCodec::unpack(buffer, kAddress);
            if (r.status == UnpackIncomplete)
                break;
            if (r.status == UnpackOk)
                FdIo::writeAll(fd, reply);
        }
    }
}

Spread exchanges(Connector& link, const QByteArray& expected)
{
    const QByteArray request = QByteArray::fromHex("64");
    QVector<qint64> nanos;
    nanos.reserve(kExchanges);
    int failures = 0;
    for (int i = 0; i < kExchanges + 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        const bool ok = link.write(request) > 0 && link.read() == expected;
        const qint64 took = clock.nsecsElapsed();
        if (i < 20)
            continue; // warm-up
        if (ok)
            nanos << took;
        else
            ++failures;
    }
    return spreadOf(nanos, failures);
}

// The same exchange with plain descriptor I/O: what the line itself costs.
Spread rawExchanges(int fd, int replySize)
{
    const QByteArray request = FrameCodec::pack(kAddress, QByteArray::fromHex("64"));
    QVector<qint64> nanos;
    int failures = 0;
    for (int i = 0; i < kExchanges + 20; ++i) {
        QElapsedTimer clock;
        clock.start();
        FdIo::writeAll(fd, request);
        const bool ok = FdIo::readCount(fd, replySize, 1000).size() == replySize;
        const qint64 took = clock.nsecsElapsed();
        if (i < 20)
            continue;
        if (ok)
            nanos << took;
        else
            ++failures;
    }
    return spreadOf(nanos, failures);
}

void benchSerial()
{
    const QByteArray replyPayload = QByteArray::fromHex("64 00 01 02 03 04 05 06");
    const int replySize = replyPayload.size() + FrameCodec::overhead;

    PtyPair pty;
    if (!pty.isOpen()) {
        std::printf("pty: %s\n", qPrintable(pty.errorString()));
        return;
    }
    std::atomic<bool> stop { false };
    pty.startScript([&](PtyPair& board) { answerFrames(board.masterFd(), stop, replyPayload); });

    {
        ConnectorSerial link(pty.slavePath());
        link.setDevID(kAddress);
        link.setTimeout(1000);
        if (!link.openPort(pty.slavePath(), 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                           QSerialPort::NoFlowControl)) {
            std::printf("serial: cannot open %s\n", qPrintable(pty.slavePath()));
        } else {
            printSpread("ConnectorSerial over a pty, one exchange", exchanges(link, replyPayload));
        }
    }

    // Baseline: a plain descriptor on the same slave, answered by the same board.
    const int slave = ::open(qPrintable(pty.slavePath()), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave >= 0) {
        printSpread("plain descriptor over the same pty", rawExchanges(slave, replySize));
        ::close(slave);
    }
    stop = true;
    pty.waitScript();
}

void benchTcp()
{
    const QByteArray replyPayload = QByteArray::fromHex("64 00 01 02 03 04 05 06");
    const int replySize = replyPayload.size() + FrameCodec::overhead;

    for (int pass = 0; pass < 2; ++pass) {
        LoopbackPeer peer;
        std::atomic<bool> stop { false };
        peer.startScript([&](LoopbackPeer& p) {
            while (!stop) {
                const QByteArray request = p.read(12, 20);
                if (request.size() == 12)
                    p.write(FrameCodec::pack(kAddress, replyPayload));
            }
        });
        if (pass == 0) {
            ConnectorIP link(QStringLiteral("127.0.0.1"), peer.port());
            link.setDevID(kAddress);
            link.setTimeout(1000);
            if (!link.isConnected())
                std::printf("tcp: %s\n", qPrintable(link.lastErrorString()));
            else
                printSpread("ConnectorIP over loopback, one exchange", exchanges(link, replyPayload));
        } else {
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in address {};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(peer.port());
            const int on = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
                printSpread("plain socket over loopback", rawExchanges(fd, replySize));
            ::close(fd);
        }
        stop = true;
        peer.waitScript();
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchCodec();
    std::printf("\nRound trip of one request/reply (%d exchanges, 8-byte reply payload, peer answers at once)\n",
                kExchanges);
    benchSerial();
    benchTcp();
    return 0;
}
