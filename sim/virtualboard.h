#pragma once

#include "boardlog.h"
#include "boardmodel.h"
#include "faultinjector.h"
#include "replyplan.h"

#include <QObject>
#include <QString>

// The board as the links see it: the model, the fault knobs, the log and the
// state file together. Links hand it each request payload and put the plan
// it returns onto their line; the console hands it the operator's commands.
//
// Run-time commands (one per line; each answers one line, "OK ...",
// "ERROR ..." or, for "state", one JSON object):
//   silent N | corrupt-crc N | junk N | foreign N | drop-after N
//   split PIECES [PAUSE_MS] | delay MS | baud RATE
//   late CODE MS | refuse CODE STATUS                    (see FaultInjector)
//   flash-refuse CODE     refuse every flash with C8 + CODE (0: off)
//   reboot-silent 0|1     leave 0x7C unanswered
//   error-code N          the code 0x79 reports from now on
//   mode main|boot        switch the running mode as 0x7B / 0x7A would
//   faults off            every knob above back to normal
//   state                 identity, mode, counters, transfer, knobs, configuration
//   image FILE            write the image a flash would write now (or the one
//                         flashed last) to FILE
//   help | quit
class VirtualBoard : public QObject
{
    Q_OBJECT
public:
    explicit VirtualBoard(QObject* parent = nullptr);

    BoardModel& model() { return board; }
    FaultInjector& faults() { return injector; }
    BoardLog& log() { return boardLog; }

    quint32 address() const { return deviceAddress; }
    void setAddress(quint32 value) { deviceAddress = value; }

    // Loads the configuration from `path` when the file exists (an unreadable
    // or malformed file is an error, and is left untouched), else writes the
    // current one there; from then on every change is saved to it.
    bool useStateFile(const QString& path, QString* error);

    // One request that reached this board; an empty plan means silence.
    ReplyPlan serve(const QByteArray& request, bool framed, int lineBytes, const QString& peer);

    QString execute(const QString& line);
    QJsonObject stateJson() const;

signals:
    void quitRequested();

private:
    void saveState();

    BoardModel board;
    FaultInjector injector;
    BoardLog boardLog;
    quint32 deviceAddress = 0;
    QString statePath;
    quint64 savedRevision = 0;
};
