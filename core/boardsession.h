#pragma once

#include "boardreadout.h"
#include "boardstate.h"
#include "commandexchange.h"
#include "configblocks.h"
#include "configcommands.h"
#include "configdiff.h"
#include "configfile.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>
#include <QString>

#include <optional>

class Connector;
struct OperationRecord;

// The operation names of the operations log (README lists them).
namespace BoardOperation {
inline constexpr char ConfigWrite[] = "config-write";
inline constexpr char ConfigWriteDiDo[] = "config-write DI/DO";
inline constexpr char ConfigWriteRs485[] = "config-write RS-485";
inline constexpr char FactoryRestore[] = "factory-restore";
inline constexpr char Reboot[] = "reboot";
inline constexpr char ModeSwitchMain[] = "mode-switch main";
inline constexpr char ModeSwitchBootloader[] = "mode-switch bootloader";
inline constexpr char CalibrationZero[] = "calibration DI zero";
inline constexpr char Calibration24V[] = "calibration DI 24V";
// A copy names its method; before the board is reached the method is not chosen yet.
inline constexpr char FirmwareTransfer[] = "firmware-transfer";
inline constexpr char FirmwareTransferLegacy[] = "firmware-transfer legacy";
inline constexpr char FirmwareTransferRle[] = "firmware-transfer rle";
inline constexpr char Flash[] = "flash";
inline constexpr char Update[] = "update";
} // namespace BoardOperation

// One board behind one link, for the window and the command-line tool alike:
// the link, what the identity readout learnt (and the text each value shows),
// the configuration records last read, and every operation on the board. Each
// operation that changes the board writes its line to the operations log where
// it is carried out, so no front end can leave one out.
//
// Nothing here shows anything: operations return what came of them, with the
// window's text for it where window and command-line tool share the text.
// Everything runs on the caller's thread and blocks it, exchange by exchange,
// as every transport call does.
class BoardSession : public QObject
{
    Q_OBJECT

public:
    using Block = ConfigCommands::Block;

    // A one-command operation: reboot, mode switch, calibration.
    struct ActionResult
    {
        bool available = true;   // false: refused before anything was sent (no link, not offered)
        ExchangeResult exchange;
        QString text;            // the window's text for the outcome
        bool ok() const { return available && exchange.accepted; }
    };

    // The window's connect sequence: what did not come back.
    struct ConnectResult
    {
        bool usable = false;      // false: the board did not answer the identity; the link is given up
        bool boardVersion = true; // true also when not asked
        bool diDoAsked = false;   // the DI/DO blocks were read (main firmware, known type)
        bool diDo = true;         // true also when not read (bootloader, unknown type)
        bool errorCode = false;
        bool rs485 = false;       // the port settings (0x71)
        bool protocols = false;   // and the protocol settings (0x9D) after them
    };

    // The whole configuration: DI/DO, RS-485 ports and protocol settings.
    struct ConfigurationRead
    {
        bool diDo = false;
        bool ports = false;
        bool protocols = false;
        ConfigFile file; // what was read, when ok()
        bool ok() const { return diDo && ports && protocols; }
    };

    struct WriteResult
    {
        enum Failure {
            None,
            Unavailable,     // no link, or not the main firmware: nothing sent
            FileRefused,     // a file for another board type or block layout: nothing sent
            NotTaken,        // a block was refused or went unanswered
            ReadBackFailed,  // every block was acknowledged, but reading them back failed
            ReadBackDiffers, // the board acknowledged, but holds something else
        };
        Failure failure = None;
        QString text;                        // the window's text for the outcome
        QString refusal;                     // FileRefused: why
        QList<Block> written;                // acknowledged, in the order sent
        QList<Block> notTaken;               // refused or unanswered
        QList<Block> notWritten;             // never sent: the write stopped before them
        bool verified = false;               // read back and compared
        QList<ConfigDifference> differences; // ReadBackDiffers: the board's value first, what was sent second
        bool ok() const { return failure == None; }
    };

    struct RestoreResult
    {
        ExchangeResult restore; // 0xA1
        bool readBack = false;  // the DI/DO blocks read afterwards
        QString text;
        bool ok() const { return restore.accepted && readBack; }
    };

    explicit BoardSession(QObject* parent = nullptr);

    // ---- The link ----
    // A new link: everything known about the previous board is forgotten;
    // nothing is sent.
    void attach(const QSharedPointer<Connector>& link);
    // Lets the link go and forgets the board (an acknowledged reboot or mode
    // switch does this itself: the board drops the link).
    void release();
    QSharedPointer<Connector> link() const { return connector; }
    bool hasLink() const { return !connector.isNull(); }

