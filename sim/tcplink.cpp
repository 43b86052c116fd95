#include "tcplink.h"

#include "clientsession.h"
#include "virtualboard.h"

#include <QTcpSocket>

TcpLink::TcpLink(VirtualBoard* owner, QObject* parent)
    : QObject(parent)
    , board(owner)
{
    connect(&server, &QTcpServer::newConnection, this, &TcpLink::acceptClients);
}

bool TcpLink::listen(const QHostAddress& host, quint16 port, QString* error)
{
    if (!server.listen(host, port)) {
        if (error)
            *error = server.errorString();
        return false;
    }
    return true;
}

QString TcpLink::hostText() const
{
    return server.serverAddress().toString();
}

quint16 TcpLink::port() const
{
    return server.serverPort();
}

void TcpLink::acceptClients()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        // Paced and split replies must leave when the board says, not when Nagle would.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        const QString peer = QStringLiteral("tcp %1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        auto sink = [socket](const QByteArray& bytes) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(bytes);
        };
        auto hangUp = [this, socket, peer] {
            board->log().event(peer, QStringLiteral("cutting the connection on purpose"));
            socket->disconnectFromHost();
        };
        // The session lives as a child of its socket and goes with it.
        auto* session = new ClientSession(board, true, peer, sink, hangUp, socket);
        connect(socket, &QTcpSocket::readyRead, session, [socket, session] { session->receive(socket->readAll()); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket, session, peer] {
            session->reset();
            board->log().event(peer, QStringLiteral("client gone"));
            socket->deleteLater();
        });
        board->log().event(peer, QStringLiteral("client connected"));
        if (socket->bytesAvailable() > 0)
            session->receive(socket->readAll());
    }
}
