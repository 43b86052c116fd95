#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTcpServer>

class VirtualBoard;

// The board behind a TCP endpoint, framed as on the RS-485 line. Clients may
// come one after another or at the same time; each has its own receive
// buffer and reply queue, and all of them talk to the same board. A client
// that goes away mid-request or mid-transfer takes only its half-received
// bytes with it; the board keeps what it had acknowledged.
class TcpLink : public QObject
{
    Q_OBJECT
public:
    explicit TcpLink(VirtualBoard* board, QObject* parent = nullptr);

    // Port 0 takes any free port; see port().
    bool listen(const QHostAddress& host, quint16 port, QString* error);
    QString hostText() const;
    quint16 port() const;

private:
    void acceptClients();

    VirtualBoard* board;
    QTcpServer server;
};
