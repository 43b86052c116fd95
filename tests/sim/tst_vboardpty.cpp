// The virtual board behind a pseudo-terminal, reached through the program's
// serial transports: framed as on RS-485 (ConnectorSerial) and bare as over a
// USB virtual COM port (ConnectorUSB).

#include "connectorserial.h"
#include "connectorusb.h"
#include "virtualboardprocess.h"

#include <QSerialPort>
#include <QThread>
#include <QtTest>

#include <memory>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

QByteArray request(int code, const QByteArray& data = QByteArray())
{
    return QByteArray(1, char(code)) + data;
}

QByteArray exchange(Connector& link, const QByteArray& req, int timeoutMs = 2000)
{
    if (link.write(req) < 0)
        return QByteArray("<write failed>");
    const int saved = link.getTimeout();
    link.setTimeout(timeoutMs);
    const QByteArray reply = link.read();
    link.setTimeout(saved);
    return reply;
}

std::unique_ptr<ConnectorSerial> openFramed(const QString& path, unsigned char address = 0)
{
    auto link = std::make_unique<ConnectorSerial>(path);
    link->setDevID(address);
    if (!link->openPort(path, 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                        QSerialPort::NoFlowControl))
        return nullptr;
    return link;
}

std::unique_ptr<ConnectorUSB> openBare(const QString& path)
{
    auto link = std::make_unique<ConnectorUSB>(path);
    QSerialPort* port = link->GetSerialPort();
    port->setPortName(path);
    port->setBaudRate(115200);
    if (!port->open(QIODevice::ReadWrite))
        return nullptr;
    return link;
}

const QByteArray boardType1 = QByteArray::fromHex("c90100");

} // namespace

class TestVirtualBoardPty : public QObject
{
    Q_OBJECT

private slots:
    void framedLinkServesTheSerialTransport();
    void foreignFrameEndsASerialRead();
    void cutReplyLeavesTheLineUsable();
    void portClosedAndOpenedAgainKeepsServing();
    void newRequestClearsAnUnreadReply();
    void bareLinkServesTheUsbTransport();
    void bareLinkFaults();
};

void TestVirtualBoardPty::framedLinkServesTheSerialTransport()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--address", "3", "--board-type", "4" }, VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    QVERIFY(board.ptyPath().startsWith("/dev/"));
    auto link = openFramed(board.ptyPath(), 3);
    QVERIFY(link);
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90400").toHex());
    QCOMPARE(exchange(*link, request(0xA7)).size(), 129);
    QCOMPARE(exchange(*link, request(0x7A)).toHex(), QByteArray::fromHex("c9").toHex());
    QCOMPARE(quint8(exchange(*link, request(0x64)).at(1)), quint8(1));

    link.reset();
    auto stranger = openFramed(board.ptyPath(), 4);
    QVERIFY(stranger);
    QVERIFY(exchange(*stranger, request(0x7D), 400).isEmpty());
}

void TestVirtualBoardPty::foreignFrameEndsASerialRead()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({}, VirtualBoardProcess::Link::Pty), qPrintable(board.errorString()));
    auto link = openFramed(board.ptyPath());
    QVERIFY(link);
    QCOMPARE(board.command("foreign 1"), QStringLiteral("OK foreign 1"));
    // The serial transport gives up on a frame for another address.
    QVERIFY(exchange(*link, request(0x7D), 3000).isEmpty());
    QTest::qWait(100);
    QCOMPARE(board.command("junk 1"), QStringLiteral("OK junk 1"));
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), boardType1.toHex());
    QCOMPARE(board.command("corrupt-crc 1"), QStringLiteral("OK corrupt-crc 1"));
    QVERIFY(exchange(*link, request(0x7D)).isEmpty());
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), boardType1.toHex());
}

void TestVirtualBoardPty::cutReplyLeavesTheLineUsable()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({}, VirtualBoardProcess::Link::Pty), qPrintable(board.errorString()));
    auto link = openFramed(board.ptyPath());
    QVERIFY(link);
    QCOMPARE(board.command("drop-after 6"), QStringLiteral("OK drop-after 6"));
    QVERIFY(exchange(*link, request(0xA0), 500).isEmpty());
    QCOMPARE(exchange(*link, request(0xA0)).size(), 129);
}

