#include "firmwarepanel.h"

#include "boardsession.h"
#include "firmwarejob.h"
#include "firmwaretexts.h"
#include "settingsstore.h"
#include "waitdialog.h"
#include "windowtext.h"

#include <QCoreApplication>
#include <QDir>
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

FirmwarePanel::FirmwarePanel(const Widgets& widgets, BoardSession* session, const QString& programName,
                             const QLocale& locale, QObject* parent)
    : QObject(parent)
    , widgets(widgets)
    , session(session)
    , job(new FirmwareJob(session, this))
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
    const BoardState& board = session->board();
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

    if (!session->hasLink()) {
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
    if (!session->hasLink())
        return;

    const QString startFolder =
        SettingsStore(programName).value(QLatin1String(lastFirmwarePathKey), QDir::homePath()).toString();
    const auto choose = chooseFile ? chooseFile : platformFileDialog;
    const QString path = choose(boxParent(), windowText("Open Firmware"), startFolder,
                                windowText("Firmware files (*.frm)|*.frm"));
    if (path.isEmpty())
        return;

    // The name first, then the file (a device or FIFO is never opened), its
    // size before it is read, and the blocks before anything is sent; a
    // refusal leaves the flash button with what the board holds.
    const FirmwareJob::Check check = job->load(path);
    if (check.opened) {
        SettingsStore store(programName);
        store.setValue(QLatin1String(lastFirmwarePathKey), QFileInfo(path).absolutePath());
    }
    if (!check.ok()) {
        // A file that cannot be opened at all is not worth a box.
        if (!check.text.isEmpty())
            QMessageBox::warning(boxParent(), windowText("Vantor"), check.text);
        return;
    }

    widgets.flash->setEnabled(false);
    emit dumpLine(job->sendLine());
    const QSharedPointer<Connector> link = session->link();
    if (!copy(link))
        return;
    // The link went away after the last block was acknowledged: the copy is on
    // the board, but there is nothing left to flash it through.
    if (session->link() != link)
        return;

    widgets.flash->setEnabled(true);
    const QMessageBox::StandardButton answer = QMessageBox::question(
        boxParent(), windowText("Vantor"), FirmwareTexts::copyDoneQuestion(job->mainFirmware()),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
    if (answer == QMessageBox::Yes)
        flash();
}

bool FirmwarePanel::copy(const QSharedPointer<Connector>& link)
{
    // Progress counts image bytes, whatever travels on the line.
    widgets.progress->setRange(0, int(job->plan().imageSize));
    widgets.progress->setValue(0);
    job->setProgress([this](qint64 done, qint64 total) {
        widgets.progress->setValue(int(done));
        emit copyProgress(done, total);
    });
    // Events run between blocks; should the technician disconnect meanwhile,
    // the copy stops instead of writing to a link nobody holds.
    job->setBlockHook([this, link] {
        QCoreApplication::processEvents();
        return session->link() == link;
    });
    WaitDialog wait(boxParent());
    wait.show();
    const FirmwareTransfer::Result result = job->copy();
    emit copyEnded();
    wait.finish();
    // The hook holds the link: a link let go must not live on in it.
    job->setBlockHook(FirmwareTransfer::BlockHook());

    if (result.ok()) {
        QMessageBox::information(boxParent(), windowText("Vantor"), FirmwareTexts::copyDone());
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
    if (!session->hasLink())
        return;
    // Whatever comes of it, one flash uses up the copy as far as this button
    // knows; only a new transfer enables it again.
    widgets.flash->setEnabled(false);

    const QSharedPointer<Connector> link = session->link();
    std::unique_ptr<WaitDialog> wait;
    job->setFlashWait([&](bool mainFirmware) {
        wait.reset(new WaitDialog(boxParent()));
        wait->setText(FirmwareTexts::flashWait(mainFirmware));
        wait->show();
        QCoreApplication::processEvents();
        // Disconnected meanwhile: no 60 s wait on a link nobody holds.
        return session->link() == link;
    });
    // The job reads the status (or the board's error code) again afterwards.
    const FirmwareJob::FlashOutcome outcome = job->flash();
    job->setFlashWait(FirmwareJob::FlashWait());
    if (wait)
        wait->finish();
    wait.reset();
    showOutcome(boxParent(), outcome.ok(), outcome.text);
}

// ---- Mode switch ----

void FirmwarePanel::switchMode()
{
    if (!session->hasLink())
        return;
    // Towards the main firmware while the bootloader runs, else the
    // bootloader; acknowledged, the session lets the link go.
    const BoardSession::ActionResult result = session->switchMode();
    showOutcome(boxParent(), result.ok(), result.text);
    if (result.ok())
        emit linkReleased();
}
