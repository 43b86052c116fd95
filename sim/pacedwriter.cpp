#include "pacedwriter.h"

#include <algorithm>
#include <ctime>
#include <sys/prctl.h>

namespace {

// Waits shorter than this are slept through, so a byte leaves when its bits
// are done rather than at the next whole millisecond of a timer.
constexpr qint64 kSleepBelowNs = 2000000;

void sleepNs(qint64 ns)
{
    timespec span { time_t(ns / 1000000000), long(ns % 1000000000) };
    while (nanosleep(&span, &span) != 0) {
    }
}

} // namespace

PacedWriter::PacedWriter(Sink sinkFunction, HangUp hangUpFunction, QObject* parent)
    : QObject(parent)
    , sink(std::move(sinkFunction))
    , hangUp(std::move(hangUpFunction))
{
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

void PacedWriter::enqueue(const ReplyPlan& plan)
{
    const bool wasIdle = queue.isEmpty();
    for (int i = 0; i < plan.pieces.size(); ++i) {
        Item item;
        item.piece = plan.pieces.at(i);
        item.baud = plan.baud;
        item.leadBytes = i == 0 ? plan.leadBytes : 0;
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
    const qint64 nsPerByte = 10LL * 1000000000LL / item.baud;
    for (;;) {
        // Bytes whose ten bits have fully gone by now, after the request's.
        const qint64 due = clock.nsecsElapsed() / nsPerByte - item.leadBytes;
        const int upTo = int(std::max<qint64>(0, std::min<qint64>(size, due)));
        if (upTo > sent) {
            sink(item.piece.bytes.mid(sent, upTo - sent));
            sent = upTo;
        }
        if (sent >= size)
            break;
        const qint64 wait = (item.leadBytes + sent + 1) * nsPerByte - clock.nsecsElapsed();
        if (wait >= kSleepBelowNs) {
            // Wake a little early and sleep the rest.
            timer.start(int((wait - kSleepBelowNs) / 1000000) + 1);
            return false;
        }
        if (wait > 0)
            sleepNs(wait);
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
