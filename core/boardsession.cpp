#include "boardsession.h"

#include "boardtexts.h"
#include "commandset.h"
#include "connector.h"
#include "devicecommands.h"
#include "operationslog.h"

#include <QStringList>

#include <algorithm>

namespace {

using Block = BoardSession::Block;

bool hasDiDo(const QList<Block>& blocks)
{
    return std::any_of(blocks.begin(), blocks.end(), ConfigCommands::isDiDoBlock);
}

bool hasRs485(const QList<Block>& blocks)
{
    return std::any_of(blocks.begin(), blocks.end(), [](Block b) { return !ConfigCommands::isDiDoBlock(b); });
}

// The window's text for each part (DI/DO, RS-485) that `blocks` touch.
QString partTexts(const QList<Block>& blocks, QString (*diDo)(), QString (*rs485)())
{
    return (hasDiDo(blocks) ? diDo() : QString()) + (hasRs485(blocks) ? rs485() : QString());
}

// The reads store any non-zero input-mode byte as 1, so that is all a board
// can give back of such a byte, whatever it stores: a sent 2 comes back as 1.
void asReadBack(DiDoConfig& config)
{
    for (int i = 0; i < 32; ++i) {
        for (quint8* mode : { &config.diDpPair[i], &config.diDpRole[i], &config.diInputType[i], &config.diNominal[i] })
            *mode = *mode ? 1 : 0;
    }
}

BoardSession::WriteResult unavailable()
{
    BoardSession::WriteResult result;
    result.failure = BoardSession::WriteResult::Unavailable;
    return result;
}

} // namespace

BoardSession::BoardSession(QObject* parent)
    : QObject(parent)
{
    // The records start as the window's do, with the factory values.
    ConfigBlocks::resetDiDoRecord(diDoRecord);
    identity.setFieldHook([this](BoardReadout::Field field, const QString& text) { emit fieldRead(field, text); });
}

// ---- The link ----

void BoardSession::attach(const QSharedPointer<Connector>& link)
{
    connector = link;
    identity.setLink(connector.data());
    identity.forgetBoard();
    diDoValid = portsValid = protocolsValid = false;
    emit stateChanged();
}

void BoardSession::release()
{
    connector.reset();
    identity.setLink(nullptr);
    identity.forgetBoard();
    emit stateChanged();
}

// ---- The operations log ----

void BoardSession::log(OperationRecord record)
{
    log(record, board());
}

void BoardSession::log(OperationRecord record, const BoardState& before)
{
    if (!logging)
        return;
    record.program = program;
    record.link = linkText;
    record.board = before;
    QString error;
    // A log that cannot be written never holds the operation up.
    if (!OperationsLog().append(record, &error))
        emit operationsLogFailed(error);
}

void BoardSession::logUnreached(const QString& operation, const QString& why)
{
    OperationRecord record;
    record.operation = operation;
    record.outcome = why;
    log(record);
}

void BoardSession::logAction(const char* operation, const ExchangeResult& result)
{
    OperationRecord record;
    record.operation = QLatin1String(operation);
    record.takeOutcome(result);
    log(record);
}

void BoardSession::logWrite(const char* operation, const WriteResult& result)
{
    if (result.failure == WriteResult::Unavailable)
        return;
    const ConfigCommands commands(connector.data(), board());
    QStringList names;
    for (Block block : result.notTaken)
        names << commands.blockName(block);
    QStringList fields;
    for (const ConfigDifference& difference : result.differences)
        fields << difference.path();

    OperationRecord record;
    record.operation = QLatin1String(operation);
    record.ok = result.ok();
    switch (result.failure) {
    case WriteResult::None:
        record.outcome = result.verified ? QStringLiteral("ok") : QStringLiteral("ok, not verified");
        break;
    case WriteResult::FileRefused: record.outcome = QStringLiteral("file refused, nothing sent"); break;
    case WriteResult::NotTaken: record.outcome = QStringLiteral("not taken: ") + names.join(QStringLiteral(", ")); break;
    case WriteResult::ReadBackFailed: record.outcome = QStringLiteral("written, read-back failed"); break;
    case WriteResult::ReadBackDiffers:
        record.outcome = QStringLiteral("read back differs: ") + fields.join(QStringLiteral(", "));
        break;
    case WriteResult::Unavailable: break;
    }
    log(record);
}

