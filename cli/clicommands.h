#pragma once

#include "boardsession.h"
#include "clioptions.h"
#include "configfile.h"
#include "firmwarejob.h"
#include "watchedconnector.h"

#include <QJsonObject>
#include <QSharedPointer>
#include <QString>

#include <functional>

class TransferProgress;

// The subcommands of quorvel-cli. Each opens the link, makes the window's
// identity readout (a board that does not answer it is given up, as the window
// does) and then drives the board through the session and the firmware job,
// the same the window uses; what changes a board is logged there. Every
// member returns the process exit code (ExitCode).
class CliCommands
{
public:
    explicit CliCommands(const CliOptions& options);

    int run();

    // Takes the JSON object of info instead of standard output, so a list of
    // boards can print one object per board.
    void setJsonSink(const std::function<void(const QJsonObject&)>& sink) { jsonSink = sink; }

private:
    int dispatch();
    int info();
    int configRead(const QString& path);
    int configWrite(const QString& path);
    int configDiff(const QString& path);
    // Brings the board to the configuration of `path` and, when asked, a main
    // firmware; only what differs is written.
    int apply(const QString& path);
    // A configuration file read whole and checked; the failure code after
    // saying why not.
    int loadConfiguration(const QString& path, ConfigFile* file);
    // A configuration write told as config-write tells it; its exit code.
    int reportWrite(const BoardSession::WriteResult& result, const QString& path,
                    const WatchedConnector::Tally& before);
    // The DI/DO, RS-485 and protocol blocks as a file; the failure code after
    // telling what did not come back.
    int readConfiguration(ConfigFile* file);
    int firmware(const QString& path);
    int flash();
    int reboot();
    int mode(const QString& target);
    int scan();
    int update(const QString& path);

    // The link the options name, watched and traced as asked; null with
    // `error` set when it cannot be opened.
    QSharedPointer<Connector> openLink(QString* error);
    // Opens the link; on failure prints why and gives CannotConnect.
    int connect();
    // The identity readout; ExitCode::Ok when the board answered it.
    int readout(bool withErrorCode = false);
    // Config commands talk to the main firmware only.
    int requireMainFirmware();
    // connect(), readout() and, for `mainOnly`, requireMainFirmware(). An
    // `operation` that does not get that far is logged as not reached.
    int reach(const char* operation, bool mainOnly = false);
    // Prints the copy and the flash of a job as they happen.
    void follow(FirmwareJob& job, TransferProgress& progress);
    // The exit code of a flash.
    static int flashExit(const FirmwareJob::FlashOutcome& outcome);
    // The exit code of an update that stopped.
    static int updateExit(FirmwareJob::UpdateResult::Failure failure);
    // Says why an update stopped and what the board runs now, for `what`
    // ("update", "apply"); its exit code.
    static int reportStop(const FirmwareJob::UpdateResult& result, const QString& what);
    // NoReply when the board stayed silent (or a write failed) since `before`,
    // WrongReply otherwise.
    int failureSince(const WatchedConnector::Tally& before) const;

    CliOptions options;
    QSharedPointer<WatchedConnector> link;
    BoardSession session;
    std::function<void(const QJsonObject&)> jsonSink;
};
