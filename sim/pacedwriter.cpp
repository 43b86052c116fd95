#include "pacedwriter.h"

#include <algorithm>
#include <ctime>
#include <sys/prctl.h>

namespace {

// Waits shorter than this are slept through, so a byte leaves when its bits
// are done rather than at the next whole millisecond of a timer.
constexpr qint64 kSleepBelowNs = 2000000;

// A sleep ends up to some tens of microseconds late; the last stretch before
// a byte is due is spun through instead, so the byte leaves on time.
constexpr qint64 kSpinBelowNs = 100000;

// Bytes already due are handed over together, at most this often.
constexpr qint64 kBatchNs = 500000;

void waitUntil(const QElapsedTimer& clock, qint64 dueNs)
{
    const qint64 sleepFor = dueNs - clock.nsecsElapsed() - kSpinBelowNs;
    if (sleepFor > 0) {
        timespec span { time_t(sleepFor / 1000000000), long(sleepFor % 1000000000) };
        while (nanosleep(&span, &span) != 0) {
        }
    }
    while (clock.nsecsElapsed() < dueNs) {
    }
}

} // namespace

PacedWriter::PacedWriter(Sink sinkFunction, HangUp hangUpFunction, QObject* parent, int giveUpAfterMs)
    : QObject(parent)
    , sink(std::move(sinkFunction))
    , hangUp(std::move(hangUpFunction))
    , giveUpMs(giveUpAfterMs)
{
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, this, &PacedWriter::giveUpHolding);
    timer.setTimerType(Qt::PreciseTimer);
    // The default slack of 50 us would be most of a byte at high rates.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
    connect(&timer, &QTimer::timeout, this, [this] {
        if (waitingPause) {
            timer.stop();
            beginSending();
        } else {
            pace();
        }
    });
}

void PacedWriter::enqueue(const ReplyPlan& plan, const QElapsedTimer& arrived)
{
    const bool wasIdle = queue.isEmpty();
    if (plan.holdMs >= 0)
        behindMs = plan.holdMs;
    for (int i = 0; i < plan.pieces.size(); ++i) {
        Item item;
        item.piece = plan.pieces.at(i);
        item.baud = plan.baud;
        item.leadBytes = i == 0 ? plan.leadBytes : 0;
        item.hangUpAfter = plan.hangUp && i == plan.pieces.size() - 1;
        item.holdMs = i == 0 ? behindMs : -1;
        if (i == 0 && wasIdle && item.piece.pauseBeforeMs == 0 && item.holdMs < 0)
            item.arrived = arrived;
        queue.enqueue(item);
    }
    if (wasIdle && !queue.isEmpty())
        startNext();
}

void PacedWriter::requestArrived()
{
    bool headReleased = false;
    for (Item& item : queue) {
        if (item.holdMs >= 0 && !item.released.isValid()) {
            item.released.start();
            headReleased = headReleased || &item == &queue.head();
        }
    }
    if (headReleased && giveUp.isActive()) {
        giveUp.stop();
        startNext();
    }
}

void PacedWriter::giveUpHolding()
{
    behindMs = -1;
    for (Item& item : queue)
        item.holdMs = -1;
    startNext();
}

void PacedWriter::clear()
{
    timer.stop();
    giveUp.stop();
    queue.clear();
    waitingPause = false;
    behindMs = -1;
}

void PacedWriter::startNext()
{
    if (queue.isEmpty())
        return;
    const Item& head = queue.head();
    int pause = head.piece.pauseBeforeMs;
    if (head.holdMs >= 0) {
        if (!head.released.isValid()) {
            giveUp.start(giveUpMs);
            return;
        }
        pause = int(std::max<qint64>(0, pause + head.holdMs - head.released.elapsed()));
    }
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
    if (item.arrived.isValid())
        clock = item.arrived;
    else
        clock.start();
    pace();
}

bool PacedWriter::pace()
{
    if (queue.isEmpty()) {
        timer.stop();
        return true;
    }
    Item& item = queue.head();
    const int size = item.piece.bytes.size();
    const qint64 bitsPerByte = 10;
    // When the n-th byte counted from the request's first has fully gone by.
    const auto doneAt = [&item, bitsPerByte](qint64 n) {
        return (n * bitsPerByte * 1000000000LL + item.baud - 1) / item.baud;
    };
    const qint64 lastDue = doneAt(item.leadBytes + size);
    for (;;) {
        const qint64 now = clock.nsecsElapsed();
        // Bytes whose ten bits have fully gone by now, after the request's.
        const qint64 due = now * item.baud / (bitsPerByte * 1000000000LL) - item.leadBytes;
        const int upTo = int(std::max<qint64>(0, std::min<qint64>(size, due)));
        // As from a line adapter, bytes come in batches: one hand-over per
        // batch keeps the host from waking for every byte, and the last byte
        // still leaves the moment it is due.
        if (upTo > sent && (upTo == size || sent == 0 || now - lastSentNs >= kBatchNs)) {
            sink(item.piece.bytes.mid(sent, upTo - sent));
            sent = upTo;
            lastSentNs = now;
        }
        if (sent >= size)
            break;
        qint64 next = doneAt(item.leadBytes + sent + 1);
        if (sent > 0)
            next = std::min(lastDue, std::max(next, lastSentNs + kBatchNs));
        const qint64 wait = next - clock.nsecsElapsed();
        if (wait >= kSleepBelowNs) {
            // Wake a little early and sleep the rest.
            timer.start(int((wait - kSleepBelowNs) / 1000000) + 1);
            return false;
        }
        if (wait > 0)
            waitUntil(clock, next);
    }
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
