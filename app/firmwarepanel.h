#pragma once

#include <QLocale>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <functional>

class BoardSession;
class Connector;
class FirmwareJob;
class QProgressBar;
class QPushButton;

// The firmware part of the main tab: the three buttons (send, flash, switch
// between main firmware and bootloader) with their captions and enabling
// rule, driving the firmware job (file, copy with its progress, flash) and
// the session's mode switch.
class FirmwarePanel : public QObject
{
    Q_OBJECT

public:
    struct Widgets
    {
        QPushButton* send;
        QPushButton* flash;
        QPushButton* modeSwitch;
        QProgressBar* progress;
    };
    // `programName` names the settings that remember the firmware folder;
    // `locale` formats block numbers in messages.
    FirmwarePanel(const Widgets& widgets, BoardSession* session, const QString& programName, const QLocale& locale,
                  QObject* parent = nullptr);

    // Captions by the board's mode; send and switch usable by mode and link.
    // Only a completed transfer enables the flash button: this may only take it away.
    void updateButtons();
    // A new link: nothing sent yet, only the switch is usable until the mode is read.
    void prepareForReadout();
    // No link: all three unusable, the switch offers the bootloader again.
    void showNoLink();

    void send();
    void flash();
    void switchMode();

    // The open-file dialog (parent, caption, start folder, filter); the
    // platform's own unless a test puts its stand-in here.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> chooseFile;

signals:
    // A line for the RX/TX dump.
    void dumpLine(const QString& line);
    // The board acknowledged a mode switch and drops the link.
    void linkReleased();
    // A copy's image bytes delivered so far, and its end whatever the outcome.
    void copyProgress(qint64 done, qint64 total);
    void copyEnded();

private:
    // The prepared image to the board over `link`, with progress and the
    // wait dialog; says how it went.
    bool copy(const QSharedPointer<Connector>& link);
    QWidget* boxParent() const;

    Widgets widgets;
    BoardSession* session;
    FirmwareJob* job;
    QString programName;
    QLocale locale;
};
