#pragma once

#include "connector.h"
#include "tessarin_export.h"

#include <QSerialPort>
#include <QString>

// A board on a USB virtual COM port: bare payloads, a reply is whatever
// arrives until the line goes quiet.
class TESSARIN_EXPORT ConnectorUSB : public Connector
{
public:
    explicit ConnectorUSB(const QString& portName);
    ~ConnectorUSB() override;

    void setDevID(unsigned char id) override;
    int write(const QByteArray& data) override;
    QByteArray read() override;

    QSerialPort* GetSerialPort();

protected:
    // The time-out as a wait for Qt's blocking calls: never negative.
    int waitMs() const;

    QString portName;

private:
    // Takes whatever the port already holds, without waiting.
    QByteArray takeStaleInput();

    QSerialPort serialPort;
};
