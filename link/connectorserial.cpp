#include "connectorserial.h"

#include "dumpline.h"
#include "workercontextobject.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {

// A chunk of a reply ends at the first pause longer than this on the line.
constexpr int kChunkGapMs = 2;

} // namespace

ConnectorSerial::ConnectorSerial(const QString& portName)
    : ConnectorUSB(portName)
{
    portOpen = false;
    workerThread.setObjectName(QStringLiteral("ConnectorSerialPortThread"));
    workerThread.start(QThread::InheritPriority);

    worker = new WorkerContextObject();
    QObject::connect(&workerThread, &QThread::finished, worker, &QObject::deleteLater);
    worker->moveToThread(&workerThread);

    QMetaObject::invokeMethod(worker, "createSerialPort", Qt::BlockingQueuedConnection,
                              Q_ARG(QString, portName));
    watchForPortLoss();
}

void ConnectorSerial::watchForPortLoss()
{
    QObject::connect(worker, &WorkerContextObject::portLost, worker, [this] { portGone = true; },
                     Qt::DirectConnection);
    QObject::connect(worker, &WorkerContextObject::portLost, &lossRelay, [this] { reportLinkLost(); },
                     Qt::QueuedConnection);
}

ConnectorSerial::~ConnectorSerial()
{
    QObject::disconnect(worker, &WorkerContextObject::portLost, nullptr, nullptr);
    if (worker) {
        QMetaObject::invokeMethod(worker, "closeSerialPort", Qt::BlockingQueuedConnection);
        QMetaObject::invokeMethod(worker, "destroySerialPort", Qt::BlockingQueuedConnection);
    }
    // The worker goes with the thread's finished signal (deleteLater).
    worker = nullptr;
    workerThread.quit();
    workerThread.wait();
}

void ConnectorSerial::setDevID(unsigned char id)
{
    devId = id;
}

bool ConnectorSerial::openPort(const QString& portName, int baudRate, QSerialPort::DataBits dataBits,
                               QSerialPort::Parity parity, QSerialPort::StopBits stopBits,
                               QSerialPort::FlowControl flowControl)
{
    if (!worker)
        return false;

    portOpen = false;
    QMetaObject::invokeMethod(worker, "closeSerialPort", Qt::BlockingQueuedConnection);

    bool opened = false;
    const bool invoked = QMetaObject::invokeMethod(
        worker, "openSerialPort", Qt::BlockingQueuedConnection, Q_RETURN_ARG(bool, opened),
        Q_ARG(QString, portName), Q_ARG(qint32, baudRate), Q_ARG(int, int(dataBits)),
        Q_ARG(int, int(parity)), Q_ARG(int, int(stopBits)), Q_ARG(int, int(flowControl)));
    if (invoked && opened) {
        portOpen = true;
        portGone = false;
        return true;
    }

    QMetaObject::invokeMethod(worker, "closeSerialPort", Qt::BlockingQueuedConnection);
    portOpen = false;
    return false;
}

// The worker is idle between the blocking calls, so its record of the last
// open can be read from here.
QSerialPort::SerialPortError ConnectorSerial::openError() const
{
    return worker ? worker->openError() : QSerialPort::NoError;
}

QString ConnectorSerial::openErrorString() const
{
    return worker ? worker->openErrorString() : QString();
}

int ConnectorSerial::write(const QByteArray& payload)
{
    if (!worker || !portOpen)
        return -1;

    // Bytes still waiting (a reply that came after its read timed out, the
    // second answer to a resent request) would be taken as the answer to this
    // request; the worker drops them as it writes, and they are shown first.
    QByteArray frame;
    Pack(frame, payload);
    int result = -1;
    const bool invoked = QMetaObject::invokeMethod(worker, "writeFreshFrame", Qt::BlockingQueuedConnection,
                                                   Q_RETURN_ARG(int, result), Q_ARG(QByteArray, frame),
                                                   Q_ARG(int, waitMs()));
    if (invoked) {
        const QByteArray stale = worker->droppedInput();
        if (!stale.isEmpty())
            emitDump(dumpLine("RX", stale));
        if (mayHoldOwnReply(stale))
            noteExtraReply();
    }
    emitDump(dumpLine("TX", frame));
    if (!invoked) {
        portOpen = false;
        return -1;
    }
    if (result < 0)
        portOpen = false;
    return result;
}

