#pragma once

#include "boardsession.h"
#include "devicepanel.h"
#include "didopanel.h"
#include "rs485panel.h"

#include <QLocale>
#include <QMainWindow>
#include <QPoint>
#include <QSharedPointer>
#include <QString>

class BarLink;
class CalibrationPanel;
class ConfigFilePanel;
class Connector;
class DumpPanel;
class FirmwarePanel;
class OneStepUpdate;
class QAction;
class QTimer;
class RateLabel;

namespace Ui {
class MainWindow;
}

// The program's one window: the form, the connection bar, the menus, the
// window's geometry and the glue between the panels that do the work. Each
// panel drives part of the form and owns its enabling rules; all of them work
// on the one BoardSession the window owns (the link, the board's state, every
// operation on the board and its line in the operations log):
//   DevicePanel       identity labels following the readout, reboot
//   FirmwarePanel     firmware buttons through the FirmwareJob, mode switch
//   DiDoPanel         DI/DO tab (its tables in DiDoTables)
//   Rs485Panel        RS-485 port tables
//   CalibrationPanel  DI calibration of the additional tab
//   ConfigFilePanel   configuration files of the "Файл" menu
//   DumpPanel         RX/TX dump
// mainwindow.cpp holds construction, connection, enabling and settings;
// mainwindow_debug.cpp the dump switch, the unlock and About;
// mainwindow_onsite.cpp the line scan, the one-step update and the copy's speed.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

protected:
    // Tab and Shift+Tab walk the controls in reading order (see ReadingOrder).
    bool focusNextPrevChild(bool next) override;
    // Remembers size, place and column widths for the next start.
    void closeEvent(QCloseEvent* event) override;

private slots:
    // The slot table, in this order (bound by object name where the name says so).
    void onSerialConnected(QSharedPointer<Connector>& connector);
    void onSerialDisconnected();
    void on_pushButtonSendFirmware_clicked();
    void on_pushButtonFlashFirmware_clicked();
    void on_pushButtonEnterBootloader_clicked();
    void on_pushButtonGetDiDoParam_clicked();
    void on_pushButtonSetDiDoParam_clicked();
    void on_pushButtonResetDiDoParam_clicked();
    void on_pushButtonFillFactoryDiDoParam_clicked();
    void on_pushButtonCalibrateDiZero_clicked();
    void on_pushButtonCalibrateDiScale24V_clicked();
    void on_pushButtonSetRs485Param_clicked();
    void on_pushButtonGetRs485Param_clicked();
    void onDeviceRebootRequested();
    void onResetConnectionToDefaultRequested();
    void onDebugActionToggled(bool enabled);
    void on_actionUnlockAdditional_triggered();
    void on_actionAbout_triggered();
    void onDiConfigContextMenuRequested(QPoint pos);
    void appendDebugDumpLine(QString line);
    void showAboutDialog();

private:
    // ---- The board's state, as the session holds it ----

    QSharedPointer<Connector> connector() const { return session->link(); }
    bool modeKnown() const { return session->board().modeKnown; }
    quint8 mode() const { return session->board().mode; }
    bool firmwareVersionKnown() const { return session->board().firmwareVersionKnown; }
    bool boardTypeKnown() const { return session->board().boardTypeKnown; }
    quint16 boardType() const { return session->board().boardType; }

    // ---- Enabling rules ----

    // The three firmware buttons by the mode the session holds.
    void updateFirmwareButtons();
    // tabAdditional, the two calibration buttons and the file actions.
    void updateAdditionalTab();
    void updateDiDoTables() { diDo->updateTables(); }
    void updateDiDoColumns() { diDo->updateColumns(); }
    void setAdditionalUnlocked(bool unlocked);
    // The dump callback on the held link while the dump is on.
    void applyDumpCallback();

    // ---- Board reads and writes, through the session ----

    using Block = BoardSession::Block;
    bool readFirmwareVersion() { return session->readFirmwareVersion(); }
    bool readDeviceStatus() { return session->readDeviceStatus(); }
    bool readBoardVersion() { return session->readBoardVersion(); }
    bool readErrorCode() { return session->readErrorCode(); }
    bool readDiConfig() { return diDo->readBlock(Block::DiTable); }
    bool readDiDebounce() { return diDo->readBlock(Block::DiDebounce); }
    bool readDiExtended() { return diDo->readBlock(Block::DiModes); }
    bool readDoConfig() { return diDo->readBlock(Block::DoTable); }
    bool readDiDoConfig() { return diDo->readDiDoConfig(); }
    bool writeDiExtended() { return diDo->writeBlock(Block::DiModes); }
    bool writeDoConfig() { return diDo->writeBlock(Block::DoTable); }
    bool readRs485Params() { return rs485->readRs485Params(); }
    bool writeRs485Params() { return rs485->writeRs485Params(); }

    // ---- Connection ----

    // After an acknowledged reboot or mode switch: the board drops the link.
    void forgetConnectionAfterRequest();
    // The connection bar reported the link gone; it and onSerialDisconnected
    // have already let it go. Says so once no other box is up.
    void onSerialLinkLost();
    void showLinkLostNotice();

    // ---- Window ----

    // Shortcuts for the menu actions and for quitting; Tab out of tables.
    void setUpKeyboard();
    // "Найти устройства…", "Обновить прошивку…" and the copy's speed.
    void setUpOnSiteTools();
    // Columns sized to what they show, tables given the room there is.
    void fitTablesToWindow();
    void restoreWindowLayout();
    void saveWindowLayout() const;
    // Writes the default line parameters and device address under every key
    // variant an older setup may have used and under the bar's own keys, then syncs.
    void resetConnectionSettings();

    // ---- Fields ----

    QString programName;
    QLocale locale;
    Ui::MainWindow* ui = nullptr;
    QAction* debugAction = nullptr;
    bool additionalUnlocked = false;
    // The link, the board's state and every operation on it, shared by the panels.
    BoardSession* session = nullptr;
    DumpPanel* dump = nullptr;
    DevicePanel* device = nullptr;
    DiDoPanel* diDo = nullptr;
    Rs485Panel* rs485 = nullptr;
    FirmwarePanel* firmware = nullptr;
    CalibrationPanel* calibration = nullptr;
    ConfigFilePanel* configFiles = nullptr;
    // Holds the lost-link warning back while another box or the wait dialog is up.
    QTimer* linkLostNotice = nullptr;
    // Links opened through the bar for the line scan and the one-step update.
    BarLink* barLink = nullptr;
    RateLabel* copyRate = nullptr;
    BoardSession* updateSession = nullptr;
    OneStepUpdate* oneStepUpdate = nullptr;
};
