#pragma once

#include "firmwareplan.h"

#include <QLocale>
#include <QSharedPointer>
#include <QString>

#include <functional>

class Connector;

// Sends the blocks of a firmware plan, each acknowledged by a reply whose first
// byte is 0xC9. A block gets up to three attempts; a failed write is not
// retried and ends the transfer at once.
//
// An acknowledgement carries no block number, so each block counts only the
// reply to its own request: a late one is taken within the exchange's grace
// instead of resending, and after a resent block the link is drained before
// the next block goes out (see CommandExchange). The transfer succeeds only
// when every block was acknowledged that way.
//
// Timing alone cannot prove which request a reply answers, but one request
// gets at most one reply: once a reply beyond that turns up (thrown away by
// the transport, drained, or heard in the quiet window), the
// acknowledgements may have slid by one, and the last block may be
// unacknowledged though counted. The copy then starts over from its first
// block, which starts a new image on the board; if it happens again the
// transfer fails (RepliesShifted). A copy that saw a retry or a late reply
// listens for the quiet window before it counts as done; a clean copy does
// not wait.
//
// The engine keeps its own reference to the connector, so the window may
// release its pointer while the block hook pumps events; the hook is how the
// window tells the engine that the link has gone.
class FirmwareTransfer
{
public:
    static constexpr int AttemptsPerBlock = 3;

    struct Result
    {
        enum Failure {
            None,
            NoConnector, // nothing was sent
            Rejected,    // the plan refused the image; nothing was sent
            WriteFailed, // the write of `failedBlock` failed, or the hook stopped before it
            NoAck,       // `failedBlock` was not acknowledged in its attempts (three by default)
            RepliesShifted, // extra replies again after the restart; `failedBlock` is where they showed
        };
        Failure failure = None;
        int failedBlock = -1;
        int blocksAcknowledged = 0; // in the last pass
        int restarts = 0;           // 1 when the copy started over

        bool ok() const { return failure == None; }
    };

    // Called with 0 before the first block, then after each acknowledged block
    // with the image bytes delivered so far (capped at `total`, the image size).
    // A restart calls it with 0 again: the figure is what the board holds of
    // the image now, so it may go back once.
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Called after each acknowledged block, after the progress, in every pass
    // (so after a restart once more for the blocks sent again). Returning
    // false stops the transfer: the next block counts as a failed write, and
    // no restart follows. After the last block a stop sends nothing more; the
    // copy still fails if the quiet window then hears an extra reply.
    using BlockHook = std::function<bool()>;

    explicit FirmwareTransfer(QSharedPointer<Connector> connector);

    void setProgress(const Progress& progress);
    void setBlockHook(const BlockHook& hook);
    // How often a block is sent before it counts as not acknowledged
    // (AttemptsPerBlock unless a slow link asks for more; at least 1).
    void setAttemptsPerBlock(int attempts);

    Result run(const FirmwarePlan& plan);

private:
    struct Pass
    {
        Result result;
        bool irregular = false; // a retry or a late reply happened
        bool stopped = false;   // the hook asked to stop
    };
    Pass sendBlocks(const FirmwarePlan& plan, qint64 extraMark);

    QSharedPointer<Connector> link;
    Progress progress;
    BlockHook hook;
    int attemptsPerBlock = AttemptsPerBlock;
};

// "Ошибка записи блока %1\n" for a failed write, "Ошибка записи блока %1!\n"
// after three unacknowledged attempts, the block number formatted by `locale`;
// for shifted replies a text that says so; empty for the other outcomes (they
// have no message of their own).
QString transferFailureText(const FirmwareTransfer::Result& result, const QLocale& locale);
