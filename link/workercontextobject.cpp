#include "workercontextobject.h"

#include "serialinput.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QSerialPort>

#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif
#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

// A line that never stops talking must not keep takeStaleInput() looping.
constexpr int kMaxDrainPasses = 16;

bool lineHungUp(QSerialPort* port)
{
#ifdef Q_OS_UNIX
    pollfd p { int(port->handle()), POLLIN, 0 };
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    Q_UNUSED(port);
    return false;
#endif
}

} // namespace

void WorkerContextObject::checkPortLost(QSerialPort::SerialPortError error)
{
    if (!serialPort || !serialPort->isOpen() || lostReported)
        return;
    // A removed device gives a resource error, the far end of a pty that
    // closed a read error; either way the system then reports the line hung
    // up. That is asked as well, since a flooded port also raises a resource
    // error for a read that would merely block (EAGAIN), and the link is
    // still there.
    if (error != QSerialPort::ResourceError && error != QSerialPort::ReadError)
        return;
    if (!lineHungUp(serialPort))
        return;
    lostReported = true;
    emit portLost();
    // A hung-up line stays readable for ever, and every wake-up would be one
    // more error; closed, it leaves the worker idle and every later call
    // fails at once. Not from inside the port's own notification.
    QMetaObject::invokeMethod(this, &WorkerContextObject::closeSerialPort, Qt::QueuedConnection);
}

WorkerContextObject::WorkerContextObject(QObject* parent)
    : QObject(parent)
{
}

void WorkerContextObject::createSerialPort(QString portName)
{
    if (serialPort)
        return;
#ifdef Q_OS_LINUX
    // A reply ends with a 2 ms quiet wait; the default 50 us of timer slack
    // on this thread would add to every one of them.
    prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
#endif
    serialPort = new QSerialPort(this);
    serialPort->setPortName(portName);
    serialPort->setReadBufferSize(SerialInput::maxChunk);
    // Seen by the worker's event loop while the line is idle, or by a
    // blocking wait during an exchange.
    connect(serialPort, &QSerialPort::errorOccurred, this, &WorkerContextObject::checkPortLost);
}

void WorkerContextObject::closeSerialPort()
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();
}

void WorkerContextObject::destroySerialPort()
{
    if (!serialPort)
        return;
    if (serialPort->isOpen())
        serialPort->close();
    delete serialPort;
    serialPort = nullptr;
}

bool WorkerContextObject::openSerialPort(QString portName, int baudRate, int dataBits, int parity,
                                         int stopBits, int flowControl)
{
    openFailure = QSerialPort::NoError;
    openFailureText.clear();
    if (!serialPort)
        return false;
    if (serialPort->isOpen())
        serialPort->close();
    serialPort->setPortName(portName);
    serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
    serialPort->setDataBits(QSerialPort::DataBits(dataBits));
    serialPort->setParity(QSerialPort::Parity(parity));
    serialPort->setStopBits(QSerialPort::StopBits(stopBits));
    serialPort->setFlowControl(QSerialPort::FlowControl(flowControl));
    lostReported = false;
    const bool opened = serialPort->open(QIODevice::ReadWrite);
    // Kept for the caller's message: the close that follows a failed open
    // leaves the port's own error as it is, but a later call would not.
    openFailure = opened ? QSerialPort::NoError : serialPort->error();
    openFailureText = opened ? QString() : serialPort->errorString();
    return opened;
}

int WorkerContextObject::writeFrame(QByteArray frame, int timeoutMs)
{
    if (!serialPort || !serialPort->isOpen())
        return -1;
    if (frame.isEmpty())
        return 0;

    serialPort->clearError();
    qint64 written = 0;
    while (written < frame.size()) {
        const qint64 accepted = serialPort->write(frame.constData() + written, frame.size() - written);
        if (accepted <= 0)
            return -1;
        if (!SerialInput::waitWritten(serialPort, qMax(0, timeoutMs)))
            return -1;
        written += accepted;
    }
    return int(written);
}

QByteArray WorkerContextObject::readRaw(int firstWaitMs, int tailWaitMs)
{
    QByteArray result;
    if (!serialPort || !serialPort->isOpen())
        return result;

    QElapsedTimer clock;
    clock.start();
    if (serialPort->bytesAvailable() > 0 || serialPort->waitForReadyRead(firstWaitMs)) {
        result += serialPort->read(SerialInput::maxChunk);
        for (;;) {
            const qint64 left = firstWaitMs - clock.elapsed();
            if (left <= 0 || result.size() >= SerialInput::maxChunk)
                break;
            if (!serialPort->waitForReadyRead(int(qMin<qint64>(tailWaitMs, left))))
                break;
            result += serialPort->read(SerialInput::maxChunk - result.size());
        }
    }
    return result;
}

QByteArray WorkerContextObject::takeStaleInput()
{
    QByteArray stale;
    if (!serialPort || !serialPort->isOpen())
        return stale;
    for (int pass = 0; pass < kMaxDrainPasses; ++pass) {
        stale += serialPort->readAll();
        if (!serialPort->waitForReadyRead(0))
            break;
    }
    stale += serialPort->readAll();
    return stale;
}

int WorkerContextObject::writeFreshFrame(QByteArray frame, int timeoutMs)
{
    dropped = takeStaleInput();
    return writeFrame(frame, timeoutMs);
}
