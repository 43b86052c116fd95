#pragma once

#include "boardstate.h"
#include "configfile.h"
#include "clioptions.h"
#include "watchedconnector.h"

#include <QJsonObject>
#include <QSharedPointer>
#include <QString>

#include <optional>
#include <functional>

// The subcommands of quorvel-cli. Each opens the link, makes the window's
// identity readout (a board that does not answer it is given up, as the window
// does) and then runs the window's own core sequence for the job. Every
// member returns the process exit code (ExitCode).
class CliCommands
{
public:
    explicit CliCommands(const CliOptions& options);

    // Runs the subcommand; one that changes a board leaves its lines in the
    // operations log (unless --no-log).
    int run();

    // Takes the JSON object of info instead of standard output, so a list of
    // boards can print one object per board.
    void setJsonSink(const std::function<void(const QJsonObject&)>& sink) { jsonSink = sink; }

private:
    int dispatch();
    void logOperations(int exitCode);
    int info();
    int configRead(const QString& path);
    int configWrite(const QString& path);
    int configDiff(const QString& path);
    // The DI/DO, RS-485 and protocol blocks as a file; the failure code after
    // telling what did not come back.
    int readConfiguration(ConfigFile* file);
    int firmware(const QString& path);
    int flash();
    int reboot();
    int mode(const QString& target);
    int scan();
    int update(const QString& path);

    // After a mode switch: drops the link and opens it again until the board
    // answers the readout in `mode` or `boundMs` pass.
    int reconnect(quint8 mode, int boundMs);

    // Opens the link; on failure prints why and gives CannotConnect.
    int connect();
    // The identity readout; ExitCode::Ok when the board answered it.
    int readout(bool withErrorCode = false);
    // Config commands talk to the main firmware only.
    int requireMainFirmware();
    // connect(), readout() and requireMainFirmware() in a row.
    int reachMainFirmware();
    // The flash of the image the board holds, with the window's texts.
    int flashImage(bool mainFirmware);
    int flashImageOnce(bool mainFirmware);
    // NoReply when the board stayed silent (or a write failed) since `before`,
    // WrongReply otherwise.
    int failureSince(const WatchedConnector::Tally& before) const;

    // Where firmware copy and flash ended, for the log: -1 when not reached.
    int transferCode = -1;
    int flashCode = -1;
    std::optional<quint32> flashStatus;

    CliOptions options;
    QSharedPointer<WatchedConnector> link;
    BoardState board;
    std::function<void(const QJsonObject&)> jsonSink;
};
