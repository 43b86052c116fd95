#include "onestepupdate.h"

#include "barlink.h"
#include "boardinfo.h"
#include "boardsession.h"
#include "connector.h"
#include "firmwaretexts.h"
#include "ratelabel.h"
#include "settingsstore.h"
#include "waitdialog.h"
#include "windowtext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressBar>
#include <QWeakPointer>

namespace {

using Step = FirmwareJob::Step;
using Failure = FirmwareJob::UpdateResult::Failure;

const char* const lastFirmwarePathKey = "LastFirmwarePath";

QString platformFileDialog(QWidget* parent, const QString& caption, const QString& folder, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, caption, folder, filter);
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QString endingInLineBreak(const QString& text)
{
    return text.endsWith(QLatin1Char('\n')) ? text : text + QLatin1Char('\n');
}

} // namespace

OneStepUpdate::OneStepUpdate(const Widgets& widgets, BarLink* bar, BoardSession* session, const QString& programName,
                             const QLocale& locale, QObject* parent)
    : QObject(parent)
    , widgets(widgets)
    , bar(bar)
    , session(session)
    , programName(programName)
    , locale(locale)
{
    setObjectName(QStringLiteral("oneStepUpdate"));
}

QString OneStepUpdate::stepText(FirmwareJob::Step step)
{
    switch (step) {
    case Step::ReadFile: return windowText("чтение файла");
    case Step::Identity: return windowText("чтение данных устройства");
    case Step::CheckFile: return windowText("проверка файла");
    case Step::EnterBootloader: return windowText("переход в загрузчик");
    case Step::StartMainFirmware: return windowText("запуск основной прошивки");
    case Step::Reconnect: return windowText("переподключение");
    case Step::Copy: return windowText("копирование");
    case Step::Flash: return windowText("запись прошивки");
    case Step::ReadVersion: return windowText("чтение версии");
    }
    return QString();
}

void OneStepUpdate::run()
{
    const QString startFolder =
        SettingsStore(programName).value(QLatin1String(lastFirmwarePathKey), QDir::homePath()).toString();
    const auto choose = chooseFile ? chooseFile : platformFileDialog;
    const QString path = choose(widgets.window, windowText("Open Firmware"), startFolder,
                                windowText("Firmware files (*.frm)|*.frm"));
    if (path.isEmpty())
        return;
    const QFileInfo file(path);
    if (file.isFile() && file.isReadable()) {
        SettingsStore store(programName);
        store.setValue(QLatin1String(lastFirmwarePathKey), file.absolutePath());
    }

    const QWeakPointer<Connector> startLink = windowLink ? windowLink() : QSharedPointer<Connector>();
    const FirmwareJob::UpdateResult result = update(path);
    const bool ownLinkKept = session->hasLink() && session->link() == startLink.toStrongRef() && bar->held();
    // A board that answered in another mode than the one it was sent to is
    // there all the same; the window shows it.
    const bool boardThere =
        session->hasLink() || (result.failure == Failure::WrongReply && result.step == Step::Reconnect);
    const QString text = reportText(result);

    // The window takes over: the link the job ended on, read out as after
    // Connect, or none at all.
    session->release();
    if (!ownLinkKept) {
        bar->disconnect();
        if (boardThere)
            bar->connect();
    }
    if (text.isEmpty())
        return;
    if (result.ok())
        QMessageBox::information(widgets.window, windowText("Vantor"), text);
    else
        QMessageBox::warning(widgets.window, windowText("Vantor"), text);
}

