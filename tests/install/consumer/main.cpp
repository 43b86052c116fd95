// Frames a request with the library's codec and sends it through its TCP
// transport to a local server, which must receive exactly that frame.

// Both include forms that integrators use.
#include <Tessarin/connectorip.h>
#include <framecodec.h>

#include <QCoreApplication>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);

    const QByteArray expected = QByteArray::fromHex("fe45ff540100017d3f890000");
    if (FrameCodec::pack(1, QByteArray(1, char(0x7D))) != expected) {
        std::fprintf(stderr, "frame codec gave the wrong frame\n");
        return 1;
    }

    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    // Through the base class: the exported virtual table is what is checked.
    QScopedPointer<Connector> link(new ConnectorIP(QStringLiteral("127.0.0.1"), server.serverPort()));
    link->setDevID(1);
    if (!static_cast<ConnectorIP*>(link.data())->isConnected() || link->getTimeout() != 3000) {
        std::fprintf(stderr, "the transport did not connect\n");
        return 1;
    }
    if (!server.waitForNewConnection(5000)) {
        std::fprintf(stderr, "no connection arrived\n");
        return 1;
    }
    QTcpSocket* peer = server.nextPendingConnection();
    if (link->write(QByteArray(1, char(0x7D))) != expected.size()) {
        std::fprintf(stderr, "the transport did not write the frame\n");
        return 1;
    }
    QByteArray received;
    while (received.size() < expected.size() && peer->waitForReadyRead(5000))
        received += peer->readAll();
    if (received != expected) {
        std::fprintf(stderr, "the peer received %s\n", received.toHex().constData());
        return 1;
    }
    std::printf("Tessarin works: %s\n", received.toHex(' ').constData());
    return 0;
}
