#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boardinfo.h"
#include "connector.h"
#include "readingorder.h"
#include "tablecolumns.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "versionnumber.h"

#include <QAbstractItemView>
#include <QCloseEvent>
#include <QHeaderView>
#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QTimer>

namespace {

const char* const programNameText = "KELDORA_NODE";

// Default line parameters written by the connection settings reset.
constexpr int defaultBaudRate = 57600;
constexpr int defaultDataBits = 8;
const char* const defaultParity = "None";
constexpr int defaultStopBits = 1;
constexpr int defaultDeviceAddress = 0;

// Every spelling an older setup may have stored the connection under. The
// store matches keys without regard to case, so some of these coincide; they
// are all written anyway so the list reads as the full set of variants.
const char* const baudRateKeys[] = {
    "BaudRate", "baudRate", "Connection/BaudRate", "Connection/baudRate",
    "Serial/BaudRate", "Serial/baudRate", "SerialPort/BaudRate", "RS485/BaudRate",
};
const char* const dataBitsKeys[] = {
    "DataBits", "dataBits", "Connection/DataBits", "Serial/DataBits", "SerialPort/DataBits", "RS485/DataBits",
};
const char* const parityKeys[] = {
    "Parity", "parity", "Connection/Parity", "Serial/Parity", "SerialPort/Parity", "RS485/Parity",
};
const char* const stopBitsKeys[] = {
    "StopBits", "stopBits", "Connection/StopBits", "Serial/StopBits", "SerialPort/StopBits", "RS485/StopBits",
};
const char* const deviceAddressKeys[] = {
    "DeviceAddress", "deviceAddress", "DeviceID", "deviceId", "deviceID",
    "Connection/DeviceAddress", "Connection/DeviceID", "Serial/DeviceAddress", "Serial/DeviceID",
    "SerialPort/DeviceAddress", "SerialPort/DeviceID", "Modbus/DeviceAddress", "Modbus/DeviceID",
    "RS485/DeviceAddress", "RS485/DeviceID",
};
const char* const lastDeviceIdKey = "LastDeviceID";

// Where the window was left; the store folds the case of every key.
const char* const windowGeometryKey = "Window/Geometry";
const char* const windowStateKey = "Window/State";
const char* const columnWidthsKey = "Window/Columns/%1";

template <std::size_t N>
void writeAll(SettingsStore& store, const char* const (&keys)[N], const QVariant& value)
{
    for (const char* key : keys)
        store.setValue(QString::fromLatin1(key), value);
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    linkLostNotice = new QTimer(this);
    linkLostNotice->setInterval(100);
    connect(linkLostNotice, &QTimer::timeout, this, &MainWindow::showLinkLostNotice);

    // The form; on_<object>_<signal> slots are bound by name here.
    ui->setupUi(this);

    setWindowTitle(tr("Quorvel"));

    // The dump switch. The form carries it; the fallback keeps the dump
    // reachable should a form without it ever be used.
    debugAction = findChild<QAction*>(QStringLiteral("action"));
    if (!debugAction) {
        QMenu* settingsMenu = findChild<QMenu*>(QStringLiteral("menu_2"));
        if (!settingsMenu && menuBar())
            settingsMenu = menuBar()->addMenu(tr("Настройки"));
        debugAction = new QAction(tr("Включить отладку"), this);
        debugAction->setObjectName(QStringLiteral("action"));
        debugAction->setCheckable(true);
        if (settingsMenu)
            settingsMenu->addAction(debugAction);
    }
    connect(debugAction, &QAction::toggled, this, &MainWindow::onDebugActionToggled);
    onDebugActionToggled(debugAction->isChecked());
    buildFileMenu();

    ui->labelBoardVersionValue->setText(QStringLiteral("-"));

    // DI/DO tables in their shape for an unknown board, filled with the
    // factory record.
    buildDiDoTables();
    updateDiDoColumns();
    updateDiDoTables();
    updateAdditionalTab();
    resetDiDoRecord();
    showDiDoRecord();

    buildRs485PortTable(ui->tableWidgetRs485Param);
    buildRs485PortTable(ui->tableWidgetRs485Param_2);

    // The program talks to its boards over RS-485 and TCP only.
    ui->ConnectionWidget->setUSBConfigEnable(false);
    programName = QString::fromLatin1(programNameText);
    ui->ConnectionWidget->setProgramName(programName);
    ui->ConnectionWidget->setConnected(false);

    ui->pushButtonSendFirmware->setEnabled(false);
    ui->pushButtonFlashFirmware->setEnabled(false);
    ui->pushButtonEnterBootloader->setEnabled(false);
    ui->pushButtonEnterBootloader->setText(tr("Enter Bootloader"));

    connect(ui->ConnectionWidget, &Tessarin::onConnected, this, &MainWindow::onSerialConnected);
    connect(ui->ConnectionWidget, &Tessarin::onDisconnected, this, &MainWindow::onSerialDisconnected);
    connect(ui->ConnectionWidget, &Tessarin::onRebootRequested, this, &MainWindow::onDeviceRebootRequested);
    connect(ui->ConnectionWidget, &Tessarin::onResetToDefaultRequested, this,
            &MainWindow::onResetConnectionToDefaultRequested);
    // onDisconnected, just before, has already forgotten the board.
    connect(ui->ConnectionWidget, &Tessarin::onLinkLost, this, &MainWindow::onSerialLinkLost);

    setUpKeyboard();
    fitTablesToWindow();
    restoreWindowLayout();
}

MainWindow::~MainWindow()
{
    // The transport may outlive the window (the connection bar holds a copy
    // until it is destroyed); it must not call back into a dead window.
    if (connector)
        connector->clearDumpCallback();
    delete ui;
    ui = nullptr;
    connector.reset();
}

// ---- Window layout ----

void MainWindow::fitTablesToWindow()
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    QTableWidget* dout = ui->tableWidgetDOConfig;
    const int diWidth = TableColumns::fitToContents(di);
    const int doWidth = TableColumns::fitToContents(dout);
    // Side by side, each table gets a share of the width after what it
    // shows, rather than half each or what it happened to show at start.
    for (QTableWidget* table : { di, dout }) {
        QSizePolicy policy = table->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        table->setSizePolicy(policy);
    }
    ui->horizontalLayoutDiDoTables->setStretch(0, diWidth);
    ui->horizontalLayoutDiDoTables->setStretch(1, doWidth);
    // The RS-485 tables take the height the main page has to spare; the
    // spacer below them only closes the page off.
    QVBoxLayout* page = ui->verticalLayoutMain;
    for (int i = 0; i < page->count(); ++i) {
        if (QSpacerItem* spacer = page->itemAt(i)->spacerItem())
            spacer->changeSize(spacer->sizeHint().width(), 0, QSizePolicy::Minimum, QSizePolicy::Fixed);
    }
    page->setStretchFactor(ui->groupBoxRs485, 1);
    page->invalidate();
}

