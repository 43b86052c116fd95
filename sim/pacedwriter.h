#pragma once

#include "replyplan.h"

#include <QElapsedTimer>
#include <QObject>
#include <QQueue>
#include <QTimer>

#include <functional>

// Puts reply plans onto a link in order: waits each piece's pause, paces its
// bytes at the plan's line rate, and cuts the link where the plan says so.
// Plans that arrive while one is still going out wait their turn.
//
// A held plan (ReplyPlan::holdMs) waits for the next request on the link
// (requestArrived()) and leaves holdMs after it; from then on every plan is
// held the same way, so each reply comes only after the request that follows
// its own. A held reply that no request follows for giveUpMs leaves then, and
// the link is level again.
class PacedWriter : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray&)>;
    using HangUp = std::function<void()>;

    PacedWriter(Sink sink, HangUp hangUp, QObject* parent = nullptr, int giveUpMs = 200);

    // `arrived`, when valid, is when the request's last bytes came in: the
    // request's line time is counted from there rather than from now, so the
    // board's own work on it does not add to the reply's time. A plan that
    // waits behind another is counted from its own start, as the line is busy
    // till then.
    void enqueue(const ReplyPlan& plan, const QElapsedTimer& arrived = QElapsedTimer());
    // A request came in: releases the replies held for it.
    void requestArrived();
    bool isIdle() const { return queue.isEmpty(); }
    // Forgets everything not yet sent.
    void clear();

private:
    struct Item
    {
        ReplyPlan::Piece piece;
        int baud = 0;
        int leadBytes = 0;
        bool hangUpAfter = false;
        QElapsedTimer arrived;
        int holdMs = -1;        // held until a request arrives, then this long
        QElapsedTimer released; // valid once that request has come
    };

    void startNext();
    void beginSending();
    // True once the current piece has gone out completely.
    bool pace();
    void finishItem();
    void giveUpHolding();

    Sink sink;
    HangUp hangUp;
    QQueue<Item> queue;
    QTimer timer;
    QElapsedTimer clock;
    int sent = 0;
    qint64 lastSentNs = 0;
    bool waitingPause = false;
    // The hold in force for every new plan (-1: none), and the wait for the
    // request that releases the reply at the head of the queue.
    int behindMs = -1;
    int giveUpMs;
    QTimer giveUp;
};