FirmwareJob::UpdateResult OneStepUpdate::update(const QString& path)
{
    openRefused = false;
    copyStarted = false;
    flashedOk = false;
    stopTexts.clear();
    session->setProgramName(QStringLiteral("window"));
    session->setLinkDescription(linkDescription ? linkDescription() : QString());
    // Started on the window's link; without one the job connects through the
    // bar first. Nothing here keeps a link of its own: a serial port opens
    // again only once every holder has let go.
    if (const QSharedPointer<Connector> held = windowLink ? windowLink() : QSharedPointer<Connector>())
        session->attach(held);
    else
        session->release();

    FirmwareJob job(session);
    WaitDialog wait(widgets.window);
    wait.show();
    QCoreApplication::processEvents();

    connect(&job, &FirmwareJob::stepStarted, &wait, [this, &wait](FirmwareJob::Step step) {
        wait.setText(windowText("Обновление прошивки: %1...").arg(stepText(step)));
        emit dumpLine(QStringLiteral("[update] %1").arg(FirmwareJob::stepName(step)));
        QCoreApplication::processEvents();
    });
    connect(&job, &FirmwareJob::copyStarting, this, [this](const QString& sendLine, int, qint64 bytes) {
        copyStarted = true;
        emit dumpLine(sendLine);
        widgets.progress->setRange(0, int(bytes));
        widgets.progress->setValue(0);
    });
    connect(&job, &FirmwareJob::copied, this, [this](const FirmwareTransfer::Result& result) {
        widgets.rate->finish();
        const QString failure = result.ok() ? QString() : transferFailureText(result, locale);
        if (!failure.isEmpty())
            stopTexts << failure;
    });
    connect(&job, &FirmwareJob::flashed, this, [this](const FirmwareJob::FlashOutcome& outcome) {
        flashedOk = outcome.ok();
        if (!flashedOk)
            stopTexts << outcome.text;
    });
    job.setProgress([this](qint64 done, qint64 total) {
        widgets.progress->setRange(0, int(total));
        widgets.progress->setValue(int(done));
        widgets.rate->progress(done, total);
    });
    job.setBlockHook([this] {
        QCoreApplication::processEvents();
        // A link the system reported gone takes no more blocks.
        const QSharedPointer<Connector> link = session->link();
        return link && !link->isLinkLost();
    });
    job.setFlashWait([&wait](bool mainFirmware) {
        wait.setText(FirmwareTexts::flashWait(mainFirmware));
        QCoreApplication::processEvents();
        return true;
    });
    job.setReconnect([this](QString* error) { return reconnect(error); }, reconnectBoundMs, reconnectPauseMs);

    const FirmwareJob::UpdateResult result = job.update(path);
    widgets.rate->finish();
    wait.finish();
    if (!result.ok()) {
        const QString note = result.note.isEmpty() ? QString() : result.note + QStringLiteral("; ");
        emit dumpLine(QStringLiteral("[update] stopped at %1: %2%3")
                          .arg(FirmwareJob::stepName(result.step), note, result.boardNow));
    }
    return result;
}

QSharedPointer<Connector> OneStepUpdate::reconnect(QString* error)
{
    // As the technician would: Disconnect (the window lets go as well, so a
    // serial port is free again), then Connect.
    bar->disconnect();
    QCoreApplication::processEvents();
    // The bar has said once why it cannot open the link; every further try
    // would only put up the same box again.
    if (openRefused)
        return QSharedPointer<Connector>();
    const QSharedPointer<Connector> link = bar->borrow(true);
    if (!link) {
        openRefused = true;
        *error = QString();
    }
    return link;
}

QString OneStepUpdate::reportText(const FirmwareJob::UpdateResult& result) const
{
    if (result.ok()) {
        const BoardReadout::Field field = result.mainImage ? BoardReadout::Field::FirmwareVersion
                                                           : BoardReadout::Field::BootloaderVersion;
        return FirmwareTexts::flashDone(result.mainImage)
            + QStringLiteral("%1 %2 → %3").arg(BoardReadout::title(field), orDash(result.oldVersion),
                                               orDash(result.newVersion));
    }
    // The bar has already said why it could not connect.
    if (result.failure == Failure::CannotConnect && result.step == Step::Identity)
        return QString();
    QString problems;
    for (const QString& problem : result.problems + stopTexts) {
        if (!problem.isEmpty())
            problems += endingInLineBreak(problem);
    }
    // Refused before anything was sent: the same warning "Send Firmware" gives.
    if (result.failure == Failure::FileRefused && !result.switched)
        return problems;

    QString text = windowText("Обновление прошивки остановлено на шаге «%1».\n").arg(stepText(result.step)) + problems;
    if (result.failure == Failure::WrongVersion)
        text += windowText("Версия после обновления: %1, до обновления: %2.\n")
                    .arg(orDash(result.newVersion), orDash(result.oldVersion));
    return text + boardNow(result);
}

QString OneStepUpdate::boardNow(const FirmwareJob::UpdateResult& result) const
{
    if (!result.switched && !copyStarted)
        return windowText("Устройство осталось как было.\n");
    QString text;
    if (session->hasLink() && session->board().modeKnown)
        text = windowText("Устройство работает: «%1».").arg(BoardInfo::modeText(session->board().mode));
    else if (result.failure == Failure::WrongReply && result.step == Step::Reconnect)
        text = windowText("Устройство отвечает, но не в том режиме, в который было переведено.");
    else
        text = windowText("Устройство не отвечает.");
    if (!copyStarted && result.switched && !session->hasLink())
        text += windowText(" Перед этим оно было переведено в режим «%1».")
                    .arg(BoardInfo::modeText(result.mainImage ? 1 : 0));
    if (flashedOk)
        text += windowText(" Новая прошивка записана.");
    else if (copyStarted)
        text += windowText(" Новая прошивка не записана.");
    return text + QLatin1Char('\n');
}