// ---- The readout ----

bool BoardSession::readIdentity(bool withErrorCode)
{
    const bool usable = identity.run(withErrorCode);
    emit stateChanged();
    return usable;
}

BoardSession::ConnectResult BoardSession::connectReadout()
{
    ConnectResult result;
    identity.begin();
    // Both are always asked, in this order.
    identity.readFirmwareVersion();
    identity.readDeviceStatus();
    result.usable = identity.usable();
    emit stateChanged();
    if (!result.usable)
        return result;

    // Older firmware and bootloaders do not know the board version command;
    // the board type then stays unknown.
    if (board().boardVersionQueryAllowed())
        result.boardVersion = identity.readBoardVersion();
    else
        identity.skipBoardVersion();
    emit stateChanged();

    // The configuration only where the main firmware runs and the blocks'
    // layout is known.
    result.diDoAsked = board().mainFirmwareRunning() && board().boardTypeKnown;
    if (result.diDoAsked)
        result.diDo = readDiDo();
    result.errorCode = identity.readErrorCode();
    const ConfigCommands::Rs485Read rs485 = readRs485();
    result.rs485 = rs485.ports;
    result.protocols = rs485.protocols;
    return result;
}

bool BoardSession::readFirmwareVersion()
{
    const bool answered = identity.readFirmwareVersion();
    emit stateChanged();
    return answered;
}

bool BoardSession::readBoardVersion()
{
    const bool answered = identity.readBoardVersion();
    emit stateChanged();
    return answered;
}

bool BoardSession::readDeviceStatus()
{
    const bool known = identity.readDeviceStatus();
    emit stateChanged();
    return known;
}

bool BoardSession::readErrorCode()
{
    return identity.readErrorCode();
}

// ---- Configuration reads ----

bool BoardSession::readDiDo()
{
    if (!configAvailable())
        return false;
    diDoValid = ConfigCommands(connector.data(), board()).readDiDoConfig(diDoRecord);
    emit recordsChanged();
    return diDoValid;
}

bool BoardSession::readDiDoBlock(Block block)
{
    if (!configAvailable() || !ConfigCommands::isDiDoBlock(block))
        return false;
    const bool read = ConfigCommands(connector.data(), board()).readBlock(block, diDoRecord, portRecords, protocolRecords);
    emit recordsChanged();
    return read;
}

ConfigCommands::Rs485Read BoardSession::readRs485()
{
    if (!hasLink())
        return ConfigCommands::Rs485Read();
    const ConfigCommands::Rs485Read read =
        ConfigCommands(connector.data(), board()).readRs485Params(portRecords, protocolRecords);
    portsValid = portsValid || read.ports;
    protocolsValid = protocolsValid || read.protocols;
    emit recordsChanged();
    return read;
}

BoardSession::ConfigurationRead BoardSession::readConfiguration()
{
    ConfigurationRead result;
    if (!configAvailable())
        return result;
    // Fresh records, starting as the window's do, so nothing of an earlier
    // read can pass for this one's.
    DiDoConfig dido;
    ConfigBlocks::resetDiDoRecord(dido);
    Rs485Ports ports {};
    Iec101Ports protocols {};
    const ConfigCommands commands(connector.data(), board());
    result.diDo = commands.readDiDoConfig(dido);
    const ConfigCommands::Rs485Read rs485 = commands.readRs485Params(ports, protocols);
    result.ports = rs485.ports;
    // Without the protocol records a file would hold zeros where the board has settings.
    result.protocols = rs485.protocols;
    if (!result.ok())
        return result;
    result.file = ConfigFile::fromBoard(board(), dido, ports, protocols);
    diDoRecord = dido;
    portRecords = ports;
    protocolRecords = protocols;
    diDoValid = portsValid = protocolsValid = true;
    emit recordsChanged();
    return result;
}

// ---- Configuration writes ----