void MainWindow::restoreWindowLayout()
{
    const SettingsStore store(programName);
    // Nothing stored: the size the form gives.
    const QByteArray geometry = store.value(QLatin1String(windowGeometryKey)).toByteArray();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    const QByteArray state = store.value(QLatin1String(windowStateKey)).toByteArray();
    if (!state.isEmpty())
        restoreState(state);
    for (QTableWidget* table : { ui->tableWidgetDIConfig, ui->tableWidgetDOConfig }) {
        const QVariantList widths = store.value(QString::fromLatin1(columnWidthsKey).arg(table->objectName())).toList();
        // Only what fits this table; whether a column is shown stays the board's business.
        for (int column = 0; column < widths.size() && column < table->columnCount(); ++column) {
            bool ok = false;
            const int width = widths.at(column).toInt(&ok);
            if (ok && width > 0 && width <= 4000)
                table->horizontalHeader()->resizeSection(column, width);
        }
    }
}

void MainWindow::saveWindowLayout() const
{
    SettingsStore store(programName);
    store.setValue(QLatin1String(windowGeometryKey), saveGeometry());
    store.setValue(QLatin1String(windowStateKey), saveState());
    for (const QTableWidget* table : { ui->tableWidgetDIConfig, ui->tableWidgetDOConfig }) {
        QVariantList widths;
        for (int column = 0; column < table->columnCount(); ++column)
            widths << table->horizontalHeader()->sectionSize(column);
        store.setValue(QString::fromLatin1(columnWidthsKey).arg(table->objectName()), widths);
    }
    store.sync();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    saveWindowLayout();
    QMainWindow::closeEvent(event);
}

