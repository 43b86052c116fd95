#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <thread>

// A TCP peer on 127.0.0.1 (ephemeral port) played by the test from a
// background thread, since the transports block the calling thread.
//
//   LoopbackPeer peer;                       // listening; check isListening()
//   peer.startScript([](LoopbackPeer& p) {   // accepts one connection first
//       QByteArray req = p.read(12, 2000);
//       p.write(reply); p.closeConnection();
//   });
//   ConnectorIP link("127.0.0.1", peer.port());
//   ...
//   peer.waitScript();
//
// Only loopback addresses are used. read()/write() act on the accepted
// connection.
class LoopbackPeer
{
public:
    explicit LoopbackPeer(int backlog = 8);
    ~LoopbackPeer();

    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    bool isListening() const;
    QString errorString() const;
    quint16 port() const;

    // Accepts one connection (waiting up to acceptTimeoutMs) on a background
    // thread, then runs `script` there; the script is skipped when nobody
    // connected in time (accepted() tells).
    void startScript(std::function<void(LoopbackPeer&)> script, int acceptTimeoutMs = 6000);
    void waitScript();
    bool accepted() const;

    bool write(const QByteArray& bytes);
    QByteArray read(int count, int timeoutMs);
    QByteArray readUntilQuiet(int quietMs, int maxMs);
    // Closes the accepted connection (the transport then sees the peer go).
    void closeConnection();
    // Stops listening; later connection attempts are refused.
    void stopListening();

    static void pause(int ms);

private:
    int listener = -1;
    int connection = -1;
    quint16 boundPort = 0;
    QString error;
    std::thread scriptThread;
};