BoardSession::WriteResult BoardSession::write(const QList<Block>& blocks, bool goOn, const DiDoConfig& config,
                                              const Rs485Ports& ports, const Iec101Ports& protocols)
{
    WriteResult result;
    const ConfigCommands commands(connector.data(), board());
    const CommandExchange exchange(connector.data());
    const qint64 extraBefore = exchange.extraReplies();
    for (Block block : blocks) {
        if (!goOn && !result.notTaken.isEmpty())
            result.notWritten << block;
        else if (commands.writeBlock(block, config, ports, protocols))
            result.written << block;
        else
            result.notTaken << block;
    }
    if (!result.notTaken.isEmpty()) {
        result.failure = WriteResult::NotTaken;
        result.text = partTexts(result.notTaken, BoardTexts::diDoWriteFailed, BoardTexts::rs485WriteFailed);
        return result;
    }
    // A reply beyond one per request means an acknowledgement may have been
    // another block's: only reading the board settles what it holds, so it is
    // read back even when the caller waived that. The shifted reply still on
    // its way is drained first, or a read would take it for its answer.
    const bool repliesShifted = exchange.extraRepliesSince(extraBefore);
    if (repliesShifted)
        exchange.quietWindow();
    if (verify || repliesShifted) {
        readBack(result, config, ports, protocols);
        if (!result.ok())
            return result;
    } else {
        // Nothing but the acknowledgements says what the board holds.
        if (hasDiDo(result.written))
            diDoRecord = config;
        if (hasRs485(result.written)) {
            portRecords = ports;
            protocolRecords = protocols;
        }
        emit recordsChanged();
    }
    result.text = partTexts(result.written, BoardTexts::diDoWritten, BoardTexts::rs485Written);
    return result;
}

void BoardSession::readBack(WriteResult& result, const DiDoConfig& config, const Rs485Ports& ports,
                            const Iec101Ports& protocols)
{
    // Every written block is read, each even after one failed; what was not
    // written stays as sent on both sides of the comparison (as a read would
    // give it back, like the side sent).
    DiDoConfig dido = config;
    asReadBack(dido);
    Rs485Ports readPorts = ports;
    Iec101Ports readProtocols = protocols;
    const ConfigCommands commands(connector.data(), board());
    bool read = true;
    for (Block block : result.written)
        read = commands.readBlock(block, dido, readPorts, readProtocols) && read;
    if (!read) {
        result.failure = WriteResult::ReadBackFailed;
        result.text = partTexts(result.written, BoardTexts::diDoReadFailed, BoardTexts::rs485ReadFailed);
        return;
    }
    result.verified = true;
    if (hasDiDo(result.written)) {
        diDoRecord = dido;
        diDoValid = true;
    }
    if (result.written.contains(Block::Rs485Ports)) {
        portRecords = readPorts;
        portsValid = true;
    }
    if (result.written.contains(Block::Iec101)) {
        protocolRecords = readProtocols;
        protocolsValid = true;
    }
    emit recordsChanged();

    // Compared as a saved file would hold both, so a field differs exactly
    // where the board would send another byte than it was sent.
    DiDoConfig sent = config;
    asReadBack(sent);
    result.differences = ConfigDiff::between(ConfigFile::fromBoard(board(), dido, readPorts, readProtocols),
                                             ConfigFile::fromBoard(board(), sent, ports, protocols));
    if (result.differences.isEmpty())
        return;
    QStringList lines;
    for (const ConfigDifference& difference : result.differences)
        lines << difference.line();
    result.failure = WriteResult::ReadBackDiffers;
    result.text = BoardTexts::readBackDiffers(lines);
}

BoardSession::WriteResult BoardSession::writeDiDo(const DiDoConfig& config, const std::optional<QList<Block>>& only)
{
    if (!configAvailable())
        return unavailable();
    QList<Block> blocks;
    for (Block block : ConfigCommands(connector.data(), board()).blocksToWrite()) {
        if (ConfigCommands::isDiDoBlock(block) && (!only || only->contains(block)))
            blocks << block;
    }
    const WriteResult result = write(blocks, true, config, portRecords, protocolRecords);
    logWrite(BoardOperation::ConfigWriteDiDo, result);
    return result;
}

