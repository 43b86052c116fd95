// The read loops of the three transports against a peer that sends anything
// in any pieces at any pace: a real loopback TCP connection, and a
// pseudo-terminal for the framed serial line and for USB COM. A read ends
// near its time-out; a framed read gives only a payload that some whole,
// correct frame for this address carried; a USB read gives bytes in the
// order they came, never more than a chunk.

#include "connectorip.h"
#include "connectorserial.h"
#include "connectorusb.h"
#include "framecodec.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

namespace {

QTcpServer* server = nullptr;

struct Piece
{
    QByteArray bytes;
    int pauseMs = 0;
};

// Junk, pieces of frames and whole frames, some for other addresses.
std::vector<Piece> piecesFrom(FuzzedDataProvider& in, quint32 address)
{
    std::vector<Piece> pieces;
    while (in.remaining_bytes() > 0 && pieces.size() < 24) {
        Piece piece;
        piece.pauseMs = in.ConsumeIntegralInRange<int>(0, 12);
        const std::string bytes = in.ConsumeRandomLengthString(300);
        piece.bytes = QByteArray(bytes.data(), int(bytes.size()));
        if (in.ConsumeBool())
            piece.bytes = FrameCodec::pack(in.ConsumeBool() ? address : address + 1, piece.bytes);
        if (in.ConsumeBool() && !piece.bytes.isEmpty())
            piece.bytes.truncate(in.ConsumeIntegralInRange<int>(0, piece.bytes.size()));
        pieces.push_back(piece);
    }
    return pieces;
}

// Every payload a whole, correct frame for `address` carries, wherever it starts.
QList<QByteArray> framedPayloads(const QByteArray& line, quint32 address)
{
    QList<QByteArray> payloads;
    for (int at = line.indexOf(QByteArray("\xfe\x45\xff\x54", 4)); at >= 0;
         at = line.indexOf(QByteArray("\xfe\x45\xff\x54", 4), at + 1)) {
        QByteArray rest = line.mid(at);
        const UnpackResult frame = FrameCodec::unpack(rest, address);
        if (frame.status == UnpackOk)
            payloads.append(frame.payload);
    }
    return payloads;
}

// Once the reads are over nobody takes the bytes in: a full line ends the
// peer rather than hold it.
void sendPieces(int fd, const std::vector<Piece>& pieces)
{
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    for (const Piece& piece : pieces) {
        ::usleep(useconds_t(piece.pauseMs) * 1000);
        for (int done = 0; done < piece.bytes.size();) {
            const ssize_t n = ::write(fd, piece.bytes.constData() + done, size_t(piece.bytes.size() - done));
            if (n > 0) {
                done += int(n);
                continue;
            }
            pollfd writable { fd, POLLOUT, 0 };
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            if (::poll(&writable, 1, 100) <= 0)
                return;
        }
    }
}

// A request or two out and a read after each, while the peer talks.
void exchange(Connector& link, int fd, bool framed, quint32 address, int timeoutMs, const std::vector<Piece>& pieces)
{
    QByteArray line;
    for (const Piece& piece : pieces)
        line += piece.bytes;
    const QList<QByteArray> possible = framedPayloads(line, address);

    link.setTimeout(timeoutMs);
    std::thread peer(sendPieces, fd, std::cref(pieces));
    for (int round = 0; round < 2; ++round) {
        link.write(QByteArray("\x78", 1));
        QElapsedTimer clock;
        clock.start();
        const QByteArray reply = link.read();
        // Far beyond any time-out plus grace, even on a loaded machine: only
        // a hang goes past it.
        FUZZ_CHECK(clock.elapsed() < 3 * timeoutMs + 5000);
        if (framed)
            FUZZ_CHECK(reply.isEmpty() || possible.contains(reply));
        else
            FUZZ_CHECK(reply.size() <= 64 * 1024 && line.contains(reply));
    }
    peer.join();
}

void overTcp(FuzzedDataProvider& in, int timeoutMs)
{
    const quint32 address = in.ConsumeIntegralInRange<quint32>(0, 255);
    const std::vector<Piece> pieces = piecesFrom(in, address);
    ConnectorIP link(QStringLiteral("127.0.0.1"), server->serverPort());
    link.setDevID(uchar(address));
    FUZZ_CHECK(server->waitForNewConnection(2000));
    std::unique_ptr<QTcpSocket> board(server->nextPendingConnection());
    FUZZ_CHECK(board && link.isConnected());
    exchange(link, int(board->socketDescriptor()), true, address, timeoutMs, pieces);
}

void overPty(FuzzedDataProvider& in, int timeoutMs, bool usb)
{
    const quint32 address = in.ConsumeIntegralInRange<quint32>(0, 255);
    const std::vector<Piece> pieces = piecesFrom(in, address);
    int master = -1;
    int slave = -1;
    char name[128] = {};
    FUZZ_CHECK(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
    termios raw {};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    const QString path = QString::fromLocal8Bit(name);
    if (usb) {
        ConnectorUSB link(path);
        QSerialPort* port = link.GetSerialPort();
        port->setPortName(path);
        FUZZ_CHECK(port->open(QIODevice::ReadWrite));
        exchange(link, master, false, address, timeoutMs, pieces);
    } else {
        ConnectorSerial link(path);
        link.setDevID(uchar(address));
        FUZZ_CHECK(link.openPort(path, 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                                 QSerialPort::NoFlowControl));
        exchange(link, master, true, address, timeoutMs, pieces);
    }
    ::close(slave);
    ::close(master);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    server = new QTcpServer;
    FUZZ_CHECK(server->listen(QHostAddress::LocalHost, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int link = in.ConsumeIntegralInRange<int>(0, 2);
    const int timeoutMs = in.ConsumeIntegralInRange<int>(5, 60);
    if (link == 0)
        overTcp(in, timeoutMs);
    else
        overPty(in, timeoutMs, link == 2);
    return 0;
}
