#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QSerialPort;

// Lives in the serial transport's worker thread and owns its QSerialPort.
// Its slots are reached only by name through blocking queued invocations.
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
    QByteArray readRaw(int firstWaitMs, int tailWaitMs);

private:
    QSerialPort* serialPort = nullptr;
};
