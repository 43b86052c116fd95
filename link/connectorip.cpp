#include "connectorip.h"

#include <QElapsedTimer>
#include <QTcpSocket>

namespace {

constexpr int kConnectWaitMs = 5000;
// After the first bytes of a reply, reading goes on while more come within this gap.
constexpr int kQuietGapMs = 50;

} // namespace

ConnectorIP::ConnectorIP(const QString& host, int port)
    : ConnectorIP(host, port, kConnectWaitMs)
{
}

ConnectorIP::ConnectorIP(const QString& host, int port, int connectTimeoutMs)
    : ConnectorSerial(QString())
    , socket(new QTcpSocket())
{
    // A wrapped-around number would quietly reach some other service.
    if (port < 0 || port > 65535) {
        setupError = QStringLiteral("Invalid TCP port %1").arg(port);
        return;
    }
    socket->connectToHost(host, quint16(port), QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    socket->waitForConnected(connectTimeoutMs);
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

void ConnectorIP::dropLeftovers()
{
    // Nothing received before a request goes out can be its answer: a reply
    // that came after its read gave up, the second answer to a resent
    // request, the rest of a frame cut short. Kept, a whole frame would be
    // taken for this request's answer, and a lone start mark would swallow
    // the real answer behind it, and every answer after that.
    if (socket->bytesAvailable() == 0)
        socket->waitForReadyRead(0);
    takeReceived();
    if (mayHoldOwnReply(rxBuffer))
        noteExtraReply();
    rxBuffer.clear();
}

int ConnectorIP::write(const QByteArray& payload)
{
    if (!isConnected())
        return -1;
    dropLeftovers();
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
        // A frame already begun may finish a little past the time-out; what
        // it leaves unfinished is dropped when the next request goes out.
        const int grace = FrameCodec::hasStartMark(rxBuffer) ? FrameCodec::startedFrameGraceMs : 0;
        const qint64 remaining = getTimeout() + grace - clock.elapsed();
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
