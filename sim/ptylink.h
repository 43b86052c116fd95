#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class ClientSession;
class QSocketNotifier;
class VirtualBoard;

// The board at the far end of a pseudo-terminal: framed as on RS-485, or bare
// payloads as over a USB virtual COM port. Clients open the slave path as a
// serial port. The link keeps its own slave descriptor open, so a client may
// close the port and open it again without the line going away.
//
// A serial line has no connection to drop: the drop-after knob cuts the
// reply short and forgets what was half received, as a board losing power
// mid-reply would. A new request also discards reply bytes an earlier client
// left unread, so each client starts on a quiet line.
class PtyLink : public QObject
{
    Q_OBJECT
public:
    PtyLink(VirtualBoard* board, bool bare, QObject* parent = nullptr);
    ~PtyLink() override;

    bool open(QString* error);
    QString slavePath() const { return path; }

private:
    void readMaster();
    void writeMaster(const QByteArray& bytes);
    void flushPending();

    VirtualBoard* board;
    bool bare;
    int master = -1;
    int slave = -1;
    QString path;
    QSocketNotifier* readNotifier = nullptr;
    QSocketNotifier* writeNotifier = nullptr;
    QByteArray pending;
    ClientSession* session = nullptr;
};
