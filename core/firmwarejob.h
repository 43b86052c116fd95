#pragma once

#include "firmwareflash.h"
#include "firmwareplan.h"
#include "firmwaretransfer.h"

#include <QObject>
#include <QSharedPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class BoardSession;
class Connector;
struct BoardState;
class QFile;

// A firmware image on its way to the board of a session: the file checked
// before anything is sent, the copy in acknowledged blocks, the flash, and
// the one-step update that switches the board to the mode that takes the
// image, copies, flashes, starts the main firmware and reads the new version.
// The copy and the flash are logged where they are carried out, the update as
// a whole too. Like the session, it shows nothing: the front end follows it
// through its signals and hooks and shows what comes of it.
class FirmwareJob : public QObject
{
    Q_OBJECT

public:
    // The steps of the update, in their order; Reconnect and the mode switches
    // come twice at most, the file check twice when the board must first be
    // switched to learn what it takes.
    enum class Step { ReadFile, Identity, CheckFile, EnterBootloader, StartMainFirmware, Reconnect, Copy, Flash, ReadVersion };
    // "read the file", "identity", "check the file", ...
    static QString stepName(Step step);

    // A file checked against the board, or the reason it is refused.
    struct Check
    {
        enum Refusal {
            None,
            Unreadable,  // cannot be opened: `error` says why (the window then says nothing)
            NotRegular,  // a device, FIFO or socket: never opened
            WrongName,   // the name says another kind of image or another board
            Empty,
            TooLarge,    // larger than any board takes: refused by its size, never read
            ReadFailed,  // the file gave fewer (or more) bytes than its size
            Unplannable, // the image cannot be cut into blocks (too many, or not encodable)
        };
        Refusal refusal = None;
        QString text;        // the warning to show; empty for Unreadable
        QString error;       // Unreadable: the system's reason
        bool opened = false; // the file opened (the window remembers its folder then)
        bool ok() const { return refusal == None; }
    };

    struct FlashOutcome
    {
        bool mainFirmware = false;
        FirmwareFlash::Result result;
        QString text;                    // flashDone, flashFailure or flashError of FirmwareTexts
        std::optional<quint8> modeAfter; // success: the mode the status read after it found
        std::optional<qint32> errorCode; // refusal: the code read after it
        bool ok() const { return result.ok; }
    };

    struct UpdateResult
    {
        enum Failure {
            None,
            FileRefused,    // nothing of the image was sent
            CannotConnect,  // the link could not be opened
            NoReply,        // the board stayed silent, or a request could not be sent
            WrongReply,     // the board answered wrongly, refused, or runs the wrong mode
            TransferFailed, // the copy failed (the copied() signal told how)
            FlashRefused,   // the board refused the flash (the flashed() signal told how)
            WrongVersion,   // the board reports its old version, or not the one expected
        };
        Failure failure = None;
        Step step = Step::ReadFile;   // where it stopped: the last step begun
        QStringList problems;         // the window's texts of the stop (readout lines, refusals)
        QString note;                 // the job's own account of the stop
        QString boardNow;             // what the board runs now, when it stopped
        bool mainImage = true;        // a main firmware (else a bootloader)
        bool switched = false;        // the board was switched to take the image
        QString oldVersion;           // of the kind of image sent, as read before
        QString newVersion;           // as read after; empty when not read
        bool ok() const { return failure == None; }
        // The board is no longer as it was: switched, or a copy begun (the
        // start of the main firmware comes after the flash, or not at all).
        bool changedBoard() const
        {
            return switched || step == Step::Copy || step == Step::Flash || step == Step::StartMainFirmware
                || step == Step::ReadVersion;
        }
        // "Версия прошивки: 1.2.0 -> 2.4.1" (or the bootloader's), "-" for a version not read.
        QString versionLine() const;
    };

    // Opens a new link to the same board (as the user would press Connect
    // again); null with `error` set when it cannot.
    using Reconnect = std::function<QSharedPointer<Connector>(QString* error)>;
    // Runs between the flash request and its 60 s wait (the window shows its
    // wait dialog there); returning false abandons the wait.
    using FlashWait = std::function<bool(bool mainFirmware)>;

    explicit FirmwareJob(BoardSession* session, QObject* parent = nullptr);
    ~FirmwareJob() override;

    // ---- The file ----
    // Needs no board: a readable regular file no larger than any board takes.
    // Nothing is read yet.
    Check open(const QString& path);
    // Against the session's board: the name must say the kind of image the
    // board takes now and its board code; then the image is read whole and
    // cut into blocks by the method this board takes.
    Check prepare();
    // The name, then open() and prepare(): the order the window checks in.
    Check load(const QString& path);

    bool mainFirmware() const { return imageIsMain; }
    const FirmwarePlan& plan() const { return firmwarePlan; }
    // The dump line "[firmware] send method=... board=... bootloader=... file=...".
    QString sendLine() const { return send; }

    // ---- Copy and flash ----
    void setProgress(const FirmwareTransfer::Progress& progress) { transferProgress = progress; }
    void setBlockHook(const FirmwareTransfer::BlockHook& hook) { blockHook = hook; }
    // Tries per block for the copies this job makes (FirmwareTransfer's default unless set).
    void setAttemptsPerBlock(int attempts) { attemptsPerBlock = attempts; }
    void setFlashWait(const FlashWait& hook) { flashWait = hook; }
    // The prepared plan to the board of the session.
    FirmwareTransfer::Result copy();
    // The flash of what the board holds, then the status (success) or the
    // error code (refusal) read again, as the window's labels show them.
    FlashOutcome flash();

    // ---- The one-step update ----
    // How the update reaches the board after each switch (and first, when the
    // session has no link); a board gets `boundMs` to come back.
    void setReconnect(const Reconnect& reconnect, int boundMs = 15000, int pauseMs = 300);
    // The file is checked as open() and the name as prepare() do before
    // anything is sent. A flash acknowledged by a board that then reports its
    // old version fails (WrongVersion), unless `expectedVersion` names that
    // version; any other version than an expected one fails too.
    UpdateResult update(const QString& path, const std::optional<QString>& expectedVersion = std::nullopt);

signals:
    void stepStarted(FirmwareJob::Step step);
    // The copy begins: the dump line, the blocks to send, the image bytes.
    void copyStarting(const QString& sendLine, int blocks, qint64 bytes);
    void copied(const FirmwareTransfer::Result& result);
    void flashed(const FirmwareJob::FlashOutcome& outcome);

private:
    Check refuse(Check::Refusal refusal, const QString& text);
    // Drops the link and opens it again until the board answers the readout
    // in `mode` or the bound passes; `answeredIn` names the mode a board that
    // answered otherwise runs.
    UpdateResult::Failure reconnectIn(quint8 mode, int* attempts, QString* answeredIn);
    void runUpdate(UpdateResult& result, const QString& path, const std::optional<QString>& expectedVersion,
                   BoardState* before);

    BoardSession* session;
    std::unique_ptr<QFile> file;
    QString path;
    qint64 openedSize = 0;
    bool imageIsMain = false;
    FirmwarePlan firmwarePlan;
    QString send;
    FirmwareTransfer::Progress transferProgress;
    FirmwareTransfer::BlockHook blockHook;
    int attemptsPerBlock = FirmwareTransfer::AttemptsPerBlock;
    FlashWait flashWait;
    Reconnect reconnect;
    int reconnectBoundMs = 15000;
    int reconnectPauseMs = 300;
    std::optional<quint32> flashCode; // of the update's refused flash, for its log line
};
