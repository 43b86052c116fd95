#pragma once

#include "boardstate.h"
#include "clioptions.h"
#include "watchedconnector.h"

#include <QJsonObject>
#include <QSharedPointer>
#include <QString>

#include <functional>

// The subcommands of quorvel-cli. Each opens the link, makes the window's
// identity readout (a board that does not answer it is given up, as the window
// does) and then runs the window's own core sequence for the job. Every
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
    int info();
    int configRead(const QString& path);
    int configWrite(const QString& path);
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
    // The flash of the image the board holds, with the window's texts.
    int flashImage(bool mainFirmware);
    // NoReply when the board stayed silent (or a write failed) since `before`,
    // WrongReply otherwise.
    int failureSince(const WatchedConnector::Tally& before) const;

    CliOptions options;
    QSharedPointer<WatchedConnector> link;
    BoardState board;
    std::function<void(const QJsonObject&)> jsonSink;
};
