#pragma once

#include "mainwindow.h"

// The window's private state and helpers, for tests only (MainWindow names
// this class its friend). Widgets are found by object name instead, as a
// technician would find them on the screen.
class MainWindowTestAccess
{
public:
    explicit MainWindowTestAccess(MainWindow& window)
        : w(window)
    {
    }

    // State flags.
    QSharedPointer<Connector>& connector() { return w.connector; }
    bool& debugEnabled() { return w.debugEnabled; }
    bool& additionalUnlocked() { return w.additionalUnlocked; }
    bool& modeKnown() { return w.modeKnown; }
    quint8& mode() { return w.mode; }
    bool& firmwareVersionKnown() { return w.firmwareVersionKnown; }
    bool& boardTypeKnown() { return w.boardTypeKnown; }
    quint16& boardType() { return w.boardType; }
    QPlainTextEdit* debugDumpView() const { return w.debugDumpView; }
    QAction* debugAction() const { return w.debugAction; }
    const QString& programName() const { return w.programName; }

    // Enabling helpers and settings.
    void updateFirmwareButtons(quint8 mode, bool modeKnown) { w.updateFirmwareButtons(mode, modeKnown); }
    void updateAdditionalTab() { w.updateAdditionalTab(); }
    void updateDiDoTables() { w.updateDiDoTables(); }
    void updateDiDoColumns() { w.updateDiDoColumns(); }
    void resetConnectionSettings() { w.resetConnectionSettings(); }
    std::optional<int> firmwareVersionNumber() const { return w.firmwareVersionNumber(); }
    bool calibrationAvailable() const { return w.calibrationAvailable(); }

    // Dump, unlock, About.
    void onDebugActionToggled(bool enabled) { w.onDebugActionToggled(enabled); }
    void appendDebugDumpLine(const QString& line) { w.appendDebugDumpLine(line); }
    void applyDumpCallback() { w.applyDumpCallback(); }
    void setAdditionalUnlocked(bool unlocked) { w.setAdditionalUnlocked(unlocked); }
    void onResetConnectionToDefaultRequested() { w.onResetConnectionToDefaultRequested(); }

    // DI/DO editor.
    DiDoConfig& diDoConfig() { return w.diDoConfig; }
    void showDiDoRecord() { w.showDiDoRecord(); }
    void collectDiDoRecord() { w.collectDiDoRecord(); }
    void onDiConfigContextMenuRequested(const QPoint& pos) { w.onDiConfigContextMenuRequested(pos); }
    void showRepeatMenu(int row, int column, const QPoint& globalPos) { w.showRepeatMenu(row, column, globalPos); }

    // Identity readout, reboot, mode switch, calibration.
    void onSerialConnected(QSharedPointer<Connector>& link) { w.onSerialConnected(link); }
    void onSerialDisconnected() { w.onSerialDisconnected(); }
    bool readFirmwareVersion() { return w.readFirmwareVersion(); }
    bool readDeviceStatus() { return w.readDeviceStatus(); }
    bool readBoardVersion() { return w.readBoardVersion(); }
    bool readErrorCode() { return w.readErrorCode(); }
    void onDeviceRebootRequested() { w.onDeviceRebootRequested(); }
    void enterBootloaderClicked() { w.on_pushButtonEnterBootloader_clicked(); }
    void calibrateDiZeroClicked() { w.on_pushButtonCalibrateDiZero_clicked(); }
    void calibrateDiScale24VClicked() { w.on_pushButtonCalibrateDiScale24V_clicked(); }

    // Firmware file, transfer and flash.
    using FirmwareFileChooser = std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;
    void setFirmwareFileChooser(const FirmwareFileChooser& chooser) { w.chooseFirmwareFile = chooser; }
    void sendFirmwareClicked() { w.on_pushButtonSendFirmware_clicked(); }
    void flashFirmwareClicked() { w.on_pushButtonFlashFirmware_clicked(); }
    bool sendFirmwareLegacy(const QByteArray& image) { return w.sendFirmwareLegacy(image); }
    bool sendFirmwareRle(const QByteArray& image) { return w.sendFirmwareRle(image); }

    // Configuration files and the dump: the save/open dialogs' stand-ins.
    using PathChooser = std::function<QString(QWidget*, bool, const QString&)>;
    void setConfigFileChooser(const PathChooser& chooser) { w.chooseConfigFile = chooser; }
    void setDumpFileChooser(const PathChooser& chooser) { w.chooseDumpFile = chooser; }

private:
    MainWindow& w;
};
