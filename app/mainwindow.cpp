#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "barlink.h"
#include "calibrationpanel.h"
#include "configfilepanel.h"
#include "connectionsettings.h"
#include "connector.h"
#include "dumppanel.h"
#include "firmwarepanel.h"
#include "readingorder.h"
#include "settingsstore.h"
#include "tablecolumns.h"
#include "tessarin.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSpacerItem>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <QVBoxLayout>

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
    programName = QString::fromLatin1(programNameText);

    // The panels, each on its part of the form, all on one session; the
    // session's operations log names this program and the bar's link.
    session = new BoardSession(this);
    session->setObjectName(QStringLiteral("boardSession"));
    session->setProgramName(QStringLiteral("window"));
    // A log that cannot be written never holds the operation up, but is said.
    connect(session, &BoardSession::operationsLogFailed, this, [this](const QString& error) {
        statusBar()->showMessage(tr("Журнал операций не записан: %1").arg(error));
    });
    dump = new DumpPanel(this, ui->verticalLayout, statusBar(), session, this);
    device = new DevicePanel({ ui->labelBoardVersionValue, ui->labelFirmwareVersionValue, ui->labelDeviceStatusValue,
                               ui->labelBootloaderVersionValue, ui->labelErrorStatusValue },
                             ui->tabWidget, ui->tabDiDo, session, this);
    firmware = new FirmwarePanel({ ui->pushButtonSendFirmware, ui->pushButtonFlashFirmware,
                                   ui->pushButtonEnterBootloader, ui->progressBar },
                                 session, programName, locale, this);
    calibration = new CalibrationPanel(ui->pushButtonCalibrateDiZero, ui->pushButtonCalibrateDiScale24V, session, this);
    connect(device, &DevicePanel::modeRead, firmware, &FirmwarePanel::updateButtons);
    connect(device, &DevicePanel::linkReleased, this, &MainWindow::forgetConnectionAfterRequest);
    connect(firmware, &FirmwarePanel::linkReleased, this, &MainWindow::forgetConnectionAfterRequest);
    connect(firmware, &FirmwarePanel::dumpLine, this, &MainWindow::appendDebugDumpLine);

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

    ui->labelBoardVersionValue->setText(QStringLiteral("-"));

    // DI/DO tables in their shape for an unknown board with the factory
    // record, then the RS-485 tables.
    diDo = new DiDoPanel(ui->tableWidgetDIConfig, ui->tableWidgetDOConfig, session, this);
    rs485 = new Rs485Panel(ui->tableWidgetRs485Param, ui->tableWidgetRs485Param_2, session, this);
    QMenu* fileMenu = findChild<QMenu*>(QStringLiteral("menu"));
    if (!fileMenu)
        fileMenu = menuBar()->addMenu(tr("Файл"));
    configFiles = new ConfigFilePanel(fileMenu, this, diDo, rs485, session, ui->ConnectionWidget, this);
    updateAdditionalTab();

    // The program talks to its boards over RS-485 and TCP only.
    ui->ConnectionWidget->setUSBConfigEnable(false);
    ui->ConnectionWidget->setProgramName(programName);
    ui->ConnectionWidget->setConnected(false);

    firmware->showNoLink();

    connect(ui->ConnectionWidget, &Tessarin::onConnected, this, &MainWindow::onSerialConnected);
    connect(ui->ConnectionWidget, &Tessarin::onDisconnected, this, &MainWindow::onSerialDisconnected);
    connect(ui->ConnectionWidget, &Tessarin::onRebootRequested, this, &MainWindow::onDeviceRebootRequested);
    connect(ui->ConnectionWidget, &Tessarin::onResetToDefaultRequested, this,
            &MainWindow::onResetConnectionToDefaultRequested);
    // onDisconnected, just before, has already forgotten the board.
    connect(ui->ConnectionWidget, &Tessarin::onLinkLost, this, &MainWindow::onSerialLinkLost);

    setUpOnSiteTools();
    setUpKeyboard();
    fitTablesToWindow();
    restoreWindowLayout();
}

MainWindow::~MainWindow()
{
    // The transport may outlive the window (the connection bar holds a copy
    // until it is destroyed); it must not call back into a dead window.
    if (session->hasLink())
        session->link()->clearDumpCallback();
    delete ui;
    ui = nullptr;
}

// ---- The slots that hand over to a panel ----

void MainWindow::on_pushButtonSendFirmware_clicked()
{
    firmware->send();
}

void MainWindow::on_pushButtonFlashFirmware_clicked()
{
    firmware->flash();
}

void MainWindow::on_pushButtonEnterBootloader_clicked()
{
    firmware->switchMode();
}

void MainWindow::on_pushButtonGetDiDoParam_clicked()
{
    diDo->update();
}

void MainWindow::on_pushButtonSetDiDoParam_clicked()
{
    diDo->save();
}

void MainWindow::on_pushButtonResetDiDoParam_clicked()
{
    diDo->resetToFactory();
}

