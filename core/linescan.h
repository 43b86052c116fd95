#pragma once

#include "boardreadout.h"

#include <QByteArray>
#include <QObject>
#include <QVector>

#include <atomic>

class Connector;
class ConnectorSerial;

// Finds the boards on one RS-485 line (or a TCP endpoint standing for one):
// every address asked for its firmware version with the per-address wait,
// and each board that answers alone read out as the window does on connect.
// Only a board that answered alone and whose readout came back whole counts
// as a board; a frame for another address, a frame with a bad checksum, a
// reply that is no version, two answers to one request and an incomplete
// readout are reported as what they are. Front ends word the reports
// themselves. Runs on the caller's thread and blocks it, exchange by
// exchange; the signals are the places to let events through.
class LineScan : public QObject
{
    Q_OBJECT

public:
    static constexpr int firstAddress = 0;
    static constexpr int lastAddress = 255;
    // How long each address may take to answer: boards answer within a few
    // milliseconds, so a whole line is asked in under half a minute.
    static constexpr int defaultWaitMs = 100;

    struct Answer
    {
        enum Kind {
            Board,           // answered alone, read out whole
            Incomplete,      // answered alone, but the readout did not come back whole
            ForeignAddress,  // a whole frame for another address (`frameAddress`)
            BadChecksum,     // a frame whose checksum is wrong
            WrongReply,      // a frame for this address that holds no firmware version (`reply`)
            DuplicateAddress // two answers to one request (`reply`, `secondReply`): not read out
        };
        Kind kind = Board;
        int address = 0;
        QByteArray frame;      // ForeignAddress, BadChecksum: the frame as it came
        int frameAddress = 0;  // ForeignAddress
        QByteArray reply;      // WrongReply, DuplicateAddress
        QByteArray secondReply; // DuplicateAddress
        BoardReadout readout;  // Board, Incomplete (with no link left in it)
    };

    struct Summary
    {
        int from = 0;
        int to = 0;
        int asked = 0;
        int boards = 0;
        int oddAnswers = 0; // ForeignAddress, BadChecksum, WrongReply
        int incomplete = 0;
        int shared = 0;     // DuplicateAddress
        bool stopped = false;
        qint64 elapsedMs = 0;
        int total() const { return to - from + 1; }
        bool anyAnswer() const { return boards + incomplete + shared + oddAnswers > 0; }
    };

    // Requests go through `link`. Frames the framed transport `line` passes
    // over are taken through its callback for the scan's life (both must
    // outlive the scan); without a line, notePassedOver() is how they come in.
    explicit LineScan(Connector* link, ConnectorSerial* line = nullptr, QObject* parent = nullptr);
    ~LineScan() override;

    // Asks `from` to `to` (inclusive, 0 to 255), `waitMs` each.
    Summary run(int from, int to, int waitMs = defaultWaitMs);
    // Ends the scan before the next address (or before a readout); the
    // exchange under way finishes first. May be called from a slot of the
    // signals below or from another thread.
    void stop() { stopRequested = true; }

    // A whole frame the transport passed over (FrameCodec's status and bytes).
    void notePassedOver(int32_t status, const QByteArray& frame);

signals:
    // About to ask `address`, the `asked`-th of `total`; `found` boards so far.
    void addressStarted(int address, int asked, int total, int found);
    // The board at `address` answered alone; its readout begins.
    void readoutStarting(int address);
    // One report, in the order they happen.
    void answered(const LineScan::Answer& answer);

private:
    struct PassedOver
    {
        int32_t status;
        QByteArray frame;
    };

    // Reads whatever else comes for the address in `ms`: a second board's answer.
    QByteArray listen(qint64 ms);
    void reportPassedOver(int address, Summary& summary);
    void scanAddress(int address, int waitMs, Summary& summary);

    Connector* link;
    ConnectorSerial* line;
    QVector<PassedOver> passed;
    std::atomic<bool> stopRequested { false };
};
