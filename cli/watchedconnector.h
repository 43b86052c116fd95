#pragma once

#include "connector.h"

#include <QSharedPointer>

#include <functional>

// Stands between the commands and the real transport and keeps count of what
// happened on the link, so the tool can tell a silent board (or a broken
// link) from one that answered wrongly, whatever command was under way. It
// hands every payload through unchanged and passes its time-out on, so the
// commands' own time-outs reach the transport.
class WatchedConnector : public Connector
{
public:
    struct Tally
    {
        int writes = 0;
        int failedWrites = 0;
        int reads = 0;
        int silentReads = 0; // requests whose reads all came back empty

        // Something went unanswered or could not be sent.
        bool silenceSince(const Tally& earlier) const
        {
            return failedWrites > earlier.failedWrites || silentReads > earlier.silentReads;
        }
    };

    // Receives "> " / "< " lines with the payload in hex when set.
    using Trace = std::function<void(const QString&)>;

    explicit WatchedConnector(QSharedPointer<Connector> inner);

    void setDevID(unsigned char id) override;
    int write(const QByteArray& data) override;
    QByteArray read() override;
    // The count lives with the transport, whoever asks.
    qint64 extraReplies() const override;
    void noteExtraReply() override;

    const Tally& tally() const { return counts; }
    void setTrace(const Trace& trace);
    // Added to every read's time-out on the way to the transport: a gateway
    // over a slow network answers later than the board itself would.
    void setExtraWait(int ms) { extraWaitMs = ms; }

private:
    QSharedPointer<Connector> inner;
    Tally counts;
    // What the reads since the last write found: a read that drains the link
    // after the request was answered is no silence.
    enum class SinceWrite { Unread, Silent, Answered };
    SinceWrite sinceWrite = SinceWrite::Answered;
    Trace trace;
    int extraWaitMs = 0;
};