void MainWindow::on_pushButtonFillFactoryDiDoParam_clicked()
{
    diDo->fillFactory();
}

void MainWindow::on_pushButtonCalibrateDiZero_clicked()
{
    calibration->calibrate(false);
}

void MainWindow::on_pushButtonCalibrateDiScale24V_clicked()
{
    calibration->calibrate(true);
}

void MainWindow::on_pushButtonSetRs485Param_clicked()
{
    rs485->write();
}

void MainWindow::on_pushButtonGetRs485Param_clicked()
{
    rs485->read();
}

void MainWindow::onDeviceRebootRequested()
{
    device->reboot();
}

void MainWindow::onDiConfigContextMenuRequested(QPoint pos)
{
    diDo->contextMenuRequested(pos);
}

// ---- Connect and disconnect ----

void MainWindow::onSerialConnected(QSharedPointer<Connector>& newConnector)
{
    // A link the line scan or the one-step update opened through the bar is theirs.
    if (barLink->claim(newConnector))
        return;
    // A loss not yet told is old news once a new link is up.
    linkLostNotice->stop();
    statusBar()->clearMessage();
    // Marks of a comparison belong to the board they were made with.
    configFiles->clearMarks();

    // The previous link is no longer ours (the dump lets it go); nothing is
    // known about the board until it has answered the session's readout,
    // which the labels, buttons and tables follow as it goes.
    session->setLinkDescription(BarLink::describe(ui->ConnectionWidget));
    session->attach(newConnector);
    firmware->prepareForReadout();
    const BoardSession::ConnectResult read = session->connectReadout();
    if (!read.usable) {
        // Nothing sensible came back: give the link up.
        ui->ConnectionWidget->disconnectCurrentConnector();
        session->release();
        // Without a link no firmware or calibration button may stay usable.
        updateFirmwareButtons();
        QMessageBox::warning(this, tr("Vantor"), BoardReadout::silentBoardText());
        return;
    }
    // As "Update" and "Прочитать из устройства" show them, but without a box:
    // a failure is named below.
    if (read.diDoAsked)
        diDo->takeBoardRecord(read.diDo);
    rs485->takeBoardRecords(read.rs485, read.protocols);

    // The board answered, so the link is held and the bar says so whatever
    // else failed: showing "Connect" now would invite a second link to the
    // same board. What could not be read is named where it does not block.
    ui->ConnectionWidget->setConnected(true);
    QStringList failed;
    if (!read.boardVersion)
        failed << tr("версия платы (0x7D)");
    if (!read.diDo)
        failed << tr("конфигурация DI/DO");
    if (!read.errorCode)
        failed << tr("код ошибки (0x79)");
    if (!read.rs485)
        failed << tr("параметры RS-485 (0x71, 0x9D)");
    if (!failed.isEmpty())
        statusBar()->showMessage(tr("Подключено, но не прочитано: %1").arg(failed.join(QStringLiteral(", "))));
}

void MainWindow::onSerialDisconnected()
{
    statusBar()->clearMessage();
    ui->ConnectionWidget->setConnected(false);
    firmware->showNoLink();
    // The tables, calibration and dump follow the session as it forgets the board.
    session->release();
    configFiles->clearMarks();
    updateAdditionalTab();
    device->showNoBoard();
    ui->ConnectionWidget->setConnected(false);
}

void MainWindow::forgetConnectionAfterRequest()
{
    // The connection bar keeps its own copy of the transport until the user
    // connects again; the window lets its own go.
    onSerialDisconnected();
}

void MainWindow::onSerialLinkLost()
{
    // A transfer under way stops at its next block (the link is no longer
    // the one it started on); its progress would only mislead now.
    ui->progressBar->setValue(0);
    statusBar()->showMessage(tr("Связь с устройством потеряна"));
    linkLostNotice->start();
}

void MainWindow::showLinkLostNotice()
{
    // Said after the box of the operation the loss broke, not on top of it.
    if (QApplication::activeModalWidget())
        return;
    linkLostNotice->stop();
    QMessageBox::warning(this, tr("Vantor"), tr("Связь с устройством потеряна\n"));
}

// ---- Enabling rules ----

void MainWindow::updateFirmwareButtons()
{
    firmware->updateButtons();
}

void MainWindow::updateAdditionalTab()
{
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
    calibration->updateButtons();
    configFiles->updateActions();
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
    // The variants above spell data and stop bits "DataBits" and "StopBits",
    // other keys than the bar's however the case is folded: without its own
    // keys the reset would leave the line's word format as it was.
    store.setValue(QString::fromLatin1(ConnectionSettings::keyDataBits), defaultDataBits);
    store.setValue(QString::fromLatin1(ConnectionSettings::keyStopBits), defaultStopBits);
    store.sync();
}

void MainWindow::onResetConnectionToDefaultRequested()
{
    // Only the stored settings change; an open link stays open.
    resetConnectionSettings();
    if (ui && ui->ConnectionWidget)
        ui->ConnectionWidget->updateWidgetFromSettings();
}
