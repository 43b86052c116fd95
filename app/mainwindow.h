#pragma once

#include "boardstate.h"
#include "configblocks.h"
#include "configfile.h"
#include "dumpannotator.h"
#include "operationslog.h"

#include <QBrush>
#include <QList>
#include <QLocale>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Connector;
struct ConfigDifference;
struct ExchangeResult;
class QAction;
class QLineEdit;
class QPlainTextEdit;
class QTableWidget;
class QTableWidgetItem;
class QTimer;

namespace Ui {
class MainWindow;
}

// The program's one window. Its implementation is split by concern:
//   mainwindow.cpp           construction, enabling rules, connection settings reset
//   mainwindow_debug.cpp     RX/TX dump, unlock of the additional tab, About
//   mainwindow_device.cpp    identity readout, reboot, mode switch, calibration
//   mainwindow_dido.cpp      DI/DO editor
//   mainwindow_rs485.cpp     RS-485 editor
//   mainwindow_firmware.cpp  firmware file, transfer and flash
//   mainwindow_configfile.cpp configuration files, comparison, operations log
// Each section below belongs to one of these files.
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
    void onSerialConnected(QSharedPointer<Connector>& connector);    // device
    void onSerialDisconnected();                                      // device
    void on_pushButtonSendFirmware_clicked();                         // firmware
    void on_pushButtonFlashFirmware_clicked();                        // firmware
    void on_pushButtonEnterBootloader_clicked();                      // device
    void on_pushButtonGetDiDoParam_clicked();                         // dido
    void on_pushButtonSetDiDoParam_clicked();                         // dido
    void on_pushButtonResetDiDoParam_clicked();                       // dido
    void on_pushButtonFillFactoryDiDoParam_clicked();                 // dido
    void on_pushButtonCalibrateDiZero_clicked();                      // device
    void on_pushButtonCalibrateDiScale24V_clicked();                  // device
    void on_pushButtonSetRs485Param_clicked();                        // rs485
    void on_pushButtonGetRs485Param_clicked();                        // rs485
    void onDeviceRebootRequested();                                   // device
    void onResetConnectionToDefaultRequested();                       // shell
    void onDebugActionToggled(bool enabled);                          // debug
    void on_actionUnlockAdditional_triggered();                       // debug
    void on_actionAbout_triggered();                                  // debug
    void onDiConfigContextMenuRequested(QPoint pos);                  // dido
    void appendDebugDumpLine(QString line);                           // debug
    void showAboutDialog();                                           // debug

