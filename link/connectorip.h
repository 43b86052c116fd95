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
    // Connects and waits up to 5000 ms (or `connectTimeoutMs`, for a gateway
    // at the far end of a slow network); ask isConnected() for the outcome.
    ConnectorIP(const QString& host, int port);
    ConnectorIP(const QString& host, int port, int connectTimeoutMs);
    ~ConnectorIP() override;

    int write(const QByteArray& payload) override;
    QByteArray read() override;

    bool isConnected() const;
    QString lastErrorString() const;

    // Bytes a peer may leave waiting between reads; beyond this the oldest go.
    static constexpr int rxBufferLimit = 64 * 1024;

private:
    friend class TestConnectorIP;

    enum class TryUnpack { Found, NeedMore, Failed };
    TryUnpack tryUnpack(QByteArray& payload);
    // Appends what the socket holds to the buffer; returns how many bytes came.
    int takeReceived();
    void dropLeftovers();
    // Reports the loss as soon as the socket leaves the connected state,
    // whether or not a read is under way.
    void watchForClose();

    QSharedPointer<QTcpSocket> socket;
    QByteArray rxBuffer;
    QString setupError;
};
