#pragma once

#include "connectorserial.h"
#include "tessarin_export.h"

#include <QByteArray>
#include <QSharedPointer>
#include <QString>

class QTcpSocket;

// The RS-485 frame over TCP, so one endpoint can stand for a bus.
class TESSARIN_EXPORT ConnectorIP : public ConnectorSerial
{
public:
    ConnectorIP(const QString& host, int port);
    ~ConnectorIP() override;

    int write(const QByteArray& payload) override;
    QByteArray read() override;

    bool isConnected() const;
    QString lastErrorString() const;

private:
    QSharedPointer<QTcpSocket> socket;
    QByteArray rxBuffer;
};
