#include "firmwarepanel.h"

#include "boardcontext.h"
#include "commandset.h"
#include "connector.h"
#include "devicecommands.h"
#include "firmwarefile.h"
#include "firmwareplan.h"
#include "firmwaretexts.h"
#include "inputfile.h"
#include "settingsstore.h"
#include "waitdialog.h"
#include "windowtext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>

#include <memory>

namespace {

const char* const lastFirmwarePathKey = "LastFirmwarePath";

QString platformFileDialog(QWidget* parent, const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

} // namespace

FirmwarePanel::FirmwarePanel(const Widgets& widgets, BoardContext* context, const QString& programName,
                             const QLocale& locale, QObject* parent)
    : QObject(parent)
    , widgets(widgets)
    , context(context)
    , programName(programName)
    , locale(locale)
{
    setObjectName(QStringLiteral("firmwarePanel"));
}

QWidget* FirmwarePanel::boxParent() const
{
    return widgets.send->window();
}

// ---- Buttons ----

void FirmwarePanel::updateButtons()
{
    const BoardState& board = context->state();
    const bool bootloaderRunning = board.bootloaderRunning();

    // Running the bootloader the board takes a main firmware; running the main
    // firmware it takes a new bootloader.
    if (bootloaderRunning) {
        widgets.send->setText(windowText("Send Firmware"));
        widgets.flash->setText(windowText("Flash Firmware"));
        widgets.modeSwitch->setText(windowText("Enter Main Firmware"));
    } else {
        widgets.send->setText(windowText("Send Bootloader"));
        widgets.flash->setText(windowText("Flash Bootloader"));
        widgets.modeSwitch->setText(windowText("Enter Bootloader"));
    }

    if (!context->linked()) {
        widgets.send->setEnabled(false);
        widgets.flash->setEnabled(false);
        widgets.modeSwitch->setEnabled(false);
        return;
    }

    widgets.modeSwitch->setEnabled(bootloaderRunning ? board.firmwareVersionKnown : true);
    const bool sendEnabled = bootloaderRunning || board.mainFirmwareRunning();
    widgets.send->setEnabled(sendEnabled);
    if (!sendEnabled)
        widgets.flash->setEnabled(false);
}

void FirmwarePanel::prepareForReadout()
{
    widgets.modeSwitch->setText(windowText("Enter Bootloader"));
    widgets.send->setEnabled(false);
    widgets.flash->setEnabled(false);
    widgets.modeSwitch->setEnabled(true);
}

void FirmwarePanel::showNoLink()
{
    widgets.send->setEnabled(false);
    widgets.flash->setEnabled(false);
    widgets.modeSwitch->setEnabled(false);
    widgets.modeSwitch->setText(windowText("Enter Bootloader"));
}

// ---- Send ----

void FirmwarePanel::send()
{
    if (!context->linked())
        return;

    // Running the bootloader the board takes a main firmware; otherwise (also
    // with the mode unread) a bootloader.
    const BoardState board = context->state();
    const bool mainFirmware = board.expectsMainFirmware();
    const QString boardCode = board.boardCode();

    // The file.
    const QString startFolder =
        SettingsStore(programName).value(QLatin1String(lastFirmwarePathKey), QDir::homePath()).toString();
    const auto choose = chooseFile ? chooseFile : platformFileDialog;
    const QString path = choose(boxParent(), windowText("Open Firmware"), startFolder,
                                windowText("Firmware files (*.frm)|*.frm"));
    if (path.isEmpty())
        return;

    const QString nameProblem = FirmwareFile::nameProblem(path, mainFirmware, boardCode);
    if (!nameProblem.isEmpty()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), nameProblem);
        return;
    }

    // The dialog lets a device or FIFO through; neither is ever opened.
    QFile file;
    QString error;
    const InputFile::Opened opened = InputFile::open(file, path, true, &error);
    if (opened == InputFile::Opened::NotRegular)
        QMessageBox::warning(boxParent(), windowText("Vantor"), FirmwareFile::notRegularProblem(path));
    if (opened != InputFile::Opened::Yes)
        return;
    {
        SettingsStore store(programName);
        store.setValue(QLatin1String(lastFirmwarePathKey), QFileInfo(path).absolutePath());
    }

    // An empty file or one too large to number its blocks is turned away
    // before it is read, and the flash button keeps what the board holds.
    const FirmwareMethod method = chooseFirmwareMethod(board, context->linked());
    if (!file.isSequential()) {
        const QString sizeProblem = FirmwareFile::sizeProblem(file.size());
        if (!sizeProblem.isEmpty()) {
            QMessageBox::warning(boxParent(), windowText("Vantor"), sizeProblem);
            return;
        }
    }
    const QByteArray image = file.readAll();
    // Half an image on the board is worse than none: a short read is refused.
    if (file.error() != QFileDevice::NoError || (!file.isSequential() && image.size() != file.size())) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка чтения файла прошивки\n"));
        return;
    }
    file.close();

    // The transfer.
    widgets.flash->setEnabled(false);
    const QString bootloader = board.bootloaderVersion.isEmpty() ? QStringLiteral("-") : board.bootloaderVersion;
    emit dumpLine(firmwareSendLine(method, boardCode, bootloader, FirmwareFile::fileName(path)));
    const QSharedPointer<Connector> link = context->link();
    const bool copied = method == FirmwareMethod::Rle ? sendRle(image) : sendLegacy(image);
    if (!copied)
        return;
    // The link went away after the last block was acknowledged: the copy is on
    // the board, but there is nothing left to flash it through.
    if (!context->linked() || context->link() != link)
        return;

    widgets.flash->setEnabled(true);
    const QMessageBox::StandardButton answer =
        QMessageBox::question(boxParent(), windowText("Vantor"), FirmwareTexts::copyDoneQuestion(mainFirmware),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        flash();
}

