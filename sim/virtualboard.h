#pragma once

#include "boardlog.h"
#include "boardmodel.h"
#include "faultinjector.h"
#include "replyplan.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// The board as the links see it: the model, the fault knobs, the log and the
// state file together. Links hand it each request payload and put the plan
// it returns onto their line; the console hands it the operator's commands.
// Several boards may share the line, each with its own address and model; the
// first is the one a bare link and the single-board options talk to. The
// fault knobs belong to the line and act on whichever board answers.
//
// Run-time commands (one per line; each answers one line, "OK ...",
// "ERROR ..." or, for "state", one JSON object):
//   silent N | corrupt-crc N | junk N | foreign N | drop-after N
//   split PIECES [PAUSE_MS] | delay MS | baud RATE
//   late CODE MS | refuse CODE STATUS | hold CODE MS [NTH]  (see FaultInjector)
//   flash-refuse CODE     refuse every flash with C8 + CODE (0: off)
//   reboot-silent 0|1     leave 0x7C unanswered
//   error-code N          the code 0x79 reports from now on
//   mode main|boot        switch the running mode as 0x7B / 0x7A would
//   faults off            every knob above back to normal
//   state                 identity, mode, counters, transfer, knobs, configuration
//   image FILE            write the image a flash would write now (or the one
//                         flashed last) to FILE
//   help | quit
//   @ADDRESS COMMAND      the command for the board at ADDRESS (default: the first)
class VirtualBoard : public QObject
{
    Q_OBJECT
public:
    explicit VirtualBoard(QObject* parent = nullptr);

    BoardModel& model() { return stations.front()->model; }
    FaultInjector& faults() { return injector; }
    BoardLog& log() { return boardLog; }

    quint32 address() const { return stations.front()->address; }
    void setAddress(quint32 value) { stations.front()->address = value; }

    // Another board on the same line; false when the address is taken.
    bool addBoard(quint32 address);
    // The board at `address`, or null when none answers there.
    BoardModel* modelAt(quint32 address);

    // Loads the configuration from `path` when the file exists (an unreadable,
    // malformed or oversized file, or one that is no regular file, is an
    // error, and is left untouched), else writes the current one there; a
    // place where the file cannot be saved is an error too. From then on
    // every change is saved to it.
    bool useStateFile(const QString& path, QString* error);

    // Far above any line's worth of configurations.
    static constexpr int maxStateFileBytes = 1024 * 1024;

    // One request that reached the board at `address`; an empty plan means silence.
    ReplyPlan serve(quint32 address, const QByteArray& request, bool framed, int lineBytes, const QString& peer);

    QString execute(const QString& line);
    QJsonObject stateJson() const;

signals:
    void quitRequested();

private:
    struct Station
    {
        quint32 address = 0;
        BoardModel model;
    };

    Station* stationAt(quint32 address);
    quint64 revisions() const;
    // Empty on success, else why not (also logged).
    QString saveState();
    QString executeOn(Station& station, const QString& line);

    std::vector<std::unique_ptr<Station>> stations;
    FaultInjector injector;
    BoardLog boardLog;
    QString statePath;
    quint64 savedRevision = 0;
};
