#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Runs the virtual board (quorvel-vboard) as a separate process for a test.
//
//   VirtualBoardProcess board;
//   QVERIFY2(board.start({ "--board-type", "4" }), qPrintable(board.errorString()));
//   ConnectorIP link(board.host(), board.port());     // framed TCP, address 0
//   board.command("silent 1");                        // a run-time knob
//   QJsonObject s = board.state();                    // what the board holds now
//
// start() picks a free loopback port itself (the board is started with
// --tcp 127.0.0.1:0 unless the arguments name --tcp), or a fresh pty with
// Link::Pty / Link::PtyBare, and waits for the board's READY line. The board's
// log goes to a private file (read it with log()), never to a pipe that could
// fill up while a test blocks in a transport call. Every run-time command
// answers exactly one line: "OK ...", "ERROR ...", or a JSON object for
// "state". The destructor asks the board to quit and kills it if it lingers.
class VirtualBoardProcess
{
public:
    enum class Link {
        Tcp,     // framed, as "RS485 TCP"
        Pty,     // framed, as "RS485 COM"; the path is ptyPath()
        PtyBare, // bare payloads, as "USB COM"
    };

    VirtualBoardProcess();
    ~VirtualBoardProcess();
    VirtualBoardProcess(const VirtualBoardProcess&) = delete;
    VirtualBoardProcess& operator=(const VirtualBoardProcess&) = delete;

    // `arguments` are the board's own options (see quorvel-vboard --help).
    bool start(const QStringList& arguments = QStringList(), Link link = Link::Tcp, int timeoutMs = 10000);
    // Quits the board (politely first); safe to call when it is not running.
    void stop();
    bool isRunning() const;
    // The board's process id (0 when not running), for a test that must end
    // it from another thread while the window blocks in a transport call.
    qint64 processId() const { return process.processId(); }

    QString host() const { return tcpHost; }
    quint16 port() const { return tcpPort; }
    QString ptyPath() const { return pty; }

    // Sends one run-time command and returns its answer line, or an empty
    // text when none came within `timeoutMs`.
    QString command(const QString& line, int timeoutMs = 5000);
    // The "state" answer parsed; empty when it did not come or did not parse.
    QJsonObject state(int timeoutMs = 5000);

    QString errorString() const { return error; }
    // Everything the board has logged so far.
    QByteArray log() const;

    // Where the built board is; empty when the build has none.
    static QString programPath();

private:
    QString readLine(int timeoutMs);

    QProcess process;
    QTemporaryDir folder;
    QString logPath;
    QString tcpHost;
    quint16 tcpPort = 0;
    QString pty;
    QString error;
};
