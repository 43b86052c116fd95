#include "firmwarejob.h"

#include "boardinfo.h"
#include "boardsession.h"
#include "firmwarefile.h"
#include "firmwaretexts.h"
#include "inputfile.h"
#include "operationslog.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace {

using Failure = FirmwareJob::UpdateResult::Failure;

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// A copy's outcome in the log's words; a failure the engine may learn later
// is still a failure.
QString copyOutcome(const FirmwareTransfer::Result& result)
{
    switch (result.failure) {
    case FirmwareTransfer::Result::None: return QStringLiteral("ok");
    case FirmwareTransfer::Result::NoConnector: return QStringLiteral("not sent");
    case FirmwareTransfer::Result::Rejected: return QStringLiteral("image refused, nothing sent");
    case FirmwareTransfer::Result::WriteFailed: return QStringLiteral("block %1 not sent").arg(result.failedBlock);
    case FirmwareTransfer::Result::NoAck: return QStringLiteral("block %1 not acknowledged").arg(result.failedBlock);
    case FirmwareTransfer::Result::RepliesShifted:
        return QStringLiteral("replies shifted again at block %1 after a restart").arg(result.failedBlock);
    }
    return QStringLiteral("failed");
}

QString failureWords(Failure failure, bool expectedGiven)
{
    switch (failure) {
    case Failure::None: return QStringLiteral("ok");
    case Failure::FileRefused: return QStringLiteral("file refused");
    case Failure::CannotConnect: return QStringLiteral("cannot connect");
    case Failure::NoReply: return QStringLiteral("no reply");
    case Failure::WrongReply: return QStringLiteral("wrong reply");
    case Failure::TransferFailed: return QStringLiteral("transfer failed");
    case Failure::FlashRefused: return QStringLiteral("flash refused");
    case Failure::WrongVersion: return expectedGiven ? QStringLiteral("not the expected version")
                                                     : QStringLiteral("version unchanged");
    }
    return QString();
}

// A failed one-command step: silent (or not sent) is NoReply, answered is WrongReply.
Failure failureOf(const ExchangeResult& exchange)
{
    return exchange.answered() ? Failure::WrongReply : Failure::NoReply;
}

} // namespace

QString FirmwareJob::stepName(Step step)
{
    switch (step) {
    case Step::ReadFile: return QStringLiteral("read the file");
    case Step::Identity: return QStringLiteral("identity");
    case Step::CheckFile: return QStringLiteral("check the file");
    case Step::EnterBootloader: return QStringLiteral("enter the bootloader");
    case Step::StartMainFirmware: return QStringLiteral("start the main firmware");
    case Step::Reconnect: return QStringLiteral("reconnect");
    case Step::Copy: return QStringLiteral("copy");
    case Step::Flash: return QStringLiteral("flash");
    case Step::ReadVersion: return QStringLiteral("read the version");
    }
    return QString();
}

QString FirmwareJob::UpdateResult::versionLine() const
{
    const BoardReadout::Field field = mainImage ? BoardReadout::Field::FirmwareVersion
                                                : BoardReadout::Field::BootloaderVersion;
    return QStringLiteral("%1 %2 -> %3").arg(BoardReadout::title(field), orDash(oldVersion), orDash(newVersion));
}

FirmwareJob::FirmwareJob(BoardSession* session, QObject* parent)
    : QObject(parent)
    , session(session)
{
}

FirmwareJob::~FirmwareJob() = default;

// ---- The file ----

FirmwareJob::Check FirmwareJob::refuse(Check::Refusal refusal, const QString& text)
{
    file.reset();
    Check check;
    check.refusal = refusal;
    check.text = text;
    return check;
}

FirmwareJob::Check FirmwareJob::open(const QString& filePath)
{
    path = filePath;
    firmwarePlan = FirmwarePlan();
    send.clear();
    file.reset(new QFile);
    // A device or FIFO is never so much as opened (opening a serial device
    // can already reset what hangs on it), and a stream without end can
    // neither hold the job nor fill the memory.
    QString error;
    switch (InputFile::open(*file, path, true, &error)) {
    case InputFile::Opened::Yes:
        break;
    case InputFile::Opened::NotRegular:
        return refuse(Check::NotRegular, FirmwareFile::notRegularProblem(path));
    case InputFile::Opened::Failed: {
        Check check = refuse(Check::Unreadable, QString());
        check.error = error;
        return check;
    }
    }
    // Refused by its size before a byte of it is read.
    openedSize = file->size();
    const QString sizeProblem = FirmwareFile::sizeProblem(openedSize);
    Check check;
    if (!sizeProblem.isEmpty())
        check = refuse(openedSize <= 0 ? Check::Empty : Check::TooLarge, sizeProblem);
    check.opened = true;
    return check;
}

