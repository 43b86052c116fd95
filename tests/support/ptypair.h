#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <thread>

// A pseudo-terminal pair in raw mode for playing a board at the other end of
// a serial transport.
//
//   PtyPair pty;                        // opens master and slave; check isOpen()
//   port.setPortName(pty.slavePath());  // the transport opens the slave path
//   pty.startScript([](PtyPair& p) {    // the board runs on its own thread,
//       QByteArray req = p.read(12, 2000);   // since the transport blocks
//       p.write(reply.left(5)); PtyPair::pause(20); p.write(reply.mid(5));
//   });
//   ... transport.read() ...
//   pty.waitScript();                   // joins the board thread
//
// read() and write() work on the master side and may be called from the
// script thread or the test thread (not both at once). The pair keeps its own
// slave descriptor open for its whole life, so the master never sees a hang-up
// when a transport closes the port and opens it again.
class PtyPair
{
public:
    PtyPair();
    ~PtyPair();

    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isOpen() const;
    QString errorString() const;
    // The device path a QSerialPort opens, for example "/dev/pts/7".
    QString slavePath() const;
    int masterFd() const;

    // Writes all of `bytes` to the master side; false on failure.
    bool write(const QByteArray& bytes);
    // Writes each chunk after pausing `pauseMs` (no pause before the first).
    bool writeChunks(const QList<QByteArray>& chunks, int pauseMs);
    // Reads until `count` bytes have come or `timeoutMs` has passed; returns
    // what came (possibly fewer bytes).
    QByteArray read(int count, int timeoutMs);
    // Reads until nothing has come for `quietMs`, or `maxMs` has passed.
    QByteArray readUntilQuiet(int quietMs, int maxMs);
    // Everything that can be read right now.
    QByteArray drain();

    // Runs `script` on a background thread (one at a time).
    void startScript(std::function<void(PtyPair&)> script);
    // Waits for the script to finish.
    void waitScript();

    static void pause(int ms);

private:
    int master = -1;
    int slave = -1;
    QString slaveName;
    QString error;
    std::thread scriptThread;
};
