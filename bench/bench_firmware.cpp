// Figures for the firmware transfer: a 256 KiB image (mixed content, and
// mostly erased flash, 0xFF) sent by both methods through the transfer engine
// and the TCP transport to the virtual board. Printed: total time, blocks per
// second, the time spent inside the transport calls (board and link) and the
// program's own time per block beyond it. Then the serial transport over a
// pseudo-terminal with the board pacing both directions as a real line would
// (a byte never arrives before its ten bits were sent), against the time the
// bytes need on such a wire and against the protocol floor: the wire time plus
// the quiet gap that ends each reply. Each paced run is repeated with a direct
// single-threaded client on the same pty: what it needs beyond the floor is the
// machine's (the pty's hand-over of each request, wake-ups, how late a 2 ms
// wait really ends), and the difference to it is what the serial transport
// itself costs.
//
// "bench_firmware paced" prints only the second table, "bench_firmware
// round-trips" only its one-command round trips.
#include "connectorip.h"
#include "connectorserial.h"
#include "firmwareplan.h"
#include "firmwaretransfer.h"
#include "framecodec.h"
#include "virtualboardprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kImageSize = 256 * 1024;
constexpr int kBitsPerByte = 10; // start, 8 data, stop
const int kRates[] = { 115200, 921600 };
// A serial read ends once the line has been quiet this long after a frame.
constexpr double kReplyGapMs = 2.0;

QByteArray mixedImage()
{
    QRandomGenerator random(2024);
    QByteArray image;
    while (image.size() < kImageSize) {
        switch (random.bounded(4)) {
        case 0:
            for (int n = random.bounded(1, 2000); n > 0; --n)
                image.append(char(random.bounded(256)));
            break;
        case 1:
            image.append(random.bounded(1, 3000), '\xFF');
            break;
        case 2:
            image.append(random.bounded(1, 200), '\0');
            break;
        default:
            image.append(random.bounded(2, 6), char(random.bounded(256)));
            break;
        }
    }
    image.truncate(kImageSize);
    return image;
}

// Code and tables at the start, the rest of the flash erased.
QByteArray mostlyErasedImage()
{
    QRandomGenerator random(77);
    QByteArray image(kImageSize, '\xFF');
    for (int i = 0; i < kImageSize / 8; ++i)
        image[i] = char(random.bounded(256));
    for (int island = 0; island < 20; ++island) {
        const int at = random.bounded(kImageSize / 8, kImageSize - 512);
        for (int i = 0; i < 256; ++i)
            image[at + i] = char(random.bounded(256));
    }
    return image;
}

// Forwards to the real transport and adds up the time spent inside it.
class TimedConnector : public Connector
{
public:
    explicit TimedConnector(std::unique_ptr<Connector> inner)
        : inner(std::move(inner))
    {
    }

    void setDevID(unsigned char id) override { inner->setDevID(id); }
    int write(const QByteArray& data) override
    {
        QElapsedTimer clock;
        clock.start();
        const int n = inner->write(data);
        writing += clock.nsecsElapsed();
        inside += clock.nsecsElapsed();
        return n;
    }
    QByteArray read() override
    {
        inner->setTimeout(getTimeout());
        QElapsedTimer clock;
        clock.start();
        QByteArray reply = inner->read();
        inside += clock.nsecsElapsed();
        ++reads;
        return reply;
    }

    qint64 inside = 0;
    qint64 writing = 0;
    int reads = 0;

private:
    std::unique_ptr<Connector> inner;
};

// The least a client can do on the same pty and board: one thread, plain
// write(), poll() and read(), the same framing and the same quiet gap. What
// it measures beyond the floor belongs to the system (pty hand-over, wake-ups,
// timer precision); what the serial transport needs beyond it is its own.
class DirectPtyConnector : public Connector
{
public:
    explicit DirectPtyConnector(const QString& path)
    {
        // The same timer slack the serial transport's worker asks for.
        prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
        fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio {};
        if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
    }
    ~DirectPtyConnector() override
    {
        if (fd >= 0)
            ::close(fd);
    }
    bool isOpen() const { return fd >= 0; }

    void setDevID(unsigned char id) override { devId = id; }
    int write(const QByteArray& payload) override
    {
        char junk[256];
        while (::read(fd, junk, sizeof junk) > 0) {
        }
        const QByteArray frame = FrameCodec::pack(devId, payload);
        return ::write(fd, frame.constData(), size_t(frame.size())) == frame.size() ? frame.size() : -1;
    }
    QByteArray read() override
    {
        QElapsedTimer clock;
        clock.start();
        QByteArray buffer;
        for (;;) {
            const qint64 leftNs = getTimeout() * 1000000LL - clock.nsecsElapsed();
            const qint64 waitNs = buffer.isEmpty() ? leftNs : std::min<qint64>(leftNs, qint64(kReplyGapMs * 1e6));
            if (waitNs <= 0)
                break;
            pollfd p { fd, POLLIN, 0 };
            const timespec span { time_t(waitNs / 1000000000), long(waitNs % 1000000000) };
            if (::ppoll(&p, 1, &span, nullptr) <= 0)
                break;
            char chunk[512];
            const ssize_t got = ::read(fd, chunk, sizeof chunk);
            if (got > 0)
                buffer.append(chunk, int(got));
        }
        return FrameCodec::unpack(buffer, devId).payload;
    }

private:
    int fd = -1;
    unsigned char devId = 0;
};