FirmwareJob::Check FirmwareJob::prepare()
{
    if (!file)
        return refuse(Check::ReadFailed, FirmwareTexts::fileReadFailed());
    // The file did open: whatever is refused from here on, it is one the
    // user may pick again from the same folder.
    const auto refuseOpened = [this](Check::Refusal refusal, const QString& text) {
        Check check = refuse(refusal, text);
        check.opened = true;
        return check;
    };
    // Running the bootloader the board takes a main firmware; otherwise (also
    // with an unknown mode) a bootloader. The name must say which, and for
    // which board.
    const BoardState& board = session->board();
    imageIsMain = board.expectsMainFirmware();
    const QString nameProblem = FirmwareFile::nameProblem(path, imageIsMain, board.boardCode());
    if (!nameProblem.isEmpty())
        return refuseOpened(Check::WrongName, nameProblem);

    // One byte more than the size tells a file that grew since; half an
    // image on the board is worse than none, so a short read is refused too.
    const QByteArray image = file->read(openedSize + 1);
    const bool whole = file->error() == QFileDevice::NoError && image.size() == openedSize;
    file.reset();
    if (!whole)
        return refuseOpened(Check::ReadFailed, FirmwareTexts::fileReadFailed());

    const FirmwareMethod method = chooseFirmwareMethod(board, session->hasLink());
    firmwarePlan = planFirmwareTransfer(image, method);
    if (!firmwarePlan.ok())
        return refuseOpened(Check::Unplannable, firmwarePlan.problemText());
    send = firmwareSendLine(method, board.boardCode(), orDash(board.bootloaderVersion), FirmwareFile::fileName(path));
    Check check;
    check.opened = true;
    return check;
}

FirmwareJob::Check FirmwareJob::load(const QString& filePath)
{
    // The window looks at the name before it touches the file.
    const BoardState& board = session->board();
    const QString nameProblem = FirmwareFile::nameProblem(filePath, board.expectsMainFirmware(), board.boardCode());
    if (!nameProblem.isEmpty())
        return refuse(Check::WrongName, nameProblem);
    const Check opened = open(filePath);
    return opened.ok() ? prepare() : opened;
}

// ---- Copy and flash ----

FirmwareTransfer::Result FirmwareJob::copy()
{
    emit copyStarting(send, firmwarePlan.blocks.size(), firmwarePlan.imageSize);
    FirmwareTransfer::Result result;
    {
        // The transfer shares the link; it lets go before anything may
        // close the port and open it again.
        FirmwareTransfer transfer(session->link());
        transfer.setProgress(transferProgress);
        transfer.setBlockHook(blockHook);
        transfer.setAttemptsPerBlock(attemptsPerBlock);
        result = transfer.run(firmwarePlan);
    }
    OperationRecord record;
    record.operation = QLatin1String(firmwarePlan.method == FirmwareMethod::Rle ? BoardOperation::FirmwareTransferRle
                                                                                 : BoardOperation::FirmwareTransferLegacy);
    record.ok = result.ok();
    record.outcome = copyOutcome(result);
    session->log(record);
    emit copied(result);
    return result;
}

FirmwareJob::FlashOutcome FirmwareJob::flash()
{
    FlashOutcome outcome;
    const bool mainFirmware = session->board().expectsMainFirmware();
    outcome.mainFirmware = mainFirmware;
    outcome.result = FirmwareFlash(session->link()).run([this, mainFirmware] {
        return !flashWait || flashWait(mainFirmware);
    });
    OperationRecord record;
    record.operation = QLatin1String(BoardOperation::Flash);
    record.takeFlashOutcome(outcome.result.exchange, outcome.result.ok, outcome.result.code);
    session->log(record);

    // As the window does: the new mode after a flash, the board's own code
    // after a refusal.
    if (!outcome.result.exchange.written()) {
        outcome.text = FirmwareTexts::flashError(mainFirmware);
    } else if (outcome.result.ok) {
        outcome.text = FirmwareTexts::flashDone(mainFirmware);
        if (session->readDeviceStatus())
            outcome.modeAfter = session->board().mode;
    } else {
        outcome.text = FirmwareTexts::flashFailure(mainFirmware, outcome.result);
        if (session->readErrorCode())
            outcome.errorCode = session->readout().errorCode();
    }
    emit flashed(outcome);
    return outcome;
}

// ---- The one-step update ----

void FirmwareJob::setReconnect(const Reconnect& function, int boundMs, int pauseMs)
{
    reconnect = function;
    reconnectBoundMs = boundMs;
    reconnectPauseMs = pauseMs;
}

