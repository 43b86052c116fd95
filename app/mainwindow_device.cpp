#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boardinfo.h"
#include "commandset.h"
#include "connector.h"
#include "devicecommands.h"
#include "tessarin.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

// Identity readout on connect, reboot, mode switch and DI calibration.

namespace {

// The value labels show what the board sent; a board must not be able to
// smuggle markup (or links) into the window, so they never interpret it.
void showValue(QLabel* label, const QString& text)
{
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

} // namespace

// ---- Connect and disconnect ----

void MainWindow::onSerialConnected(QSharedPointer<Connector>& newConnector)
{
    // The previous link is no longer ours: it must not call into this
    // window any more, whoever else still holds it.
    if (connector && connector != newConnector)
        connector->clearDumpCallback();
    connector = newConnector;
    // A loss not yet told is old news once a new link is up.
    linkLostNotice->stop();
    statusBar()->clearMessage();

    applyDumpCallback();

    // Nothing known about the board until it has answered.
    forgetBoard();

    ui->pushButtonEnterBootloader->setText(tr("Enter Bootloader"));
    ui->pushButtonSendFirmware->setEnabled(false);
    ui->pushButtonFlashFirmware->setEnabled(false);
    ui->pushButtonEnterBootloader->setEnabled(true);

    // Both are always asked, in this order.
    const bool firmwareAnswered = readFirmwareVersion();
    const bool statusValid = readDeviceStatus();

    if (!firmwareAnswered || !statusValid) {
        // Nothing sensible came back: give the link up.
        ui->ConnectionWidget->disconnectCurrentConnector();
        if (connector)
            connector->clearDumpCallback();
        connector.reset();
        // Without a link no firmware or calibration button may stay usable.
        updateFirmwareButtons(mode, modeKnown);
        QMessageBox::warning(this, tr("Vantor"), tr("Устройство не ответило\n"));
        return;
    }

    // Older firmware and bootloaders do not know the board version
    // command; the board type then stays unknown.
    const bool mayAskBoardVersion = boardState().boardVersionQueryAllowed();
    showValue(ui->labelBoardVersionValue, QStringLiteral("-"));
    const bool boardOk = mayAskBoardVersion ? readBoardVersion() : true;

    // As "Update" does, but without a box: a failure is named below.
    bool diDoOk = true;
    if (modeKnown && mode == 0 && connector && boardTypeKnown) {
        diDoOk = readDiDoConfig();
        if (diDoOk)
            showDiDoRecord();
    }

    // Both reads are made whatever the first gave.
    const bool errorCodeOk = readErrorCode();
    const bool rs485Ok = readRs485Params();

    // The board answered, so the link is held and the bar says so whatever
    // else failed: showing "Connect" now would invite a second link to the
    // same board. What could not be read is named where it does not block.
    ui->ConnectionWidget->setConnected(true);
    QStringList failed;
    if (!boardOk)
        failed << tr("версия платы (0x7D)");
    if (!diDoOk)
        failed << tr("конфигурация DI/DO");
    if (!errorCodeOk)
        failed << tr("код ошибки (0x79)");
    if (!rs485Ok)
        failed << tr("параметры RS-485 (0x71, 0x9D)");
    if (!failed.isEmpty())
        statusBar()->showMessage(tr("Подключено, но не прочитано: %1").arg(failed.join(QStringLiteral(", "))));
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

void MainWindow::forgetBoard()
{
    modeKnown = false;
    mode = 0;
    firmwareVersionKnown = false;
    boardTypeKnown = false;
    boardType = 0;
    // Marks of a comparison belong to the board they were made with.
    clearDifferenceMarks();
    updateDiDoTables();
}

void MainWindow::onSerialDisconnected()
{
    if (connector)
        connector->clearDumpCallback();
    statusBar()->clearMessage();

    ui->ConnectionWidget->setConnected(false);
    ui->pushButtonSendFirmware->setEnabled(false);
    ui->pushButtonFlashFirmware->setEnabled(false);
    ui->pushButtonEnterBootloader->setEnabled(false);

    connector.reset();
    forgetBoard();

    ui->pushButtonEnterBootloader->setText(tr("Enter Bootloader"));
    showValue(ui->labelFirmwareVersionValue, QStringLiteral("-"));
    updateDiDoColumns();
    updateAdditionalTab();

    showValue(ui->labelBoardVersionValue, QStringLiteral("-"));
    showValue(ui->labelDeviceStatusValue, QStringLiteral("-"));
    showValue(ui->labelBootloaderVersionValue, QStringLiteral("-"));
    showValue(ui->labelErrorStatusValue, QStringLiteral("-"));

    ui->ConnectionWidget->setConnected(false);
}

// ---- Readouts ----

bool MainWindow::readFirmwareVersion()
{
    QLabel* label = ui->labelFirmwareVersionValue;
    showValue(label, tr("Чтение..."));
    firmwareVersionKnown = false;

    if (!connector) {
        showValue(label, QStringLiteral("-"));
        updateDiDoColumns();
        updateFirmwareButtons(0, false);
        return false;
    }

    const Reading<QString> reading = DeviceCommands(connector.data()).readFirmwareVersion();
    if (reading.ok()) {
        // The label is also where the version is kept for the feature gates,
        // so it holds exactly the trimmed text.
        if (!reading.value->isEmpty()) {
            showValue(label, *reading.value);
            firmwareVersionKnown = true;
        } else {
            showValue(label, tr("Не определена"));
        }
    } else {
        showValue(label, reading.silent() ? tr("Нет ответа") : tr("Ошибка"));
    }

    updateDiDoColumns();
    return reading.exchange.answered();
}

bool MainWindow::readDeviceStatus()
{
    QLabel* status = ui->labelDeviceStatusValue;
    QLabel* bootloader = ui->labelBootloaderVersionValue;
    showValue(status, tr("Чтение..."));
    showValue(bootloader, tr("Чтение..."));

    if (!connector) {
        showValue(status, QStringLiteral("-"));
        showValue(bootloader, QStringLiteral("-"));
        modeKnown = false;
        mode = 0;
        updateFirmwareButtons(0, false);
        return false;
    }

    const Reading<DeviceStatus> reading = DeviceCommands(connector.data()).readDeviceStatus();
    quint8 newMode = 0;
    if (reading.ok()) {
        newMode = reading.value->mode;
        showValue(status, BoardInfo::modeText(newMode));
        const QString version = reading.value->bootloaderVersion;
        showValue(bootloader, version.isEmpty() ? QStringLiteral("-") : version);
    } else {
        const QString failure = reading.silent() ? tr("Нет ответа") : tr("Ошибка");
        showValue(status, failure);
        showValue(bootloader, failure);
    }

    updateFirmwareButtons(newMode, reading.ok());

    // The DI/DO editor talks to the main firmware only.
    const bool mainRunning = connector && modeKnown && mode == 0;
    ui->tabWidget->setTabEnabled(ui->tabWidget->indexOf(ui->tabDiDo), mainRunning);

    updateAdditionalTab();
    return modeKnown;
}

bool MainWindow::readBoardVersion()
{
    QLabel* label = ui->labelBoardVersionValue;
    showValue(label, tr("Чтение..."));

    if (!connector) {
        boardTypeKnown = false;
        boardType = 0;
        updateDiDoTables();
        showValue(label, QStringLiteral("-"));
        return false;
    }

    const Reading<quint16> reading = DeviceCommands(connector.data()).readBoardVersion();
    QString text;
    if (reading.ok()) {
        boardType = *reading.value;
        boardTypeKnown = true;
        text = BoardInfo::boardName(boardType);
    } else {
        boardTypeKnown = false;
        boardType = 0;
        text = reading.silent() ? tr("Нет ответа") : tr("Ошибка");
    }

    updateDiDoTables();
    updateAdditionalTab();
    showValue(label, text);
    return reading.exchange.answered();
}

bool MainWindow::readErrorCode()
{
    QLabel* label = ui->labelErrorStatusValue;
    showValue(label, tr("Чтение..."));
    if (!connector) {
        showValue(label, QStringLiteral("-"));
        return false;
    }

    const Reading<qint32> reading = DeviceCommands(connector.data()).readErrorCode();
    if (reading.ok())
        showValue(label, QString::number(*reading.value));
    else
        showValue(label, reading.silent() ? tr("Нет ответа") : tr("Ошибка"));
    return reading.ok();
}

// ---- Reboot and mode switch ----

void MainWindow::forgetConnectionAfterRequest()
{
    // The connection bar keeps its own copy of the transport until the user
    // connects again; it must not call into this window meanwhile.
    if (connector)
        connector->clearDumpCallback();
    connector.reset();
    onSerialDisconnected();
}

void MainWindow::onDeviceRebootRequested()
{
    if (!connector)
        return;

    const ExchangeResult result = DeviceCommands(connector.data()).reboot();
    logOperation(QStringLiteral("reboot"), result);
    if (!result.written()) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка отправки команды перезагрузки\n"));
        return;
    }
    // Silence counts as done: a board may reboot before it can answer.
    if (!result.accepted) {
        QMessageBox::warning(this, tr("Vantor"), tr("Устройство не подтвердило команду перезагрузки\n"));
        return;
    }
    QMessageBox::information(this, tr("Vantor"), tr("Команда перезагрузки отправлена.\nПереподключитесь к прибору."));
    forgetConnectionAfterRequest();
}

void MainWindow::on_pushButtonEnterBootloader_clicked()
{
    if (!connector)
        return;

    const BoardState board = boardState();
    const bool toMainFirmware = DeviceCommands::modeSwitchCode(board) == Command::StartMainFirmware;
    const ExchangeResult result = DeviceCommands(connector.data()).switchMode(board);
    logOperation(toMainFirmware ? QStringLiteral("mode-switch main") : QStringLiteral("mode-switch bootloader"), result);

    if (!result.written()) {
        QMessageBox::warning(this, tr("Vantor"),
                             toMainFirmware ? tr("Ошибка команды запуска основной прошивки\n")
                                            : tr("Ошибка команды перехода в загрузчик\n"));
        return;
    }
    // Unlike the reboot, the switch needs the acknowledgement: without it the
    // board may well still run what it ran.
    if (!result.accepted) {
        QMessageBox::warning(this, tr("Vantor"),
                             toMainFirmware ? tr("Прибор не подтвердил запуск основной прошивки\n")
                                            : tr("Прибор не подтвердил переход в загрузчик\n"));
        return;
    }
    QMessageBox::information(this, tr("Vantor"),
                             toMainFirmware ? tr("Устройство запускает основную прошивку.\nПереподключитесь к прибору.")
                                            : tr("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору."));
    forgetConnectionAfterRequest();
}

// ---- DI calibration ----

void MainWindow::on_pushButtonCalibrateDiZero_clicked()
{
    calibrateDi(false);
}

void MainWindow::on_pushButtonCalibrateDiScale24V_clicked()
{
    calibrateDi(true);
}

void MainWindow::calibrateDi(bool scale24V)
{
    if (!additionalUnlocked)
        return;

    if (!calibrationAvailable()) {
        QMessageBox::warning(
            this, tr("Vantor"),
            scale24V ? tr("Калибровка масштаба DI доступна только в режиме основной прошивки для DI-плат с версией прошивки 0.0.6 и выше.")
                     : tr("Калибровка нуля DI доступна только в режиме основной прошивки для DI-плат с версией прошивки 0.0.6 и выше."));
        return;
    }

    // The board takes its ADC readings the moment the command arrives, so the
    // user confirms that the inputs are prepared; Cancel is the safe default.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        this,
        scale24V ? tr("Калибровка масштаба DI 24 В") : tr("Калибровка нуля DI"),
        scale24V ? tr("Подайте 24 В на все DI входы и нажмите OK.\n"
                      "Текущие значения ADC будут использованы для расчета масштаба режима 24 В.")
                 : tr("Отключите напряжение со всех DI входов и нажмите OK.\n"
                      "Текущие значения ADC будут сохранены как ноль для режима 24 В."),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;

    // The question ran an event loop; should the link have gone meanwhile,
    // the command cannot be written and the user is told so below.
    const DeviceCommands commands(connector.data());
    const ExchangeResult result = scale24V ? commands.calibrateDiScale24V() : commands.calibrateDiZero();
    logOperation(scale24V ? QStringLiteral("calibration DI 24V") : QStringLiteral("calibration DI zero"), result);
    if (!result.written()) {
        QMessageBox::warning(this, tr("Vantor"),
                             scale24V ? tr("Ошибка команды калибровки масштаба DI\n")
                                      : tr("Ошибка команды калибровки DI\n"));
        return;
    }
    if (result.accepted)
        QMessageBox::information(this, tr("Vantor"),
                                 scale24V ? tr("Калибровка масштаба DI 24 В выполнена.")
                                          : tr("Калибровка нуля DI выполнена."));
    else
        QMessageBox::warning(this, tr("Vantor"),
                             scale24V ? tr("Ошибка калибровки масштаба DI\n") : tr("Ошибка калибровки нуля DI\n"));
}
