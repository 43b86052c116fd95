#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

// Lives in the serial transport's worker thread and owns its QSerialPort.
// Its slots are reached only by name through blocking queued invocations,
// so their names, parameter names and types must not change.
class WorkerContextObject : public QObject
{
    Q_OBJECT
public:
    explicit WorkerContextObject(QObject* parent = nullptr);

public slots:
    void createSerialPort(QString portName);
    void closeSerialPort();
    void destroySerialPort();
    bool openSerialPort(QString portName, int baudRate, int dataBits, int parity, int stopBits, int flowControl);
    int writeFrame(QByteArray frame, int timeoutMs);
    // Waits up to firstWaitMs for the first byte, then takes bytes until the
    // line pauses for more than tailWaitMs; never runs longer than firstWaitMs
    // in all, so a chattering line cannot hold the caller.
    QByteArray readRaw(int firstWaitMs, int tailWaitMs);
    // Everything already received and not yet read, without waiting.
    QByteArray takeStaleInput();
    // takeStaleInput() and writeFrame() in one hand-off, since every request
    // needs both; what was dropped waits in droppedInput().
    int writeFreshFrame(QByteArray frame, int timeoutMs);

public:
    // What the last writeFreshFrame() dropped. Read by the caller once that
    // blocking call has returned, so the worker is done with it.
    QByteArray droppedInput() const { return dropped; }
    // Why the last openSerialPort() failed, read likewise once it has returned.
    QSerialPort::SerialPortError openError() const { return openFailure; }
    QString openErrorString() const { return openFailureText; }

signals:
    // The open port reported a resource error: the device is gone.
    void portLost();

private:
    void checkPortLost(QSerialPort::SerialPortError error);

    QSerialPort* serialPort = nullptr;
    QByteArray dropped;
    bool lostReported = false;
    QSerialPort::SerialPortError openFailure = QSerialPort::NoError;
    QString openFailureText;
};
