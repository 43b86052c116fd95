#include "devicepanel.h"

#include "boardcontext.h"
#include "boardinfo.h"
#include "windowtext.h"

#include <QLabel>
#include <QMessageBox>
#include <QTabWidget>

namespace {

// The value labels show what the board sent; a board must not be able to
// smuggle markup (or links) into the window, so they never interpret it.
void showValue(QLabel* label, const QString& text)
{
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
}

template <typename T>
QString failureText(const Reading<T>& reading)
{
    return reading.silent() ? windowText("Нет ответа") : windowText("Ошибка");
}

} // namespace

DevicePanel::DevicePanel(const Labels& labels, QTabWidget* tabs, QWidget* diDoPage, BoardContext* context,
                         QObject* parent)
    : QObject(parent)
    , labels(labels)
    , tabs(tabs)
    , diDoPage(diDoPage)
    , context(context)
{
    setObjectName(QStringLiteral("devicePanel"));
}

QWidget* DevicePanel::boxParent() const
{
    return labels.deviceStatus->window();
}

void DevicePanel::showNoBoard()
{
    for (QLabel* label : { labels.firmwareVersion, labels.boardVersion, labels.deviceStatus, labels.bootloaderVersion,
                           labels.errorStatus })
        showValue(label, QStringLiteral("-"));
}

void DevicePanel::storeMode(quint8 mode, bool known, const QString& bootloaderVersion)
{
    BoardState board = context->state();
    board.mode = mode;
    board.modeKnown = known;
    board.bootloaderVersion = bootloaderVersion;
    context->setState(board);
    emit modeRead();
}

bool DevicePanel::readFirmwareVersion()
{
    showValue(labels.firmwareVersion, windowText("Чтение..."));
    BoardState board = context->state();
    board.firmwareVersionKnown = false;
    board.firmwareVersion.clear();
    context->setState(board);

    if (!context->linked()) {
        showValue(labels.firmwareVersion, QStringLiteral("-"));
        storeMode(0, false, context->state().bootloaderVersion);
        return false;
    }

    const Reading<QString> reading = commands().readFirmwareVersion();
    if (reading.ok() && !reading.value->isEmpty()) {
        showValue(labels.firmwareVersion, *reading.value);
        board.firmwareVersionKnown = true;
        board.firmwareVersion = *reading.value;
        context->setState(board);
    } else {
        showValue(labels.firmwareVersion, reading.ok() ? windowText("Не определена") : failureText(reading));
    }
    return reading.exchange.answered();
}

bool DevicePanel::readDeviceStatus()
{
    showValue(labels.deviceStatus, windowText("Чтение..."));
    showValue(labels.bootloaderVersion, windowText("Чтение..."));

    if (!context->linked()) {
        showValue(labels.deviceStatus, QStringLiteral("-"));
        showValue(labels.bootloaderVersion, QStringLiteral("-"));
        storeMode(0, false, QString());
        return false;
    }

    const Reading<DeviceStatus> reading = commands().readDeviceStatus();
    if (reading.ok()) {
        showValue(labels.deviceStatus, BoardInfo::modeText(reading.value->mode));
        const QString version = reading.value->bootloaderVersion;
        showValue(labels.bootloaderVersion, version.isEmpty() ? QStringLiteral("-") : version);
        storeMode(reading.value->mode, true, version);
    } else {
        showValue(labels.deviceStatus, failureText(reading));
        showValue(labels.bootloaderVersion, failureText(reading));
        storeMode(0, false, QString());
    }

    // The DI/DO editor talks to the main firmware only.
    const bool mainRunning = context->linked() && context->state().mainFirmwareRunning();
    tabs->setTabEnabled(tabs->indexOf(diDoPage), mainRunning);
    return context->state().modeKnown;
}

bool DevicePanel::readBoardVersion()
{
    showValue(labels.boardVersion, windowText("Чтение..."));
    BoardState board = context->state();
    board.boardTypeKnown = false;
    board.boardType = 0;

    if (!context->linked()) {
        context->setState(board);
        showValue(labels.boardVersion, QStringLiteral("-"));
        return false;
    }

    const Reading<quint16> reading = commands().readBoardVersion();
    QString text = failureText(reading);
    if (reading.ok()) {
        board.boardType = *reading.value;
        board.boardTypeKnown = true;
        text = BoardInfo::boardName(board.boardType);
    }
    context->setState(board);
    showValue(labels.boardVersion, text);
    return reading.exchange.answered();
}

bool DevicePanel::readBoardVersionWhereKnown()
{
    // Older firmware and bootloaders do not know the board version command;
    // the board type then stays unknown.
    const bool mayAsk = context->state().boardVersionQueryAllowed();
    showValue(labels.boardVersion, QStringLiteral("-"));
    return mayAsk ? readBoardVersion() : true;
}

bool DevicePanel::readErrorCode()
{
    showValue(labels.errorStatus, windowText("Чтение..."));
    if (!context->linked()) {
        showValue(labels.errorStatus, QStringLiteral("-"));
        return false;
    }

    const Reading<qint32> reading = commands().readErrorCode();
    showValue(labels.errorStatus, reading.ok() ? QString::number(*reading.value) : failureText(reading));
    return reading.ok();
}

void DevicePanel::reboot()
{
    if (!context->linked())
        return;

    const ExchangeResult result = sendReboot();
    if (!result.written()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка отправки команды перезагрузки\n"));
        return;
    }
    // Silence counts as done: a board may reboot before it can answer.
    if (!result.accepted) {
        QMessageBox::warning(boxParent(), windowText("Vantor"),
                             windowText("Устройство не подтвердило команду перезагрузки\n"));
        return;
    }
    QMessageBox::information(boxParent(), windowText("Vantor"),
                             windowText("Команда перезагрузки отправлена.\nПереподключитесь к прибору."));
    emit linkReleased();
}

// ---- Board calls ----

DeviceCommands DevicePanel::commands() const
{
    return DeviceCommands(context->connector());
}

ExchangeResult DevicePanel::sendReboot() const
{
    const ExchangeResult result = commands().reboot();
    context->log(QStringLiteral("reboot"), result);
    return result;
}
