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
            NoAck,       // `failedBlock` was not acknowledged in three attempts
        };
        Failure failure = None;
        int failedBlock = -1;
        int blocksAcknowledged = 0;

        bool ok() const { return failure == None; }
    };

    // Called with 0 before the first block, then after each acknowledged block
    // with the image bytes delivered so far (capped at `total`, the image size).
    using Progress = std::function<void(qint64 done, qint64 total)>;
    // Called after each acknowledged block, after the progress. Returning
    // false stops the transfer: the next block counts as a failed write. After
    // the last block a stop changes nothing (every block was acknowledged).
    using BlockHook = std::function<bool()>;

    explicit FirmwareTransfer(QSharedPointer<Connector> connector);

    void setProgress(const Progress& progress);
    void setBlockHook(const BlockHook& hook);

    Result run(const FirmwarePlan& plan);

private:
    QSharedPointer<Connector> link;
    Progress progress;
    BlockHook hook;
};

// "Ошибка записи блока %1\n" for a failed write, "Ошибка записи блока %1!\n"
// after three unacknowledged attempts, the block number formatted by `locale`;
// empty for the other outcomes (they have no message of their own).
QString transferFailureText(const FirmwareTransfer::Result& result, const QLocale& locale);