// ---- Keyboard ----

void MainWindow::setUpKeyboard()
{
    // The captions stay as they are; the keys are shown beside them.
    debugAction->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_D));
    ui->actionUnlockAdditional->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_U));
    ui->actionAbout->setShortcut(QKeySequence(Qt::Key_F1));

    // Quitting needs no menu entry of its own, only the usual key.
    auto* quit = new QAction(this);
    quit->setObjectName(QStringLiteral("actionQuit"));
    quit->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_Q));
    quit->setShortcutContext(Qt::WindowShortcut);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    // A table that moved between its cells on Tab would never let go of it;
    // arrows move within a table, Tab leaves it.
    for (QAbstractItemView* view : findChildren<QAbstractItemView*>())
        view->setTabKeyNavigation(false);
}

bool MainWindow::focusNextPrevChild(bool next)
{
    QWidget* target = ReadingOrder::neighbour(this, QApplication::focusWidget(), next);
    if (!target)
        return QMainWindow::focusNextPrevChild(next);
    target->setFocus(next ? Qt::TabFocusReason : Qt::BacktabFocusReason);
    return true;
}

// ---- Enabling rules ----

void MainWindow::updateFirmwareButtons(quint8 newMode, bool newModeKnown)
{
    mode = newMode;
    modeKnown = newModeKnown;
    if (!ui)
        return;
    updateConfigFileActions();

    const bool bootloaderRunning = modeKnown && mode == 1;
    const bool mainRunning = modeKnown && mode == 0;

    // Running the bootloader the board takes a main firmware; running the main
    // firmware it takes a new bootloader.
    if (bootloaderRunning) {
        ui->pushButtonSendFirmware->setText(tr("Send Firmware"));
        ui->pushButtonFlashFirmware->setText(tr("Flash Firmware"));
        ui->pushButtonEnterBootloader->setText(tr("Enter Main Firmware"));
    } else {
        ui->pushButtonSendFirmware->setText(tr("Send Bootloader"));
        ui->pushButtonFlashFirmware->setText(tr("Flash Bootloader"));
        ui->pushButtonEnterBootloader->setText(tr("Enter Bootloader"));
    }

    if (!connector) {
        ui->pushButtonSendFirmware->setEnabled(false);
        ui->pushButtonFlashFirmware->setEnabled(false);
        ui->pushButtonEnterBootloader->setEnabled(false);
        return;
    }

    ui->pushButtonEnterBootloader->setEnabled(bootloaderRunning ? firmwareVersionKnown : true);
    const bool sendEnabled = bootloaderRunning || mainRunning;
    ui->pushButtonSendFirmware->setEnabled(sendEnabled);
    // Only a completed transfer enables the flash button; this rule may only
    // take it away.
    if (!sendEnabled)
        ui->pushButtonFlashFirmware->setEnabled(false);

    updateAdditionalTab();
}

void MainWindow::updateAdditionalTab()
{
    if (!ui)
        return;

    const int index = ui->tabWidget->indexOf(ui->tabAdditional);
    const bool wasCurrent = ui->tabWidget->currentWidget() == ui->tabAdditional;
    // Disables the tab's entry in the bar together with the page.
    ui->tabWidget->setTabEnabled(index, additionalUnlocked);
    // A greyed tab should say where it is opened.
    ui->tabWidget->setTabToolTip(
        index, additionalUnlocked ? QString()
                                  : tr("Открывается через меню «Настройки» → «Доступ к дополнительным настройкам»"));
    if (!additionalUnlocked && wasCurrent)
        ui->tabWidget->setCurrentIndex(0);

    const bool calibrate = additionalUnlocked && calibrationAvailable();
    ui->pushButtonCalibrateDiZero->setEnabled(calibrate);
    ui->pushButtonCalibrateDiScale24V->setEnabled(calibrate);
    updateConfigFileActions();
}