Failure FirmwareJob::reconnectIn(quint8 mode, int* attempts, QString* answeredIn)
{
    // The board drops the link after a switch; a new one is opened as the
    // user would (for TCP a new connection, for serial the same port, which
    // nothing here may hold meanwhile).
    session->release();
    QElapsedTimer clock;
    clock.start();
    Failure outcome = Failure::CannotConnect;
    int tries = 0;
    while (tries == 0 || clock.elapsed() < reconnectBoundMs) {
        ++tries;
        QThread::msleep(ulong(reconnectPauseMs));
        QString error;
        const QSharedPointer<Connector> link = reconnect ? reconnect(&error) : QSharedPointer<Connector>();
        if (!link) {
            outcome = Failure::CannotConnect;
            continue;
        }
        session->attach(link);
        const bool usable = session->readIdentity(false);
        if (usable && session->board().mode == mode) {
            *attempts = tries;
            return Failure::None;
        }
        outcome = usable ? Failure::WrongReply : Failure::NoReply;
        if (usable)
            *answeredIn = BoardInfo::modeText(session->board().mode);
        session->release();
    }
    *attempts = tries;
    return outcome;
}

FirmwareJob::UpdateResult FirmwareJob::update(const QString& filePath, const std::optional<QString>& expectedVersion)
{
    UpdateResult result;
    BoardState before;
    flashCode.reset();
    runUpdate(result, filePath, expectedVersion, &before);
    // A file refused before the board was contacted changed nothing there.
    if (result.step == Step::ReadFile)
        return result;
    OperationRecord record;
    record.operation = QLatin1String(BoardOperation::Update);
    record.ok = result.ok();
    const QString versions = QStringLiteral("%1 %2 -> %3")
                                 .arg(result.mainImage ? QStringLiteral("firmware") : QStringLiteral("bootloader"),
                                      orDash(result.oldVersion), orDash(result.newVersion));
    record.outcome = result.ok() ? QStringLiteral("ok, ") + versions
                                 : QStringLiteral("stopped at %1 (%2), %3")
                                       .arg(stepName(result.step),
                                            failureWords(result.failure, expectedVersion.has_value()), versions);
    if (result.failure == Failure::FlashRefused && flashCode)
        record.boardError = qint64(*flashCode);
    session->log(record, before);
    return result;
}

