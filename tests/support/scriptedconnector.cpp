#include "scriptedconnector.h"

#include <algorithm>

ScriptedConnector::Step ScriptedConnector::reply(const QByteArray& bytes)
{
    return Step{ Step::Reply, bytes, {} };
}

ScriptedConnector::Step ScriptedConnector::replyHex(const char* hex)
{
    return reply(QByteArray::fromHex(QByteArray(hex).replace(' ', "")));
}

ScriptedConnector::Step ScriptedConnector::silence()
{
    return Step{ Step::Silence, QByteArray(), {} };
}

ScriptedConnector::Step ScriptedConnector::writeFailure()
{
    return Step{ Step::WriteFailure, QByteArray(), {} };
}

ScriptedConnector::Step ScriptedConnector::reads(const QList<QByteArray>& replies)
{
    Step step{ Step::Reply, replies.value(0), replies.mid(1) };
    return step;
}

ScriptedConnector::ScriptedConnector() = default;

void ScriptedConnector::queue(const Step& step)
{
    script.append(step);
}

void ScriptedConnector::queue(const QList<Step>& steps)
{
    script.append(steps);
}

void ScriptedConnector::setResponder(const Responder& r)
{
    responder = r;
}

int ScriptedConnector::pending() const
{
    return script.size();
}

void ScriptedConnector::forgetRecords()
{
    writes.clear();
    writeOk.clear();
    writeTimeouts.clear();
    readTimeouts.clear();
    laterReadTimeouts.clear();
}

void ScriptedConnector::setDevID(unsigned char id)
{
    devId = id;
}

int ScriptedConnector::write(const QByteArray& data)
{
    writes.append(data);
    writeTimeouts.append(getTimeout());
    if (onWrite)
        onWrite(data);

    Step step;
    if (!script.isEmpty())
        step = script.takeFirst();
    else if (responder)
        step = responder(data);

    // As the transports do: what no read took is thrown away, and counted.
    if (std::any_of(nextReplies.cbegin(), nextReplies.cend(), [](const QByteArray& r) { return !r.isEmpty(); }))
        noteExtraReply();
    nextReplies.clear();
    readSinceWrite = false;
    if (step.kind == Step::WriteFailure) {
        writeOk.append(false);
        return -1;
    }
    writeOk.append(true);
    if (step.kind == Step::Reply)
        nextReplies = QList<QByteArray>{ step.bytes } + step.more;
    return data.size();
}

QByteArray ScriptedConnector::read()
{
    (readSinceWrite ? laterReadTimeouts : readTimeouts).append(getTimeout());
    readSinceWrite = true;
    return nextReplies.isEmpty() ? QByteArray() : nextReplies.takeFirst();
}