void MainWindow::updateDiDoTables()
{
    if (!ui || !ui->tableWidgetDIConfig || !ui->tableWidgetDOConfig)
        return;
    QTableWidget* di = ui->tableWidgetDIConfig;
    QTableWidget* dout = ui->tableWidgetDOConfig;

    if (dout->rowCount() < BoardInfo::MaxDoChannels)
        dout->setRowCount(BoardInfo::MaxDoChannels);

    di->setEnabled(!(boardTypeKnown && boardType == 3));
    const int count = diChannelCount();
    for (int row = 0; row < BoardInfo::MaxDiChannels; ++row)
        di->setRowHidden(row, row >= count);

    updateDiDoColumns();

    dout->setVisible(!(boardTypeKnown && boardType == 4));
    dout->setRowHidden(8, boardTypeKnown && (boardType == 2 || boardType == 3));
}

void MainWindow::updateDiDoColumns()
{
    if (!ui || !ui->tableWidgetDIConfig || !ui->tableWidgetDOConfig)
        return;
    QTableWidget* di = ui->tableWidgetDIConfig;

    // DP, DP role, type and nominal.
    const bool extended = diExtendedSupported();
    for (int column = 3; column <= 6; ++column)
        di->setColumnHidden(column, !extended);
    // Debounce.
    di->setColumnHidden(7, !diDebounceSupported());
    // DO DP flag.
    ui->tableWidgetDOConfig->setColumnHidden(4, !doDpSupported());
}

// ---- Derived values ----

BoardState MainWindow::boardState() const
{
    BoardState state;
    state.modeKnown = modeKnown;
    state.mode = mode;
    state.firmwareVersionKnown = firmwareVersionKnown;
    state.boardTypeKnown = boardTypeKnown;
    state.boardType = boardType;
    // The version labels are where the versions are kept.
    if (ui) {
        state.firmwareVersion = ui->labelFirmwareVersionValue->text().trimmed();
        state.bootloaderVersion = ui->labelBootloaderVersionValue->text().trimmed();
    }
    return state;
}

std::optional<int> MainWindow::firmwareVersionNumber() const
{
    if (!ui)
        return std::nullopt;
    return parseVersionNumber(ui->labelFirmwareVersionValue->text().trimmed());
}

std::optional<int> MainWindow::bootloaderVersionNumber() const
{
    if (!ui)
        return std::nullopt;
    return parseVersionNumber(ui->labelBootloaderVersionValue->text().trimmed());
}

int MainWindow::diChannelCount() const
{
    return BoardInfo::diChannelCount(boardTypeKnown, boardType);
}

bool MainWindow::diDebounceSupported() const
{
    return boardState().diDebounceSupported();
}

bool MainWindow::diExtendedSupported() const
{
    return boardState().diExtendedSupported();
}

bool MainWindow::doDpSupported() const
{
    return boardState().doDpSupported();
}

bool MainWindow::calibrationAvailable() const
{
    return boardState().calibrationAvailable(!connector.isNull());
}

// ---- Connection settings ----

void MainWindow::resetConnectionSettings()
{
    SettingsStore store(programName);
    writeAll(store, baudRateKeys, defaultBaudRate);
    writeAll(store, dataBitsKeys, defaultDataBits);
    writeAll(store, parityKeys, QString::fromLatin1(defaultParity));
    writeAll(store, stopBitsKeys, defaultStopBits);
    writeAll(store, deviceAddressKeys, defaultDeviceAddress);
    store.setValue(QString::fromLatin1(lastDeviceIdKey), defaultDeviceAddress);
    store.sync();
}

void MainWindow::onResetConnectionToDefaultRequested()
{
    // Only the stored settings change; an open link stays open.
    resetConnectionSettings();
    if (ui && ui->ConnectionWidget)
        ui->ConnectionWidget->updateWidgetFromSettings();
}
