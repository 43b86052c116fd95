#pragma once

#include "devicecommands.h"

#include <QObject>

class BoardContext;
class QLabel;
class QTabWidget;

// The board's identity on the main tab: the five value labels, the readouts
// that fill them and the board state, and the reboot the connection bar asks for.
class DevicePanel : public QObject
{
    Q_OBJECT

public:
    struct Labels
    {
        QLabel* boardVersion;
        QLabel* firmwareVersion;
        QLabel* deviceStatus;
        QLabel* bootloaderVersion;
        QLabel* errorStatus;
    };
    // `diDoPage` in `tabs` is open while the board runs its main firmware.
    DevicePanel(const Labels& labels, QTabWidget* tabs, QWidget* diDoPage, BoardContext* context,
                QObject* parent = nullptr);

    // Each shows its answer and keeps what it learnt in the context.
    // True when the board sent any reply bytes.
    bool readFirmwareVersion();
    // True when a well-formed status arrived: the mode is known.
    bool readDeviceStatus();
    // True when the board sent any reply bytes.
    bool readBoardVersion();
    // True when a code was parsed.
    bool readErrorCode();
    // The board version where the firmware or bootloader knows the command;
    // true (type unknown) where it does not.
    bool readBoardVersionWhereKnown();
    // Every label "-": no board.
    void showNoBoard();

    void reboot();

signals:
    // The status readout stored a mode (a failed one stores mode 0, unknown).
    void modeRead();
    // The board acknowledged a reboot and drops the link.
    void linkReleased();

private:
    void storeMode(quint8 mode, bool known, const QString& bootloaderVersion);
    QWidget* boxParent() const;

    // ---- Board calls ----
    DeviceCommands commands() const;
    ExchangeResult sendReboot() const;

    Labels labels;
    QTabWidget* tabs;
    QWidget* diDoPage;
    BoardContext* context;
};