// Bytes a block and its acknowledgement take on the line, frames included.
qint64 wireBytes(const FirmwarePlan& plan)
{
    qint64 bytes = 0;
    const int count = plan.blocks.size();
    const qint64 ackFrame = FrameCodec::pack(0, QByteArray(1, char(0xC9))).size();
    for (int i = 0; i < count; ++i) {
        const QByteArray request =
            firmwareBlockRequest(firmwareBlockOpcode(plan.method, i, count), i, plan.blocks.at(i).data);
        bytes += FrameCodec::pack(0, request).size() + ackFrame;
    }
    return bytes;
}

struct Run
{
    bool ok = false;
    int blocks = 0;
    int reads = 0;
    double planMs = 0;
    double totalMs = 0;
    double insideMs = 0;
    double writeMs = 0;
};

// A transport to the board: TCP, or the serial transport on its pty at `baud`.
std::unique_ptr<Connector> connectTo(VirtualBoardProcess& board, int baud, bool direct = false)
{
    if (direct) {
        auto raw = std::make_unique<DirectPtyConnector>(board.ptyPath());
        if (raw->isOpen())
            return raw;
        std::printf("  cannot open %s\n", qPrintable(board.ptyPath()));
        return nullptr;
    }
    if (baud <= 0) {
        auto ip = std::make_unique<ConnectorIP>(board.host(), board.port());
        if (ip->isConnected())
            return ip;
        std::printf("  cannot connect: %s\n", qPrintable(ip->lastErrorString()));
        return nullptr;
    }
    auto serial = std::make_unique<ConnectorSerial>(board.ptyPath());
    if (serial->openPort(board.ptyPath(), baud, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                         QSerialPort::NoFlowControl))
        return serial;
    std::printf("  cannot open %s\n", qPrintable(board.ptyPath()));
    return nullptr;
}

Run transfer(VirtualBoardProcess& board, const QByteArray& image, FirmwareMethod method, FirmwarePlan* planOut,
             int baud = 0, bool direct = false)
{
    Run run;
    std::unique_ptr<Connector> inner = connectTo(board, baud, direct);
    if (!inner)
        return run;
    QSharedPointer<TimedConnector> link(new TimedConnector(std::move(inner)));
    link->setDevID(0);

    QElapsedTimer clock;
    clock.start();
    const FirmwarePlan plan = planFirmwareTransfer(image, method);
    run.planMs = clock.nsecsElapsed() / 1e6;
    const FirmwareTransfer::Result result = FirmwareTransfer(link).run(plan);
    run.totalMs = clock.nsecsElapsed() / 1e6;

    run.ok = result.ok();
    run.blocks = result.blocksAcknowledged;
    run.reads = link->reads;
    run.insideMs = link->inside / 1e6;
    run.writeMs = link->writing / 1e6;
    if (planOut)
        *planOut = plan;
    return run;
}

