#include "pacedwriter.h"

#include <algorithm>

PacedWriter::PacedWriter(Sink sinkFunction, HangUp hangUpFunction, QObject* parent)
    : QObject(parent)
    , sink(std::move(sinkFunction))
    , hangUp(std::move(hangUpFunction))
{
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (waitingPause) {
            timer.stop();
            beginSending();
        } else {
            pace();
        }
    });
}

void PacedWriter::enqueue(const ReplyPlan& plan)
{
    const bool wasIdle = queue.isEmpty();
    for (int i = 0; i < plan.pieces.size(); ++i) {
        Item item;
        item.piece = plan.pieces.at(i);
        item.baud = plan.baud;
        item.hangUpAfter = plan.hangUp && i == plan.pieces.size() - 1;
        queue.enqueue(item);
    }
    if (wasIdle && !queue.isEmpty())
        startNext();
}

void PacedWriter::clear()
{
    timer.stop();
    queue.clear();
    waitingPause = false;
}

void PacedWriter::startNext()
{
    if (queue.isEmpty())
        return;
    const int pause = queue.head().piece.pauseBeforeMs;
    if (pause > 0) {
        waitingPause = true;
        timer.start(pause);
    } else {
        beginSending();
    }
}

void PacedWriter::beginSending()
{
    waitingPause = false;
    Item& item = queue.head();
    if (item.baud <= 0 || item.piece.bytes.isEmpty()) {
        if (!item.piece.bytes.isEmpty())
            sink(item.piece.bytes);
        finishItem();
        return;
    }
    sent = 0;
    clock.start();
    if (!pace())
        timer.start(1);
}

bool PacedWriter::pace()
{
    if (queue.isEmpty()) {
        timer.stop();
        return true;
    }
    Item& item = queue.head();
    const int size = item.piece.bytes.size();
    // Bytes whose ten bits have fully gone by now; the first one at once.
    const qint64 due = 1 + clock.nsecsElapsed() / 1000 * item.baud / 10000000;
    const int upTo = int(std::min<qint64>(size, due));
    if (upTo > sent) {
        sink(item.piece.bytes.mid(sent, upTo - sent));
        sent = upTo;
    }
    if (sent < size)
        return false;
    timer.stop();
    finishItem();
    return true;
}

void PacedWriter::finishItem()
{
    const Item item = queue.dequeue();
    if (item.hangUpAfter) {
        clear();
        hangUp();
        return;
    }
    startNext();
}
