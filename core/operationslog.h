#pragma once

#include "boardstate.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <optional>

struct ExchangeResult;

// One operation that changed (or tried to change) a board.
struct OperationRecord
{
    QString program;   // "window" or "cli"
    QString link;      // "RS485 TCP 127.0.0.1:4001, address 5"
    BoardState board;  // identity as read before the operation
    QString operation; // "config-write", "factory-restore", "firmware-transfer", "flash", ...
    bool ok = false;
    QString outcome;   // "ok", "no reply", "refused", ...; empty means "ok" or "failed" by `ok`
    std::optional<qint64> boardError; // the code the board gave with its refusal

    // The outcome of a one-exchange command, in the log's words.
    void takeOutcome(const ExchangeResult& result);
    // The flash's: success is its own verdict, and a status code rides on any reply.
    void takeFlashOutcome(const ExchangeResult& result, bool flashed, std::optional<quint32> code);
};

// The operations log: one line per operation in one file shared by the window
// and the command-line tool, so whatever was done to a board can be looked up
// afterwards. Lines are appended under a lock file, so both programs may write
// at once; past `rotateBytes` the file becomes "<name>.1" (one old generation
// is kept) and a new one starts. Neither file is waited for: a FIFO or device
// in their place is refused, and a failure names the system's reason.
class OperationsLog
{
public:
    static constexpr qint64 rotateBytes = 1024 * 1024;

    // <user data folder>/Ombrek/KELDORA_NODE/operations.log
    static QString defaultPath();

    explicit OperationsLog(const QString& path = defaultPath());

    // False, with `error` set, when the line could not be written; the
    // operation itself is never held up by that.
    bool append(const OperationRecord& record, QString* error = nullptr) const;

    // time, program, link, board identity, operation, outcome: tab-separated
    // "key=value" fields, the time in UTC with milliseconds.
    static QString line(const OperationRecord& record, const QDateTime& when);

    QString path() const { return file; }

private:
    QString file;
};
