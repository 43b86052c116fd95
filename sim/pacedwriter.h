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
class PacedWriter : public QObject
{
    Q_OBJECT
public:
    using Sink = std::function<void(const QByteArray&)>;
    using HangUp = std::function<void()>;

    PacedWriter(Sink sink, HangUp hangUp, QObject* parent = nullptr);

    void enqueue(const ReplyPlan& plan);
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
    };

    void startNext();
    void beginSending();
    // True once the current piece has gone out completely.
    bool pace();
    void finishItem();

    Sink sink;
    HangUp hangUp;
    QQueue<Item> queue;
    QTimer timer;
    QElapsedTimer clock;
    int sent = 0;
    bool waitingPause = false;
};