QByteArray ConnectorSerial::read()
{
    if (!worker || !portOpen)
        return QByteArray();

    QElapsedTimer clock;
    clock.start();
    QByteArray buffer;
    for (;;) {
        // A frame already begun may finish a little past the time-out; what it
        // leaves unfinished goes with the buffer, never into the next read.
        const int grace = FrameCodec::hasStartMark(buffer) ? FrameCodec::startedFrameGraceMs : 0;
        const qint64 remaining = getTimeout() + grace - clock.elapsed();
        if (remaining < 1)
            break;

        QByteArray chunk;
        if (!QMetaObject::invokeMethod(worker, "readRaw", Qt::BlockingQueuedConnection,
                                       Q_RETURN_ARG(QByteArray, chunk), Q_ARG(int, int(remaining)),
                                       Q_ARG(int, kChunkGapMs))) {
            portOpen = false;
            return QByteArray();
        }
        if (chunk.isEmpty() && portGone)
            return QByteArray();
        if (!chunk.isEmpty()) {
            buffer += chunk;
            emitDump(dumpLine("RX", chunk));
        }

        const UnpackResult step = Unpack(buffer);
        switch (step.status) {
        case UnpackOk:
            // A second frame in the same chunk goes with the buffer.
            if (mayHoldOwnReply(buffer))
                noteExtraReply();
            return step.payload;
        case UnpackBadCrc:
        case UnpackForeignAddress:
            return QByteArray();
        default:
            // Noise on the bus must not pile up while we wait for a start mark.
            FrameCodec::discardJunk(buffer);
            break;
        }
    }
    return QByteArray();
}

void ConnectorSerial::Pack(QByteArray& out, const QByteArray& payload) const
{
    FrameCodec::pack(out, devId, payload);
}

UnpackResult ConnectorSerial::Unpack(QByteArray& buffer) const
{
    if (!passedOver)
        return FrameCodec::unpack(buffer, devId);
    const QByteArray before = buffer;
    const UnpackResult result = FrameCodec::unpack(buffer, devId);
    if (result.status == UnpackBadCrc || result.status == UnpackForeignAddress) {
        // Nothing ahead of the start mark survives the step, so the frame is
        // what was taken from the mark on.
        const QByteArray taken = before.left(before.size() - buffer.size());
        passedOver(result.status, taken.mid(FrameCodec::startMarkAt(taken)));
    }
    return result;
}

bool ConnectorSerial::mayHoldOwnReply(const QByteArray& input) const
{
    static const QByteArray mark = QByteArray::fromHex("FE45FF54");
    for (int at = input.indexOf(mark); at >= 0; at = input.indexOf(mark, at + 1)) {
        if (input.size() < at + 6)
            return true;
        const uint32_t address = quint8(input.at(at + 4)) | (uint32_t(quint8(input.at(at + 5))) << 8);
        if (address == devId)
            return true;
    }
    return false;
}

unsigned char* ConnectorSerial::reorder4(unsigned char* data, unsigned int length) const
{
    static unsigned char work[4];
    const unsigned int count = length < 4 ? length : 4;
    const unsigned int padding = 4 - count;
    for (unsigned int i = 0; i < padding; ++i)
        work[i] = 0xFF;
    for (unsigned int i = 0; i < count; ++i)
        work[padding + i] = data[count - 1 - i];
    return work;
}

unsigned int ConnectorSerial::crc32_formula_normal_STM32(unsigned int length, void* data) const
{
    auto* bytes = static_cast<unsigned char*>(data);
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned int at = 0; at < length; at += 4) {
        const unsigned int group = length - at < 4 ? length - at : 4;
        const unsigned char* work = reorder4(bytes + at, group);
        for (int i = 0; i < 4; ++i) {
            crc ^= uint32_t(work[i]) << 24;
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : (crc << 1);
        }
    }
    return crc;
}
