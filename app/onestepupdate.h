#pragma once

#include "firmwarejob.h"

#include <QLocale>
#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <functional>

class BarLink;
class BoardSession;
class Connector;
class QProgressBar;
class QWidget;
class RateLabel;

// "Обновить прошивку…": a firmware file, then the job quorvel-cli's update
// runs (file checks before anything is sent, switch, reconnect, copy, flash,
// start of the main firmware, reconnect, readout). Each reconnect goes
// through the connection bar as the technician's Disconnect and Connect
// would, so the bar always shows the link as it is. The wait dialog names the
// step, the progress bar and the speed follow the copy, and a box ends it:
// old and new version, or the step it stopped at and what the board runs now.
// Afterwards the window holds the link the job ended on, read out as after
// Connect, or none when the board is gone.
class OneStepUpdate : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        QWidget* window;
        QProgressBar* progress;
        RateLabel* rate;
    };
    // `session` carries the job's link and logs its operations; `programName`
    // names the settings that remember the firmware folder.
    OneStepUpdate(const Widgets& widgets, BarLink* bar, BoardSession* session, const QString& programName,
                  const QLocale& locale, QObject* parent = nullptr);

    // The link the window holds now (null for none), and how the operations
    // log names it.
    std::function<QSharedPointer<Connector>()> windowLink;
    std::function<QString()> linkDescription;
    // The open-file dialog (parent, caption, start folder, filter); the
    // platform's own unless a test puts its stand-in here.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> chooseFile;
    // How long a board gets to come back after each switch, and the pause
    // between attempts.
    int reconnectBoundMs = 15000;
    int reconnectPauseMs = 300;

    // Asks for the file and updates the board with it.
    void run();
    // The step in the window's words: "копирование".
    static QString stepText(FirmwareJob::Step step);

signals:
    // A line for the RX/TX dump.
    void dumpLine(const QString& line);

private:
    FirmwareJob::UpdateResult update(const QString& path);
    // Disconnect and Connect through the bar; the new link is the job's.
    QSharedPointer<Connector> reconnect(QString* error);
    // The closing box's text; empty where the bar has already spoken.
    QString reportText(const FirmwareJob::UpdateResult& result) const;
    // What the board runs now, as far as the job's link tells.
    QString boardNow(const FirmwareJob::UpdateResult& result) const;

    Widgets widgets;
    BarLink* bar;
    BoardSession* session;
    QString programName;
    QLocale locale;

    // Of the update under way.
    bool openRefused = false;
    bool copyStarted = false;
    bool flashedOk = false;
    QStringList stopTexts; // the copy's or the flash's own failure text
};
