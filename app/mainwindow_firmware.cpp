#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "connector.h"
#include "firmwarefile.h"
#include "firmwareflash.h"
#include "firmwareplan.h"
#include "firmwaretexts.h"
#include "firmwaretransfer.h"
#include "inputfile.h"
#include "settingsstore.h"
#include "waitdialog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <memory>

// Firmware file choice, block transfer and flash.

namespace {

const char* const lastFirmwarePathKey = "LastFirmwarePath";

QString platformFileDialog(QWidget* parent, const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

} // namespace

void MainWindow::on_pushButtonSendFirmware_clicked()
{
    if (!connector)
        return;

    // Running the bootloader the board takes a main firmware; otherwise (also
    // with the mode unread) a bootloader.
    const BoardState board = boardState();
    const bool mainFirmware = board.expectsMainFirmware();
    const QString boardCode = board.boardCode();

    // The file.
    const QString startFolder =
        SettingsStore(programName).value(QLatin1String(lastFirmwarePathKey), QDir::homePath()).toString();
    const auto choose = chooseFirmwareFile ? chooseFirmwareFile : platformFileDialog;
    const QString path = choose(this, tr("Open Firmware"), startFolder, tr("Firmware files (*.frm)|*.frm"));
    if (path.isEmpty())
        return;

    const QString nameProblem = FirmwareFile::nameProblem(path, mainFirmware, boardCode);
    if (!nameProblem.isEmpty()) {
        QMessageBox::warning(this, tr("Vantor"), nameProblem);
        return;
    }

    // The dialog lets a device or FIFO through; neither is ever opened.
    QFile file;
    QString error;
    const InputFile::Opened opened = InputFile::open(file, path, true, &error);
    if (opened == InputFile::Opened::NotRegular)
        QMessageBox::warning(this, tr("Vantor"), FirmwareFile::notRegularProblem(path));
    if (opened != InputFile::Opened::Yes)
        return;
    {
        SettingsStore store(programName);
        store.setValue(QLatin1String(lastFirmwarePathKey), QFileInfo(path).absolutePath());
    }

    // An empty file or one too large to number its blocks is turned away
    // before it is read, and the flash button keeps what the board holds.
    const FirmwareMethod method = chooseFirmwareMethod(board, !connector.isNull());
    if (!file.isSequential()) {
        const QString sizeProblem = FirmwareFile::sizeProblem(file.size());
        if (!sizeProblem.isEmpty()) {
            QMessageBox::warning(this, tr("Vantor"), sizeProblem);
            return;
        }
    }
    const QByteArray image = file.readAll();
    // Half an image on the board is worse than none: a short read is refused.
    if (file.error() != QFileDevice::NoError || (!file.isSequential() && image.size() != file.size())) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения файла прошивки\n"));
        return;
    }
    file.close();

    // The transfer.
    ui->pushButtonFlashFirmware->setEnabled(false);
    appendDebugDumpLine(firmwareSendLine(method, boardCode, ui->labelBootloaderVersionValue->text(),
                                         FirmwareFile::fileName(path)));
    const QSharedPointer<Connector> link = connector;
    const bool copied = method == FirmwareMethod::Rle ? sendFirmwareRle(image) : sendFirmwareLegacy(image);
    if (!copied)
        return;
    // The link went away after the last block was acknowledged: the copy is on
    // the board, but there is nothing left to flash it through.
    if (!connector || connector != link)
        return;

    ui->pushButtonFlashFirmware->setEnabled(true);
    const QMessageBox::StandardButton answer =
        QMessageBox::question(this, tr("Vantor"), FirmwareTexts::copyDoneQuestion(mainFirmware),
                              QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        on_pushButtonFlashFirmware_clicked();
}

void MainWindow::on_pushButtonFlashFirmware_clicked()
{
    if (!connector)
        return;

    const bool mainFirmware = boardState().expectsMainFirmware();
    // Whatever comes of it, one flash uses up the copy as far as this button
    // knows; only a new transfer enables it again.
    ui->pushButtonFlashFirmware->setEnabled(false);

    const QSharedPointer<Connector> link = connector;
    std::unique_ptr<WaitDialog> wait;
    const FirmwareFlash::Result result = FirmwareFlash(link).run([&] {
        wait.reset(new WaitDialog(this));
        wait->setText(FirmwareTexts::flashWait(mainFirmware));
        wait->show();
        QCoreApplication::processEvents();
        // Disconnected meanwhile: no 60 s wait on a link nobody holds.
        return connector == link;
    });
    if (wait)
        wait->finish();
    wait.reset();
    OperationRecord record;
    record.operation = QStringLiteral("flash");
    record.takeFlashOutcome(result.exchange, result.ok, result.code);
    logOperation(record);

    if (!result.exchange.written()) {
        QMessageBox::warning(this, tr("Vantor"), FirmwareTexts::flashError(mainFirmware));
        return;
    }
    if (result.ok) {
        QMessageBox::information(this, tr("Vantor"), FirmwareTexts::flashDone(mainFirmware));
        readDeviceStatus();
    } else {
        QMessageBox::warning(this, tr("Vantor"), FirmwareTexts::flashFailure(mainFirmware, result));
        readErrorCode();
    }
}

bool MainWindow::sendFirmwareLegacy(const QByteArray& image)
{
    return sendFirmwareImage(image, false);
}

bool MainWindow::sendFirmwareRle(const QByteArray& image)
{
    return sendFirmwareImage(image, true);
}

bool MainWindow::sendFirmwareImage(const QByteArray& image, bool runLength)
{
    if (!connector)
        return false;

    // Nothing is sent of an image that cannot arrive whole: empty, more blocks
    // than the 16-bit block number can tell apart, or a stream that cannot be cut.
    const FirmwarePlan plan = planFirmwareTransfer(image, runLength ? FirmwareMethod::Rle : FirmwareMethod::Legacy);
    if (!plan.ok()) {
        QMessageBox::warning(this, tr("Vantor"), plan.problemText());
        return false;
    }

    // Progress counts image bytes, whatever travels on the line.
    ui->progressBar->setRange(0, image.size());
    ui->progressBar->setValue(0);
    WaitDialog wait(this);
    wait.show();

    // The engine keeps this reference; the window's own may be released while
    // events run between blocks (the technician disconnected), and then the
    // transfer stops instead of writing to a link nobody holds.
    const QSharedPointer<Connector> link = connector;
    FirmwareTransfer transfer(link);
    transfer.setProgress([this](qint64 done, qint64) { ui->progressBar->setValue(int(done)); });
    transfer.setBlockHook([this, &link] {
        QCoreApplication::processEvents();
        return connector == link;
    });
    const FirmwareTransfer::Result result = transfer.run(plan);
    wait.finish();
    logOperation(runLength ? QStringLiteral("firmware-transfer rle") : QStringLiteral("firmware-transfer"), result.ok());

    if (result.ok()) {
        QMessageBox::information(this, tr("Vantor"), tr("Копирование завершено!\n"));
        return true;
    }
    const QString failure = transferFailureText(result, locale);
    if (!failure.isEmpty())
        QMessageBox::warning(this, tr("Vantor"), failure);
    return false;
}
