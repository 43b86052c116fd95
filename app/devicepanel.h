#pragma once

#include "boardreadout.h"

#include <QObject>

class BoardSession;
class QLabel;
class QTabWidget;

// The board's identity on the main tab: the five value labels, which follow
// the session's readout value by value, the DI/DO page opened by the mode each
// status read finds, and the reboot the connection bar asks for.
class DevicePanel : public QObject
{
    Q_OBJECT

public:
    // In the order of BoardReadout::Field.
    struct Labels
    {
        QLabel* boardVersion;
        QLabel* firmwareVersion;
        QLabel* deviceStatus;
        QLabel* bootloaderVersion;
        QLabel* errorStatus;
    };
    // `diDoPage` in `tabs` is open while the board runs its main firmware.
    DevicePanel(const Labels& labels, QTabWidget* tabs, QWidget* diDoPage, BoardSession* session,
                QObject* parent = nullptr);

    // Every label "-": no board.
    void showNoBoard();
    void reboot();

signals:
    // A status read stored the mode (a failed one leaves it unknown).
    void modeRead();
    // The board acknowledged a reboot and drops the link.
    void linkReleased();

private:
    void showField(BoardReadout::Field field, const QString& text);

    QLabel* labels[5];
    QTabWidget* tabs;
    QWidget* diDoPage;
    BoardSession* session;
};
