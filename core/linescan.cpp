#include "linescan.h"

#include "commandexchange.h"
#include "commandset.h"
#include "connectorserial.h"
#include "framecodec.h"
#include "replyparsers.h"

#include <QElapsedTimer>

LineScan::LineScan(Connector* link, ConnectorSerial* line, QObject* parent)
    : QObject(parent)
    , link(link)
    , line(line)
{
    if (line)
        line->setPassedOverCallback([this](int32_t status, const QByteArray& frame) { notePassedOver(status, frame); });
}

LineScan::~LineScan()
{
    if (line)
        line->setPassedOverCallback(ConnectorSerial::PassedOverCallback());
}

void LineScan::notePassedOver(int32_t status, const QByteArray& frame)
{
    passed.append({ status, frame });
}

QByteArray LineScan::listen(qint64 ms)
{
    if (ms < 1)
        return QByteArray();
    const int kept = link->getTimeout();
    link->setTimeout(int(ms));
    const QByteArray reply = link->read();
    link->setTimeout(kept);
    return reply;
}

LineScan::Summary LineScan::run(int from, int to, int waitMs)
{
    Summary summary;
    summary.from = qBound(firstAddress, from, lastAddress);
    summary.to = qBound(firstAddress, to, lastAddress);
    stopRequested = false;
    QElapsedTimer clock;
    clock.start();
    for (int address = summary.from; address <= summary.to; ++address) {
        emit addressStarted(address, address - summary.from + 1, summary.total(), summary.boards);
        if (stopRequested)
            break;
        ++summary.asked;
        scanAddress(address, waitMs, summary);
    }
    summary.stopped = stopRequested;
    summary.elapsedMs = clock.elapsed();
    passed.clear();
    return summary;
}

void LineScan::reportPassedOver(int address, Summary& summary)
{
    for (const PassedOver& odd : passed) {
        ++summary.oddAnswers;
        Answer answer;
        answer.address = address;
        answer.frame = odd.frame;
        if (odd.status == UnpackForeignAddress) {
            answer.kind = Answer::ForeignAddress;
            answer.frameAddress = int(FrameCodec::frameAddress(odd.frame).value_or(0));
        } else {
            answer.kind = Answer::BadChecksum;
        }
        emit answered(answer);
    }
    passed.clear();
}

void LineScan::scanAddress(int address, int waitMs, Summary& summary)
{
    link->setDevID(static_cast<unsigned char>(address));
    // A garbled answer may be a collision on the line: the address is asked
    // once more before it counts as no board.
    ExchangeResult version;
    QElapsedTimer wait;
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int passedBefore = passed.size();
        wait.start();
        // No late-reply grace: the wait is the whole time per address, and an
        // answer that comes later still names its board's address, so it is
        // reported as a foreign answer rather than taken.
        version = CommandExchange(link).transact(QByteArray(1, char(Command::ReadFirmwareVersion)), waitMs,
                                                 CommandExchange::AfterWrite(), 0);
        if (version.answered() || passed.size() == passedBefore)
            break;
    }
    const bool versionValid = version.answered() && parseFirmwareVersionReply(version.reply);
    // A second board on the same address answers the same request; whatever
    // comes for the address in the rest of its wait is that.
    const QByteArray second = versionValid ? listen(waitMs - wait.elapsed()) : QByteArray();

    reportPassedOver(address, summary);
    if (!version.answered())
        return;

    Answer answer;
    answer.address = address;
    if (!versionValid) {
        ++summary.oddAnswers;
        answer.kind = Answer::WrongReply;
        answer.reply = version.reply;
        emit answered(answer);
        return;
    }
    if (!second.isEmpty()) {
        // Two boards' answers to the readout would mix: none is read out.
        ++summary.shared;
        answer.kind = Answer::DuplicateAddress;
        answer.reply = version.reply;
        answer.secondReply = second;
        emit answered(answer);
        return;
    }

    emit readoutStarting(address);
    if (stopRequested)
        return;
    answer.readout.setLink(link);
    answer.readout.run(true);
    answer.readout.setLink(nullptr);
    passed.clear();
    if (!answer.readout.complete()) {
        // It answered, so something is there, but not a board that can be vouched for.
        ++summary.incomplete;
        answer.kind = Answer::Incomplete;
        emit answered(answer);
        return;
    }
    ++summary.boards;
    answer.kind = Answer::Board;
    emit answered(answer);
}