bool FirmwarePanel::sendLegacy(const QByteArray& image)
{
    return sendImage(image, false);
}

bool FirmwarePanel::sendRle(const QByteArray& image)
{
    return sendImage(image, true);
}

bool FirmwarePanel::sendImage(const QByteArray& image, bool runLength)
{
    if (!context->linked())
        return false;

    // Nothing is sent of an image that cannot arrive whole: empty, more blocks
    // than the 16-bit block number can tell apart, or a stream that cannot be cut.
    const FirmwarePlan plan = planFirmwareTransfer(image, runLength ? FirmwareMethod::Rle : FirmwareMethod::Legacy);
    if (!plan.ok()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), plan.problemText());
        return false;
    }

    // Progress counts image bytes, whatever travels on the line.
    widgets.progress->setRange(0, image.size());
    widgets.progress->setValue(0);
    WaitDialog wait(boxParent());
    wait.show();
    const FirmwareTransfer::Result result = transfer(plan, runLength);
    wait.finish();

    if (result.ok()) {
        QMessageBox::information(boxParent(), windowText("Vantor"), windowText("Копирование завершено!\n"));
        return true;
    }
    const QString failure = transferFailureText(result, locale);
    if (!failure.isEmpty())
        QMessageBox::warning(boxParent(), windowText("Vantor"), failure);
    return false;
}

// ---- Flash ----

void FirmwarePanel::flash()
{
    if (!context->linked())
        return;

    const bool mainFirmware = context->state().expectsMainFirmware();
    // Whatever comes of it, one flash uses up the copy as far as this button
    // knows; only a new transfer enables it again.
    widgets.flash->setEnabled(false);

    const QSharedPointer<Connector> link = context->link();
    std::unique_ptr<WaitDialog> wait;
    const FirmwareFlash::Result result = runFlash([&] {
        wait.reset(new WaitDialog(boxParent()));
        wait->setText(FirmwareTexts::flashWait(mainFirmware));
        wait->show();
        QCoreApplication::processEvents();
        // Disconnected meanwhile: no 60 s wait on a link nobody holds.
        return context->link() == link;
    });
    if (wait)
        wait->finish();
    wait.reset();

    if (!result.exchange.written()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), FirmwareTexts::flashError(mainFirmware));
        return;
    }
    if (result.ok)
        QMessageBox::information(boxParent(), windowText("Vantor"), FirmwareTexts::flashDone(mainFirmware));
    else
        QMessageBox::warning(boxParent(), windowText("Vantor"), FirmwareTexts::flashFailure(mainFirmware, result));
    emit flashed(result.ok);
}

// ---- Mode switch ----

void FirmwarePanel::switchMode()
{
    if (!context->linked())
        return;

    const bool toMainFirmware = DeviceCommands::modeSwitchCode(context->state()) == Command::StartMainFirmware;
    const ExchangeResult result = sendModeSwitch();
    if (!result.written()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"),
                             toMainFirmware ? windowText("Ошибка команды запуска основной прошивки\n")
                                            : windowText("Ошибка команды перехода в загрузчик\n"));
        return;
    }
    // Unlike the reboot, the switch needs the acknowledgement: without it the
    // board may well still run what it ran.
    if (!result.accepted) {
        QMessageBox::warning(boxParent(), windowText("Vantor"),
                             toMainFirmware ? windowText("Прибор не подтвердил запуск основной прошивки\n")
                                            : windowText("Прибор не подтвердил переход в загрузчик\n"));
        return;
    }
    QMessageBox::information(
        boxParent(), windowText("Vantor"),
        toMainFirmware ? windowText("Устройство запускает основную прошивку.\nПереподключитесь к прибору.")
                       : windowText("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору."));
    emit linkReleased();
}

// ---- Board calls ----

FirmwareTransfer::Result FirmwarePanel::transfer(const FirmwarePlan& plan, bool runLength)
{
    // The engine keeps this reference; the context's own may be released while
    // events run between blocks (the technician disconnected), and then the
    // transfer stops instead of writing to a link nobody holds.
    const QSharedPointer<Connector> link = context->link();
    FirmwareTransfer transfer(link);
    transfer.setProgress([this](qint64 done, qint64 total) {
        widgets.progress->setValue(int(done));
        emit copyProgress(done, total);
    });
    transfer.setBlockHook([this, &link] {
        QCoreApplication::processEvents();
        return context->link() == link;
    });
    const FirmwareTransfer::Result result = transfer.run(plan);
    emit copyEnded();
    context->log(runLength ? QStringLiteral("firmware-transfer rle") : QStringLiteral("firmware-transfer"),
                 result.ok());
    return result;
}

FirmwareFlash::Result FirmwarePanel::runFlash(const CommandExchange::AfterWrite& afterWrite)
{
    const FirmwareFlash::Result result = FirmwareFlash(context->link()).run(afterWrite);
    OperationRecord record;
    record.operation = QStringLiteral("flash");
    record.takeFlashOutcome(result.exchange, result.ok, result.code);
    context->log(record);
    return result;
}

ExchangeResult FirmwarePanel::sendModeSwitch()
{
    const BoardState board = context->state();
    const bool toMainFirmware = DeviceCommands::modeSwitchCode(board) == Command::StartMainFirmware;
    const ExchangeResult result = DeviceCommands(context->connector()).switchMode(board);
    context->log(toMainFirmware ? QStringLiteral("mode-switch main") : QStringLiteral("mode-switch bootloader"),
                 result);
    return result;
}