private:
    // Tests reach the private state through this one friend.
    friend class MainWindowTestAccess;

    // ---- Shell: enabling rules and connection settings (mainwindow.cpp) ----

    // Stores mode/modeKnown and sets the three firmware buttons from them.
    void updateFirmwareButtons(quint8 newMode, bool newModeKnown);
    // tabAdditional and the two calibration buttons.
    void updateAdditionalTab();
    // DI/DO tables and their rows; ends with updateDiDoColumns.
    void updateDiDoTables();
    // DI/DO columns that depend on board type and firmware version.
    void updateDiDoColumns();
    // Shortcuts for the menu actions and for quitting; Tab out of tables.
    void setUpKeyboard();
    // Columns sized to what they show, tables given the room there is.
    void fitTablesToWindow();
    void restoreWindowLayout();
    void saveWindowLayout() const;
    // Writes the default line parameters and device address under every key
    // variant an older setup may have used, then syncs.
    void resetConnectionSettings();

    // The flags and the version labels as the GUI-free rules want them.
    BoardState boardState() const;
    // a.b.c of the version labels as a*1000 + b*100 + c; none otherwise.
    std::optional<int> firmwareVersionNumber() const;
    std::optional<int> bootloaderVersionNumber() const;
    int diChannelCount() const;
    bool diDebounceSupported() const;
    bool diExtendedSupported() const;
    bool doDpSupported() const;
    bool calibrationAvailable() const;

    // ---- Debug dump, unlock, About (mainwindow_debug.cpp) ----

    // Installs or removes the dump callback on the held connector by debugEnabled.
    void applyDumpCallback();
    void setAdditionalUnlocked(bool unlocked);
    // The dump's panel: its buttons, find field and command-name switch above the view.
    void buildDebugDump();
    QString dumpLineShown(int index) const;
    void showDumpCommandNames(bool shown);
    void saveDebugDump();
    void clearDebugDump();
    void findInDebugDump();
    QWidget* debugDumpPanel = nullptr;
    QLineEdit* dumpFindEdit = nullptr;
    // The lines as they came and the command name of each, for a redraw.
    QStringList dumpLines;
    QStringList dumpNotes;
    bool dumpNotesShown = false;
    DumpAnnotator dumpAnnotator;
    std::function<QString(QWidget*, bool, const QString&)> chooseDumpFile;

    // ---- Device identity, reboot, mode switch, calibration (mainwindow_device.cpp) ----

    // Mode, firmware version and board type unknown again; tables to match.
    void forgetBoard();
    bool readFirmwareVersion();
    bool readDeviceStatus();
    bool readBoardVersion();
    bool readErrorCode();
    // Both DI calibrations: the same steps with their own command and texts.
    void calibrateDi(bool scale24V);
    // After an acknowledged reboot or mode switch: the board drops the link.
    void forgetConnectionAfterRequest();
    // The connection bar reported the link gone; it and onSerialDisconnected
    // have already let it go. Says so once no other box is up.
    void onSerialLinkLost();
    void showLinkLostNotice();

    // ---- DI/DO editor (mainwindow_dido.cpp) ----

    // Builds the DI and DO tables' rows, columns and cell editors (once).
    void buildDiDoTables();
    bool readDiConfig();
    bool readDiDebounce();
    bool readDiExtended();
    bool readDoConfig();
    bool writeDiExtended();
    bool writeDoConfig();
    void showDiDoRecord();
    void collectDiDoRecord();
    // The tables read into `record`, which must hold what the tables were
    // shown from: a cell that still shows its record value keeps that value
    // exactly, and hidden rows are not read at all.
    void collectDiDoInto(DiDoConfig& record) const;
    void resetDiDoRecord();
    bool readDiDoConfig();
    void paintRow(QTableWidget* table, int row, bool enabled);
    void updateDoDpCell(QTableWidget* table, int row);
    void showRepeatMenu(int row, int column, const QPoint& globalPos);
    void repeatEverywhere(int row, int column);
    // The pairing rules while editing.
    void onDiDpItemChanged(QTableWidgetItem* item);
    void onDiDpRoleChanged(int row, int index);
    void onDoModeChanged(int row, int index);
    // DI rows 0 to channel count - 1: a row is greyed while the row above starts a pair.
    void paintDiPairs();
    // The values of `edited` that Save would send, that differ from the
    // record shown and lie outside their editor's range, one line each; empty
    // when everything may go to the board.
    QStringList diDoValuesOutOfRange(const DiDoConfig& edited, QWidget** firstOffender = nullptr) const;

    // ---- RS-485 editor (mainwindow_rs485.cpp) ----

    bool readRs485Params();
    bool writeRs485Params();
    void buildRs485PortTable(QTableWidget* table);
    void buildProtocolRows(int protocol, QTableWidget* table);
    // The tables' edits over copies of the records, checked as a write checks
    // them; false, with rs485InputError saying why, when one is refused.
    bool collectRs485Edits(Rs485Ports& ports, Iec101Ports& protocols);
    bool collectPortRecord(QTableWidget* table, Rs485PortParams& record);
    bool collectIec101Record(QTableWidget* table, Iec101Params& record);
    void showPortRecord(QTableWidget* table, const Rs485PortParams& record);
    void showIec101Record(QTableWidget* table, const Iec101Params& record);
    // The first IEC101 number of `table` that the record could not carry as
    // typed (out of its editor's range, empty, or not a plain number), told as
    // the technician should read it; empty when there is none.
    // A number still showing what `shown` (the record the rows came from)
    // holds is the board's own and passes as it is.
    QString iec101InputProblem(QTableWidget* table, int port, const Iec101Params& shown) const;
    // Why the last RS-485 write refused the tables before sending anything;
    // empty when it did not refuse on input.
    QString rs485InputError;
    // The port tables show the port records (a read filled them); before that
    // the tables hold their defaults and the records nothing of the board's.
    bool rs485PortsShown = false;

    // ---- Firmware (mainwindow_firmware.cpp) ----

    bool sendFirmwareLegacy(const QByteArray& image);
    bool sendFirmwareRle(const QByteArray& image);
    // Both methods: refuse an image that cannot be sent, send the rest block by
    // block with progress and the wait dialog, and report the outcome.
    bool sendFirmwareImage(const QByteArray& image, bool runLength);
    // The open-file dialog (parent, caption, start folder, filter); the
    // platform's own unless a test puts its stand-in here.
    std::function<QString(QWidget*, const QString&, const QString&, const QString&)> chooseFirmwareFile;

    // ---- Configuration files, comparison, operations log (mainwindow_configfile.cpp) ----

    void buildFileMenu();
    // Save, open and compare need a board running its main firmware.
    void updateConfigFileActions();
    void saveConfigurationToFile();
    void openConfigurationFile();
    void compareWithBoard();
    BoardState boardStateForFile() const;
    // The blocks as the board holds them now (a box says why not).
    std::optional<ConfigFile> readBoardConfiguration();
    // What the editors' Save buttons would send; none when a field is refused.
    std::optional<ConfigFile> editorConfiguration();
    void showConfiguration(const ConfigFile& file);
    // Asks for a file and checks it whole and against the board connected (a
    // box says why not); nothing while no board runs its main firmware.
    std::optional<ConfigFile> pickConfigurationForBoard();
    QString chooseConfigurationPath(bool save, const QString& suggested);
    void markDifference(const ConfigDifference& difference);
    void clearDifferenceMarks();
    // "RS485 TCP 127.0.0.1:4001, address 5", as the connection bar shows it.
    QString linkDescription() const;
    int deviceAddress() const;
    // Appends one line to the operations log with the link and the board.
    void logOperation(OperationRecord record);
    void logOperation(const QString& operation, bool ok, const QString& outcome = QString());
    void logOperation(const QString& operation, const ExchangeResult& result);
    // The save/open dialog (parent, save, suggested path); the platform's own
    // unless a test puts its stand-in here.
    std::function<QString(QWidget*, bool, const QString&)> chooseConfigFile;
    struct DifferenceMark
    {
        QPointer<QTableWidget> table;
        int row;
        int column;
        QBrush background;
        QString styleSheet;
    };
    QList<DifferenceMark> differenceMarks;
    QAction* saveConfigAction = nullptr;
    QAction* openConfigAction = nullptr;
    QAction* compareConfigAction = nullptr;

    // ---- Fields, in this order ----

    QString programName;
    QSharedPointer<Connector> connector;
    QLocale locale;
    Ui::MainWindow* ui = nullptr;
    QPlainTextEdit* debugDumpView = nullptr;
    QAction* debugAction = nullptr;
    bool debugEnabled = false;
    bool additionalUnlocked = false;
    bool modeKnown = false;
    quint8 mode = 0;
    bool firmwareVersionKnown = false;
    bool boardTypeKnown = false;
    quint16 boardType = 0;
    // The DI/DO channel record, edited in the DI/DO tab.
    DiDoConfig diDoConfig;
    // Port 1 then port 2, edited in the two RS-485 tables.
    Rs485Ports rs485Ports {};
    Iec101Ports iec101Params {};
    // Holds the lost-link warning back while another box or the wait dialog is up.
    QTimer* linkLostNotice = nullptr;
};