// The median round trip of a one-byte command the board answers at once.
double floorRoundTripMs(VirtualBoardProcess& board, int baud = 0, bool direct = false)
{
    const std::unique_ptr<Connector> link = connectTo(board, baud, direct);
    if (!link)
        return -1;
    link->setDevID(0);
    link->setTimeout(2000);
    QVector<qint64> times;
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer clock;
        clock.start();
        if (link->write(QByteArray(1, char(0x79))) < 0 || link->read().isEmpty())
            continue;
        times << clock.nsecsElapsed();
    }
    if (times.isEmpty())
        return -1;
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const bool pacedOnly = QCoreApplication::arguments().contains(QStringLiteral("paced"));
    const bool roundTripsOnly = QCoreApplication::arguments().contains(QStringLiteral("round-trips"));

    struct Image
    {
        const char* name;
        QByteArray bytes;
    };
    const Image images[] = { { "mixed", mixedImage() }, { "mostly 0xFF", mostlyErasedImage() } };
    const FirmwareMethod methods[] = { FirmwareMethod::Legacy, FirmwareMethod::Rle };

    if (!pacedOnly && !roundTripsOnly) {
        VirtualBoardProcess board;
        if (!board.start({ QStringLiteral("--quiet"), QStringLiteral("--mode"), QStringLiteral("boot") })) {
            std::printf("virtual board: %s\n", qPrintable(board.errorString()));
            return 1;
        }
        const double floorMs = floorRoundTripMs(board);
        std::printf("Firmware transfer of %d KiB over TCP loopback to the virtual board (no line pacing)\n",
                    kImageSize / 1024);
        std::printf("  round trip of a one-byte command (median of 300): %.3f ms\n", floorMs);
        for (const Image& image : images) {
            for (FirmwareMethod method : methods) {
                const Run r = transfer(board, image.bytes, method, nullptr);
                if (!r.ok) {
                    std::printf("  %-12s %-6s FAILED after %d blocks\n", image.name,
                                qPrintable(firmwareMethodName(method)), r.blocks);
                    continue;
                }
                const double perBlock = r.totalMs / r.blocks;
                const double ownPerBlock = (r.totalMs - r.insideMs) / r.blocks;
                std::printf("  %-12s %-6s %5d blocks  total %8.1f ms  %8.0f blocks/s  %.3f ms/block"
                            "  (in transport %.3f ms, program's own %.4f ms incl. plan %.1f ms)\n",
                            image.name, qPrintable(firmwareMethodName(method)), r.blocks, r.totalMs,
                            r.blocks / (r.totalMs / 1000.0), perBlock, r.insideMs / r.blocks, ownPerBlock, r.planMs);
                if (r.reads != r.blocks)
                    std::printf("    note: %d reads for %d blocks (resends)\n", r.reads, r.blocks);
            }
        }
        std::printf("\n");
    }

    std::printf("Serial transport over a pty, the board pacing both directions (%d bits a byte);\n"
                "floor = wire time + %.0f ms quiet gap after each reply\n",
                kBitsPerByte, kReplyGapMs);
    for (const int baud : kRates) {
        VirtualBoardProcess board;
        if (!board.start({ QStringLiteral("--quiet"), QStringLiteral("--mode"), QStringLiteral("boot"),
                           QStringLiteral("--baud"), QString::number(baud) },
                         VirtualBoardProcess::Link::Pty)) {
            std::printf("virtual board: %s\n", qPrintable(board.errorString()));
            return 1;
        }
        // 0x79 and its 5-byte answer, framed: 12 and 16 bytes on the line.
        const double commandFloorMs = (12 + 16) * kBitsPerByte * 1000.0 / baud + kReplyGapMs;
        const double roundTripMs = floorRoundTripMs(board, baud);
        const double directRoundTripMs = floorRoundTripMs(board, baud, true);
        std::printf("  %7d round trip of a one-byte command (median of 300): %.3f ms, floor %.3f ms, x floor %.3f;"
                    " direct client %.3f ms, x floor %.3f\n",
                    baud, roundTripMs, commandFloorMs, roundTripMs / commandFloorMs, directRoundTripMs,
                    directRoundTripMs / commandFloorMs);
        if (roundTripsOnly)
            continue;
        for (const Image& image : images) {
            for (FirmwareMethod method : methods) {
                FirmwarePlan plan;
                const Run r = transfer(board, image.bytes, method, &plan, baud);
                if (!r.ok) {
                    std::printf("  %7d %-12s %-6s FAILED after %d blocks\n", baud, image.name,
                                qPrintable(firmwareMethodName(method)), r.blocks);
                    continue;
                }
                const qint64 bytes = wireBytes(plan);
                const double wireMs = bytes * kBitsPerByte * 1000.0 / baud;
                const double floorMs = wireMs + kReplyGapMs * r.blocks;
                std::printf("  %7d %-12s %-6s %5d blocks  wire %8.1f ms  floor %8.1f ms  measured %8.1f ms"
                            "  x wire %.3f  x floor %.3f\n", baud, image.name, qPrintable(firmwareMethodName(method)),
                            r.blocks, wireMs, floorMs, r.totalMs, r.totalMs / wireMs, r.totalMs / floorMs);
                // Where a block's time beyond the floor goes: in write, in read, or outside the transport.
                std::printf("          per block: %.3f ms beyond the floor (write %.3f ms, read beyond the floor %.3f ms,"
                            " engine %.3f ms)\n",
                            (r.totalMs - floorMs) / r.blocks, r.writeMs / r.blocks,
                            (r.insideMs - r.writeMs - floorMs) / r.blocks, (r.totalMs - r.insideMs) / r.blocks);
                const Run d = transfer(board, image.bytes, method, nullptr, baud, true);
                if (d.ok)
                    std::printf("          direct client: measured %8.1f ms  x floor %.3f  %.3f ms/block beyond the floor;"
                                " the transport's own %.3f ms/block\n",
                                d.totalMs, d.totalMs / floorMs, (d.totalMs - floorMs) / d.blocks,
                                (r.totalMs - d.totalMs) / r.blocks);
                else
                    std::printf("          direct client FAILED after %d blocks\n", d.blocks);
            }
        }
        board.stop();
    }
    return 0;
}