void FirmwareJob::runUpdate(UpdateResult& r, const QString& filePath, const std::optional<QString>& expectedVersion,
                            BoardState* before)
{
    const auto begin = [this, &r](Step step) {
        r.step = step;
        emit stepStarted(step);
    };
    const auto stop = [&r](Failure failure, const QString& boardNow) {
        r.failure = failure;
        r.boardNow = boardNow;
    };
    const QString untouched = QStringLiteral("the board was left as it was");

    // Nothing is sent for a file that could not be sent whole. One that does
    // not open, or is no regular file, is refused at once; one of a size no
    // board takes is refused with the name, once the board has said what it is.
    begin(Step::ReadFile);
    const Check opened = open(filePath);
    if (!opened.opened) {
        if (opened.refusal == Check::Unreadable)
            r.note = QStringLiteral("cannot read %1: %2").arg(filePath, opened.error);
        else
            r.problems << opened.text;
        return stop(Failure::FileRefused, QStringLiteral("nothing was sent"));
    }

    begin(Step::Identity);
    if (!session->hasLink()) {
        QString error;
        const QSharedPointer<Connector> link = reconnect ? reconnect(&error) : QSharedPointer<Connector>();
        if (!link) {
            r.problems << error;
            return stop(Failure::CannotConnect, untouched);
        }
        session->attach(link);
    }
    if (!session->readIdentity(false)) {
        r.problems = session->readout().labelLines();
        r.problems << BoardReadout::silentBoardText();
        return stop(session->readout().silent() ? Failure::NoReply : Failure::WrongReply, untouched);
    }
    *before = session->board();

    // The name says which image it is; a name that says both follows the
    // board, as the window's check lets it pass either way.
    const QString name = FirmwareFile::fileName(filePath);
    const bool saysMain = name.contains(QLatin1String("main"), Qt::CaseInsensitive);
    const bool saysBoot = name.contains(QLatin1String("boot"), Qt::CaseInsensitive);
    r.mainImage = saysMain && saysBoot ? before->expectsMainFirmware() : saysMain;
    r.oldVersion = r.mainImage ? before->firmwareVersion : before->bootloaderVersion;
    // A file the board would refuse is turned away before the board is
    // switched for it; the check is made again once the target mode runs.
    QString problem = FirmwareFile::nameProblem(
        filePath, saysMain || saysBoot ? r.mainImage : before->expectsMainFirmware(), before->boardCode());
    if (problem.isEmpty())
        problem = opened.text;
    if (!problem.isEmpty()) {
        begin(Step::CheckFile);
        r.problems << problem;
        return stop(Failure::FileRefused, untouched);
    }

    // A main firmware goes in from the bootloader, a bootloader from the main firmware.
    const quint8 needed = r.mainImage ? 1 : 0;
    const QString target = r.mainImage ? QStringLiteral("its bootloader") : QStringLiteral("its main firmware");
    if (!before->modeKnown || before->mode != needed) {
        // From a mode the board does not name, only the way into the bootloader is known.
        if (!r.mainImage && !before->bootloaderRunning()) {
            begin(Step::StartMainFirmware);
            r.note = QStringLiteral("the board runs \"%1\"; the main firmware is started from the bootloader only")
                         .arg(BoardInfo::modeText(before->mode));
            return stop(Failure::WrongReply, untouched);
        }
        begin(r.mainImage ? Step::EnterBootloader : Step::StartMainFirmware);
        const BoardSession::ActionResult switched = session->switchModeTo(!r.mainImage);
        if (!switched.ok()) {
            r.problems << switched.text;
            return stop(failureOf(switched.exchange), untouched);
        }
        r.switched = true;
        begin(Step::Reconnect);
        int attempts = 0;
        QString answeredIn;
        const Failure back = reconnectIn(needed, &attempts, &answeredIn);
        if (back != Failure::None) {
            r.note = QStringLiteral("the board did not come back in %1 within %2 s (%3 attempts)")
                         .arg(target)
                         .arg(reconnectBoundMs / 1000)
                         .arg(attempts);
            // A board that answers, but in the wrong mode, has answered.
            return stop(back, back == Failure::WrongReply
                                  ? QStringLiteral("the board was sent to %1, but answers running \"%2\"")
                                        .arg(target, answeredIn)
                                  : QStringLiteral("the board was sent to %1 and has not answered since").arg(target));
        }
    }
    const QString leftState = r.mainImage
        ? QStringLiteral("the board stays in its bootloader: run update again, or finish in the window")
        : r.switched ? QStringLiteral("the board runs its main firmware, its bootloader as it was")
                     : untouched;

    begin(Step::CheckFile);
    const Check prepared = prepare();
    if (!prepared.ok()) {
        r.problems << prepared.text;
        return stop(Failure::FileRefused, leftState);
    }

    begin(Step::Copy);
    if (!copy().ok())
        return stop(Failure::TransferFailed, leftState);

    begin(Step::Flash);
    const FlashOutcome flashed = flash();
    if (!flashed.ok()) {
        flashCode = flashed.result.code;
        const bool refused = flashed.result.exchange.written() && flashed.result.exchange.answered();
        return stop(refused ? Failure::FlashRefused : Failure::NoReply, leftState);
    }

    if (r.mainImage) {
        begin(Step::StartMainFirmware);
        const BoardSession::ActionResult started = session->switchModeTo(true);
        if (!started.ok()) {
            r.problems << started.text;
            return stop(failureOf(started.exchange),
                        QStringLiteral("the new main firmware is flashed; the board still runs its bootloader"));
        }
    }
    begin(Step::Reconnect);
    int attempts = 0;
    QString answeredIn;
    const Failure back = reconnectIn(0, &attempts, &answeredIn);
    if (back != Failure::None) {
        r.note = QStringLiteral("the board did not come back in its main firmware within %1 s (%2 attempts)")
                     .arg(reconnectBoundMs / 1000)
                     .arg(attempts);
        return stop(back, back == Failure::WrongReply
                              ? QStringLiteral("the new image is flashed, but the board answers running \"%1\", "
                                               "not its main firmware")
                                    .arg(answeredIn)
                              : QStringLiteral("the new image is flashed, but the board has not answered in its main "
                                               "firmware since"));
    }

    // An image carries no version of its own to compare with, so the board's
    // word after the update is the only proof that it took.
    begin(Step::ReadVersion);
    const BoardState& now = session->board();
    r.newVersion = r.mainImage ? now.firmwareVersion : now.bootloaderVersion;
    const QString running = QStringLiteral("the board runs its main firmware");
    if (expectedVersion && r.newVersion != *expectedVersion) {
        r.note = QStringLiteral("the board reports version %1, not the expected %2")
                     .arg(orDash(r.newVersion), orDash(*expectedVersion));
        return stop(Failure::WrongVersion, running);
    }
    if (!expectedVersion && r.newVersion == r.oldVersion) {
        r.note = QStringLiteral("the version did not change: the board reports %1 as before the update (an image "
                                "of the same version, or one the board did not take)")
                     .arg(orDash(r.newVersion));
        return stop(Failure::WrongVersion, running);
    }
}
