#include "clientsession.h"

#include "framecodec.h"
#include "virtualboard.h"

ClientSession::ClientSession(VirtualBoard* owner, bool isFramed, const QString& peer, Sink sink, HangUp hangUp,
                             QObject* parent)
    : QObject(parent)
    , board(owner)
    , framed(isFramed)
    , peerName(peer)
    , writer(std::move(sink), std::move(hangUp), this, FaultInjector::holdGiveUpMs)
{
    gap.setSingleShot(true);
    connect(&gap, &QTimer::timeout, this, &ClientSession::gapElapsed);
}

void ClientSession::receive(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return;
    arrival.start();
    buffer.append(bytes);
    if (framed) {
        takeFrames();
        if (!buffer.isEmpty())
            gap.start(frameGapMs);
        else
            gap.stop();
    } else {
        gap.start(burstGapMs);
    }
}

void ClientSession::reset()
{
    buffer.clear();
    gap.stop();
    writer.clear();
}

void ClientSession::takeFrames()
{
    for (;;) {
        const int before = buffer.size();
        // Every board on the line listens; the one addressed answers.
        quint32 address = FrameCodec::frameAddress(buffer).value_or(board->address());
        if (!board->modelAt(address))
            address = board->address();
        const UnpackResult result = FrameCodec::unpack(buffer, address);
        switch (result.status) {
        case UnpackOk:
            serve(address, result.payload, before - buffer.size());
            continue;
        case UnpackBadCrc:
            board->log().event(peerName, QStringLiteral("frame with a bad checksum dropped"));
            continue;
        case UnpackForeignAddress:
            board->log().event(peerName, QStringLiteral("frame for another address ignored"));
            continue;
        default:
            break;
        }
        break;
    }
    const int dropped = FrameCodec::discardJunk(buffer);
    if (dropped > 0)
        board->log().event(peerName, QStringLiteral("%1 junk bytes dropped").arg(dropped));
}

void ClientSession::gapElapsed()
{
    if (buffer.isEmpty())
        return;
    if (!framed) {
        const QByteArray request = buffer;
        buffer.clear();
        if (request.size() > maxBareRequest) {
            board->log().event(peerName, QStringLiteral("burst of %1 bytes is no request; dropped").arg(request.size()));
            return;
        }
        serve(board->address(), request, request.size());
        return;
    }
    // A frame that stopped halfway: give it up and look for the next start mark behind its first byte.
    board->log().event(peerName, QStringLiteral("incomplete frame given up after %1 ms: %2")
                                     .arg(frameGapMs)
                                     .arg(QString::fromLatin1(buffer.left(32).toHex(' '))));
    buffer.remove(0, 1);
    takeFrames();
    if (!buffer.isEmpty())
        gap.start(frameGapMs);
}

void ClientSession::serve(quint32 address, const QByteArray& request, int lineBytes)
{
    if (requestHook)
        requestHook();
    writer.requestArrived();
    const ReplyPlan plan = board->serve(address, request, framed, lineBytes, peerName);
    if (!plan.pieces.isEmpty())
        writer.enqueue(plan, framed ? arrival : QElapsedTimer());
}
