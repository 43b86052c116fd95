#pragma once

#include "pacedwriter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class VirtualBoard;

// One peer on one link: gathers its bytes into requests and sends back what
// the board says, through the fault knobs.
//
// Framed: the receive buffer is searched for frames for the addresses of the
// boards on the line; frames with a bad checksum or for an address no board
// has are dropped without a word, as on a bus. A frame left incomplete for `frameGapMs` of silence is
// given up (a board times out a broken frame rather than wait forever), and
// junk without a start mark is not kept.
// Bare: each burst of bytes (ended by `burstGapMs` of silence) is one request.
class ClientSession : public QObject
{
    Q_OBJECT
public:
    using Sink = PacedWriter::Sink;
    using HangUp = PacedWriter::HangUp;

    static constexpr int frameGapMs = 100;
    static constexpr int burstGapMs = 10;
    static constexpr int maxBareRequest = 1024;

    ClientSession(VirtualBoard* board, bool framed, const QString& peer, Sink sink, HangUp hangUp,
                  QObject* parent = nullptr);

    void receive(const QByteArray& bytes);
    // Forgets a partly received request and any reply not yet sent.
    void reset();
    // Called with each request before it is served.
    void setRequestHook(std::function<void()> hook) { requestHook = std::move(hook); }

    QString peer() const { return peerName; }

private:
    void takeFrames();
    void gapElapsed();
    void serve(quint32 address, const QByteArray& request, int lineBytes);

    VirtualBoard* board;
    bool framed;
    QString peerName;
    PacedWriter writer;
    QByteArray buffer;
    // When the latest bytes came in.
    QElapsedTimer arrival;
    QTimer gap;
    std::function<void()> requestHook;
};
