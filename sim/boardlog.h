#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A readable account of everything the board hears and says: one line per
// request, reply or event, with the time, the peer, the payload in hex and
// what it means. Goes to standard error unless a file is opened.
class BoardLog
{
public:
    BoardLog();

    bool openFile(const QString& path, QString* error);
    void setEnabled(bool on) { enabled = on; }

    void request(const QString& peer, const QByteArray& payload, const QString& note = QString());
    void reply(const QString& peer, quint8 requestCode, const QByteArray& payload, const QString& note);
    void event(const QString& peer, const QString& text);

    // "78 (read firmware version)", "b1 00 01 fa 00 ... (raw firmware, middle block 1, 250 bytes)".
    static QString describeRequest(const QByteArray& payload);
    // "c9 05 31 2e 32 2e 30 (ack)", "c8 11 00 00 00 (refusal, code 17)".
    static QString describeReply(quint8 requestCode, const QByteArray& payload);

private:
    void writeLine(const QString& peer, const QString& text);

    QFile file;
    bool enabled = true;
};
