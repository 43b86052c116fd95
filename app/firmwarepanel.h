#pragma once

#include "commandexchange.h"
#include "firmwareflash.h"
#include "firmwaretransfer.h"

#include <QByteArray>
#include <QLocale>
#include <QObject>
#include <QString>

#include <functional>

class BoardContext;
class QProgressBar;
class QPushButton;

// The firmware part of the main tab: the three buttons (send, flash, switch
// between main firmware and bootloader) with their captions and enabling
// rule, the firmware file, the block transfer with its progress, and the flash.
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
    FirmwarePanel(const Widgets& widgets, BoardContext* context, const QString& programName, const QLocale& locale,
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
    bool sendLegacy(const QByteArray& image);
    bool sendRle(const QByteArray& image);

    // The open-file dialog (parent, caption, start folder, filter); the
    // platform's own unless a test puts its stand-in here.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> chooseFile;

signals:
    // A line for the RX/TX dump.
    void dumpLine(const QString& line);
    // A flash ended; the board's status or error code is worth reading again.
    void flashed(bool ok);
    // The board acknowledged a mode switch and drops the link.
    void linkReleased();
    // A copy's image bytes delivered so far, and its end whatever the outcome.
    void copyProgress(qint64 done, qint64 total);
    void copyEnded();

private:
    // Refuses an image that cannot be sent, sends the rest block by block with
    // progress and the wait dialog, and reports the outcome.
    bool sendImage(const QByteArray& image, bool runLength);
    QWidget* boxParent() const;

    // ---- Board calls ----
    FirmwareTransfer::Result transfer(const FirmwarePlan& plan, bool runLength);
    FirmwareFlash::Result runFlash(const CommandExchange::AfterWrite& afterWrite);
    ExchangeResult sendModeSwitch();

    Widgets widgets;
    BoardContext* context;
    QString programName;
    QLocale locale;
};