void TestVirtualBoardPty::portClosedAndOpenedAgainKeepsServing()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({}, VirtualBoardProcess::Link::Pty), qPrintable(board.errorString()));
    {
        auto first = openFramed(board.ptyPath());
        QVERIFY(first);
        QVERIFY(first->write(request(0x78)) > 0);
        QTest::qWait(200); // the reply waits in the line, unread
    }
    auto second = openFramed(board.ptyPath());
    QVERIFY(second);
    QCOMPARE(exchange(*second, request(0x7D)).toHex(), boardType1.toHex());
}

void TestVirtualBoardPty::newRequestClearsAnUnreadReply()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({}, VirtualBoardProcess::Link::PtyBare), qPrintable(board.errorString()));
    // A plain descriptor, which (unlike the program's transports) never drops
    // what is waiting on its own.
    const int fd = ::open(board.ptyPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios tio {};
    QCOMPARE(::tcgetattr(fd, &tio), 0);
    ::cfmakeraw(&tio);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &tio), 0);

    QCOMPARE(::write(fd, "\x78", 1), ssize_t(1));
    QThread::msleep(200); // the version reply now waits, unread
    QCOMPARE(::write(fd, "\x7d", 1), ssize_t(1));
    QThread::msleep(300);
    QByteArray got;
    pollfd p { fd, POLLIN, 0 };
    while (::poll(&p, 1, 100) > 0) {
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, int(n));
    }
    ::close(fd);
    QCOMPARE(got.toHex(), boardType1.toHex());
}

void TestVirtualBoardPty::bareLinkServesTheUsbTransport()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--firmware", "2.0.1" }, VirtualBoardProcess::Link::PtyBare),
             qPrintable(board.errorString()));
    auto link = openBare(board.ptyPath());
    QVERIFY(link);
    QCOMPARE(exchange(*link, request(0x78)).toHex(), QByteArray("\xC9\x05" "2.0.1").toHex());
    QCOMPARE(exchange(*link, request(0xA0)).size(), 129);
    QCOMPARE(exchange(*link, request(0x72, QByteArray(56, '\x11'))).toHex(), QByteArray::fromHex("c9").toHex());
    QCOMPARE(exchange(*link, request(0x71)).toHex(), request(0x71, QByteArray(56, '\x11')).toHex());
    // A frame means nothing to a bare board.
    QVERIFY(exchange(*link, QByteArray::fromHex("fe45ff540000017d3f890000"), 300).isEmpty());
}

void TestVirtualBoardPty::bareLinkFaults()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({}, VirtualBoardProcess::Link::PtyBare), qPrintable(board.errorString()));
    auto link = openBare(board.ptyPath());
    QVERIFY(link);

    QCOMPARE(board.command("corrupt-crc 1"), QStringLiteral("OK corrupt-crc 1"));
    const QByteArray spoiled = exchange(*link, request(0x7D));
    QCOMPARE(spoiled.size(), 3);
    QVERIFY(spoiled != boardType1);

    QCOMPARE(board.command("junk 1"), QStringLiteral("OK junk 1"));
    QVERIFY(exchange(*link, request(0x7D)).endsWith(boardType1));

    // Pieces more than the transport's 50 ms apart: it returns the first one only.
    QCOMPARE(board.command("split 2 300"), QStringLiteral("OK split 2 300"));
    const QByteArray part = exchange(*link, request(0xA0));
    QVERIFY(!part.isEmpty());
    QVERIFY(part.size() < 129);
    QCOMPARE(board.command("split 0"), QStringLiteral("OK split 1 0"));
    // The rest arrives later; the next exchange must not take it for a reply.
    QThread::msleep(500);

    QCOMPARE(board.command("silent 1"), QStringLiteral("OK silent 1"));
    QVERIFY(exchange(*link, request(0x7D), 300).isEmpty());
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), boardType1.toHex());
}

QTEST_GUILESS_MAIN(TestVirtualBoardPty)
#include "tst_vboardpty.moc"
