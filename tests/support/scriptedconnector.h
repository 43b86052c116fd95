#pragma once

#include "connector.h"

#include <QByteArray>
#include <QList>

#include <functional>

// A Connector double for tests of the exchange pattern itself (time-outs
// restored, attempts counted, requests byte-exact). It records every write and
// the time-out in force at every read, and answers from a script.
//
// Each write takes the next step of the script:
//   reply(bytes)   the write succeeds and the next read returns `bytes`;
//   silence()      the write succeeds and the next read returns nothing;
//   writeFailure() the write returns -1 (and the next read returns nothing);
//   reads({a, b})  the write succeeds and the reads up to the next write
//                  return a, then b, then nothing: a late reply is
//                  reads({ {}, bytes }), an answer given twice reads({ c9, c9 }).
//                  Replies no read took when the next write comes are thrown
//                  away and counted (extraReplies), as the transports do.
// Once the script is used up, the responder (if set) decides the step from the
// request; without one every further write is answered by silence.
//
//     ScriptedConnector link;
//     link.queue(ScriptedConnector::silence());
//     link.queue(ScriptedConnector::reply(QByteArray::fromHex("c9")));
//     ... run the code under test on &link ...
//     QCOMPARE(link.writes.size(), 2);
//     QCOMPARE(link.readTimeouts, QList<int>({2000, 2000}));
class ScriptedConnector : public Connector
{
public:
    struct Step
    {
        enum Kind { Reply, Silence, WriteFailure };
        Kind kind = Silence;
        QByteArray bytes;
        QList<QByteArray> more; // what the reads after the first one return
    };

    static Step reply(const QByteArray& bytes);
    static Step replyHex(const char* hex); // "c9 02 00": blanks allowed
    static Step silence();
    static Step writeFailure();
    static Step reads(const QList<QByteArray>& replies);

    using Responder = std::function<Step(const QByteArray& request)>;

    ScriptedConnector();

    void queue(const Step& step);
    void queue(const QList<Step>& steps);
    void setResponder(const Responder& responder);
    // Steps not yet used.
    int pending() const;
    // Forgets what was recorded so far (writes and time-outs); the script
    // and the responder stay.
    void forgetRecords();

    void setDevID(unsigned char id) override;
    int write(const QByteArray& data) override;
    QByteArray read() override;

    // Every payload handed to write, failed ones included, in order.
    QList<QByteArray> writes;
    // Whether each of `writes` succeeded.
    QList<bool> writeOk;
    // The time-out in force at each write and at the first read after each
    // write; further reads before the next write (a late reply waited for,
    // the link drained) go to laterReadTimeouts.
    QList<int> writeTimeouts;
    QList<int> readTimeouts;
    QList<int> laterReadTimeouts;
    int devId = -1;

    // Called at each write after it has been recorded (before the step is
    // taken); lets a test act in the middle of a sequence.
    std::function<void(const QByteArray& request)> onWrite;

private:
    QList<Step> script;
    Responder responder;
    QList<QByteArray> nextReplies;
    bool readSinceWrite = false;
};
