#include "connectorip.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace {

constexpr int kConnectWaitMs = 5000;
// After the first bytes of a reply, reading goes on while more come within this gap.
constexpr int kQuietGapMs = 50;

} // namespace

ConnectorIP::ConnectorIP(const QString& host, int port)
    : ConnectorSerial(QString())
    , socket(new QTcpSocket())
{
    // A wrapped-around number would quietly reach some other service.
    if (port < 0 || port > 65535) {
        setupError = QStringLiteral("Invalid TCP port %1").arg(port);
        return;
    }
    socket->connectToHost(host, quint16(port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    socket->waitForConnected(kConnectWaitMs);
    watchForClose();
}

ConnectorIP::~ConnectorIP()
{
    // Closing our own end is no loss to report.
    if (socket)
        QObject::disconnect(socket.data(), nullptr, nullptr, nullptr);
    rxBuffer.clear();
    socket.reset();
}

void ConnectorIP::watchForClose()
{
    if (!isConnected())
        return;
    // The socket lives on the creating thread, whose event loop sees the
    // peer's FIN or RST while the link is idle; inside a read the blocking
    // wait sees it.
    QObject::connect(socket.data(), &QAbstractSocket::stateChanged, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState || state == QAbstractSocket::ClosingState)
            reportLinkLost();
    });
}

bool ConnectorIP::isConnected() const
{
    return socket && socket->state() == QAbstractSocket::ConnectedState;
}

QString ConnectorIP::lastErrorString() const
{
    if (!setupError.isEmpty())
        return setupError;
    return socket ? socket->errorString() : QString();
}

void ConnectorIP::dropStaleFrames()
{
    // What the last read left behind after the reply it returned came with
    // that reply and stays for the next read, as it always has. If the last
    // read gave up, what it left is the start of its reply come late.
    int carried = lastReadAnswered ? rxBuffer.size() : 0;
    // Pull in what the system already holds for us, without waiting.
    if (socket->bytesAvailable() == 0)
        socket->waitForReadyRead(0);
    const int before = rxBuffer.size();
    const int received = takeReceived();
    // Bounding the buffer only ever takes bytes off its front.
    carried = qMax(0, carried - (before + received - rxBuffer.size()));

    // A whole frame that came after the last read returned cannot be the
    // answer to the request about to go out: it is a reply that came after
    // its read had given up. Taken as the next answer it would shift every
    // later exchange by one for the life of the link. The start of a frame
    // still on its way is kept.
    QByteArray rest = rxBuffer;
    QByteArray kept;
    int offset = 0;
    while (!rest.isEmpty()) {
        const int size = rest.size();
        if (Unpack(rest).status == UnpackIncomplete)
            break;
        const int step = size - rest.size();
        if (offset < carried)
            kept += rxBuffer.mid(offset, step);
        offset += step;
    }
    rxBuffer = kept + rest;
}

int ConnectorIP::write(const QByteArray& payload)
{
    if (!isConnected())
        return -1;
    dropStaleFrames();
    QByteArray frame;
    Pack(frame, payload);
    const qint64 accepted = socket->write(frame);
    socket->waitForBytesWritten(waitMs());
    return int(accepted);
}

ConnectorIP::TryUnpack ConnectorIP::tryUnpack(QByteArray& payload)
{
    while (!rxBuffer.isEmpty()) {
        UnpackResult step = Unpack(rxBuffer);
        switch (step.status) {
        case UnpackOk:
            payload = step.payload;
            return TryUnpack::Found;
        case UnpackBadCrc:
            return TryUnpack::Failed;
        case UnpackForeignAddress:
            continue;
        default:
            return TryUnpack::NeedMore;
        }
    }
    return TryUnpack::NeedMore;
}

int ConnectorIP::takeReceived()
{
    const QByteArray received = socket->readAll();
    if (received.isEmpty())
        return 0;
    rxBuffer += received;
    // The buffer outlives each read: noise without a start mark, or a peer
    // that floods the link, must not make it grow for the transport's life.
    FrameCodec::discardJunk(rxBuffer);
    if (rxBuffer.size() > rxBufferLimit)
        rxBuffer.remove(0, rxBuffer.size() - rxBufferLimit);
    return received.size();
}

QByteArray ConnectorIP::read()
{
    QByteArray payload = readFrame();
    lastReadAnswered = !payload.isEmpty();
    return payload;
}

QByteArray ConnectorIP::readFrame()
{
    if (!isConnected())
        return QByteArray();

    QElapsedTimer clock;
    clock.start();
    QByteArray payload;
    bool firstWait = true;
    for (;;) {
        // What an earlier read left behind may hold the whole answer already.
        switch (tryUnpack(payload)) {
        case TryUnpack::Found:
            return payload;
        case TryUnpack::Failed:
            return QByteArray();
        case TryUnpack::NeedMore:
            break;
        }
        const qint64 remaining = getTimeout() - clock.elapsed();
        bool ready = false;
        if (firstWait) {
            // The first bytes may take the whole time-out.
            firstWait = false;
            ready = socket->bytesAvailable() > 0 || (remaining > 0 && socket->waitForReadyRead(int(remaining)));
        } else {
            // Then reading goes on while more come within the quiet gap; a
            // peer that keeps talking must not hold the caller past the time-out.
            ready = remaining > 0 && socket->waitForReadyRead(int(qMin<qint64>(kQuietGapMs, remaining)));
        }
        if (!ready)
            return QByteArray();
        takeReceived();
    }
}