BoardSession::WriteResult BoardSession::writeRs485(const Rs485Ports& ports, const Iec101Ports& protocols)
{
    if (!hasLink())
        return unavailable();
    const WriteResult result = write({ Block::Rs485Ports, Block::Iec101 }, false, diDoRecord, ports, protocols);
    logWrite(BoardOperation::ConfigWriteRs485, result);
    return result;
}

BoardSession::WriteResult BoardSession::writeConfiguration(const ConfigFile& file, const std::optional<QList<Block>>& only)
{
    if (!configAvailable())
        return unavailable();
    WriteResult result;
    result.refusal = file.mismatch(board());
    if (!result.refusal.isEmpty()) {
        result.failure = WriteResult::FileRefused;
        logWrite(BoardOperation::ConfigWrite, result);
        return result;
    }
    QList<Block> blocks;
    for (Block block : ConfigCommands(connector.data(), board()).blocksToWrite()) {
        if (!only || only->contains(block))
            blocks << block;
    }
    result = write(blocks, false, file.dido, file.ports, file.protocols);
    logWrite(BoardOperation::ConfigWrite, result);
    return result;
}

BoardSession::RestoreResult BoardSession::restoreFactory()
{
    RestoreResult result;
    if (!configAvailable())
        return result;
    result.restore = ConfigCommands(connector.data(), board()).restoreFactory();
    logAction(BoardOperation::FactoryRestore, result.restore);
    if (!result.restore.written())
        result.text = BoardTexts::restoreNotSent();
    else if (!result.restore.accepted)
        result.text = BoardTexts::restoreRefused();
    else
        result.text = (result.readBack = readDiDo()) ? BoardTexts::restoreDone() : BoardTexts::restoreReadFailed();
    return result;
}

// ---- Actions ----

BoardSession::ActionResult BoardSession::reboot()
{
    ActionResult result;
    result.available = hasLink();
    if (!result.available)
        return result;
    // Silence counts as done: a board may reboot before it can answer.
    result.exchange = DeviceCommands(connector.data()).reboot();
    logAction(BoardOperation::Reboot, result.exchange);
    result.text = !result.exchange.written() ? BoardTexts::rebootNotSent()
        : !result.exchange.accepted         ? BoardTexts::rebootRefused()
                                            : BoardTexts::rebootDone();
    if (result.exchange.accepted)
        release();
    return result;
}

BoardSession::ActionResult BoardSession::switchMode()
{
    return switchModeTo(DeviceCommands::modeSwitchCode(board()) == Command::StartMainFirmware);
}

BoardSession::ActionResult BoardSession::switchModeTo(bool mainFirmware)
{
    ActionResult result;
    result.available = hasLink();
    if (!result.available)
        return result;
    // Unlike the reboot, the switch needs the acknowledgement: without it the
    // board may well still run what it ran.
    result.exchange = DeviceCommands(connector.data()).switchModeTo(mainFirmware);
    logAction(mainFirmware ? BoardOperation::ModeSwitchMain : BoardOperation::ModeSwitchBootloader, result.exchange);
    result.text = !result.exchange.written() ? BoardTexts::modeNotSent(mainFirmware)
        : !result.exchange.accepted         ? BoardTexts::modeRefused(mainFirmware)
                                            : BoardTexts::modeDone(mainFirmware);
    if (result.exchange.accepted)
        release();
    return result;
}

BoardSession::ActionResult BoardSession::calibrate(bool scale24V)
{
    ActionResult result;
    result.available = calibrationAvailable();
    if (!result.available) {
        result.text = BoardTexts::calibrationUnavailable(scale24V);
        return result;
    }
    const DeviceCommands commands(connector.data());
    result.exchange = scale24V ? commands.calibrateDiScale24V() : commands.calibrateDiZero();
    logAction(scale24V ? BoardOperation::Calibration24V : BoardOperation::CalibrationZero, result.exchange);
    result.text = !result.exchange.written() ? BoardTexts::calibrationNotSent(scale24V)
        : result.exchange.accepted          ? BoardTexts::calibrationDone(scale24V)
                                            : BoardTexts::calibrationFailed(scale24V);
    return result;
}