    // ---- The operations log ----
    void setProgramName(const QString& name) { program = name; } // "window", "cli"
    void setLinkDescription(const QString& text) { linkText = text; }
    void setLogging(bool on) { logging = on; }
    // One line for `record`, with the program, the link and `board` (by
    // default the board as it is now, before the operation changes it).
    void log(OperationRecord record);
    void log(OperationRecord record, const BoardState& board);
    // An operation asked for that never reached the board (it did not
    // answer, or could not be reached at all): a line all the same, so a
    // failed attempt can be looked up.
    void logUnreached(const QString& operation, const QString& why);

    // ---- Writes are read back ----
    // On by default: every write is read back and compared with what was
    // sent. Off, a write counts as done on the acknowledgements alone (the log
    // says it was not verified).
    void setVerifyWrites(bool on) { verify = on; }

    // ---- What is known ----
    const BoardState& board() const { return identity.state(); }
    const BoardReadout& readout() const { return identity; }
    const DiDoConfig& diDo() const { return diDoRecord; }
    const Rs485Ports& rs485Ports() const { return portRecords; }
    const Iec101Ports& iec101() const { return protocolRecords; }
    bool diDoRead() const { return diDoValid; }
    bool rs485Read() const { return portsValid; }
    bool iec101Read() const { return protocolsValid; }

    // ---- The readout ----
    // Firmware version and status, the board version where it may be asked,
    // and the error code on request. True when the board answered the first
    // two well (BoardReadout::usable()).
    bool readIdentity(bool withErrorCode);
    // The window's whole connect sequence: the identity, the DI/DO blocks
    // (main firmware of a known type), the error code and the RS-485 settings.
    // An unusable readout stops after the identity; the caller gives the
    // link up (release()).
    ConnectResult connectReadout();
    // The readout's steps on their own, as the window's members of the same names.
    bool readFirmwareVersion();
    bool readDeviceStatus();
    bool readBoardVersion();
    bool readErrorCode();

    // ---- Configuration ----
    // The DI/DO blocks into diDo(); every read is made even after one failed,
    // and a failed one leaves its part of the record as it was. Main
    // firmware only. Text on failure: BoardTexts::diDoReadFailed().
    bool readDiDo();
    // One DI/DO block into diDo(), as the DI/DO read makes it.
    bool readDiDoBlock(Block block);
    // 0x71 (three attempts), then 0x9D: into rs485Ports() and iec101().
    ConfigCommands::Rs485Read readRs485();
    // Every block, each read even after one failed, as a file. Main firmware only.
    ConfigurationRead readConfiguration();

    // The DI/DO save: every block attempted even after one failed. With
    // `only` just those of its blocks (those this board takes).
    WriteResult writeDiDo(const DiDoConfig& config, const std::optional<QList<Block>>& only = std::nullopt);
    // The RS-485 save: the port settings, then (only if taken) the protocol settings.
    WriteResult writeRs485(const Rs485Ports& ports, const Iec101Ports& protocols);
    // A whole configuration, block by block, stopping at the first the board
    // does not take: a restore that goes on past a refusal would leave a mix
    // nobody can tell. With `only` just those of its blocks (those this board takes).
    WriteResult writeConfiguration(const ConfigFile& file, const std::optional<QList<Block>>& only = std::nullopt);
    // 0xA1, then the DI/DO blocks read again.
    RestoreResult restoreFactory();

    // ---- Actions ----
    ActionResult reboot();
    // Towards the main firmware while the bootloader runs, else the bootloader.
    ActionResult switchMode();
    ActionResult switchModeTo(bool mainFirmware);
    bool calibrationAvailable() const { return board().calibrationAvailable(hasLink()); }
    // Not available (see calibrationAvailable()): nothing sent, the window's warning as text.
    ActionResult calibrate(bool scale24V);

signals:
    // The identity, mode or versions changed, or the link came or went.
    void stateChanged();
    // The configuration records changed.
    void recordsChanged();
    // A value of the readout: "Чтение..." as its request goes out, then its text.
    void fieldRead(BoardReadout::Field field, const QString& text);
    // The operations log could not be written; the operation went on.
    void operationsLogFailed(const QString& error);

private:
    bool configAvailable() const { return hasLink() && board().mainFirmwareRunning(); }
    // Writes `blocks` of the records in order; without `goOn` it stops at the
    // first one not taken. Then reads them back when asked to.
    WriteResult write(const QList<Block>& blocks, bool goOn, const DiDoConfig& config, const Rs485Ports& ports,
                      const Iec101Ports& protocols);
    void readBack(WriteResult& result, const DiDoConfig& config, const Rs485Ports& ports,
                  const Iec101Ports& protocols);
    void logWrite(const char* operation, const WriteResult& result);
    void logAction(const char* operation, const ExchangeResult& result);

    QSharedPointer<Connector> connector;
    BoardReadout identity;
    QString program;
    QString linkText;
    bool logging = true;
    bool verify = true;

    DiDoConfig diDoRecord;
    Rs485Ports portRecords {};
    Iec101Ports protocolRecords {};
    bool diDoValid = false;
    bool portsValid = false;
    bool protocolsValid = false;
};
