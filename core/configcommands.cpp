#include "configcommands.h"

#include "commandset.h"

#include <algorithm>
#include <iterator>

ConfigCommands::ConfigCommands(Connector* connector, const BoardState& board)
    : link(connector)
    , board(board)
{
}

bool ConfigCommands::sendForAck(quint8 code, const QByteArray& data) const
{
    return CommandExchange(link).sendExpectingAck(code, data).accepted;
}

bool ConfigCommands::readDiConfig(DiDoConfig& config) const
{
    if (!link)
        return false;
    const ExchangeResult r = CommandExchange(link).send(Command::ReadDiTable, QByteArray(), [](const QByteArray& reply) {
        DiDoConfig scratch;
        return ConfigBlocks::takeDiTable(scratch, reply);
    });
    return r.accepted && ConfigBlocks::takeDiTable(config, r.reply);
}

bool ConfigCommands::readDiDebounce(DiDoConfig& config) const
{
    if (!link)
        return false;
    if (!board.diDebounceSupported()) {
        std::fill(std::begin(config.diDebounceMs), std::end(config.diDebounceMs), 0);
        return true;
    }
    const int count = board.diChannelCount();
    const ExchangeResult r = CommandExchange(link).send(Command::ReadDiDebounce, QByteArray(),
                                                        CommandExchange::exactly(Command::ReadDiDebounce, 4 * count + 1));
    return r.accepted && ConfigBlocks::takeDiDebounce(config, r.reply, count);
}

bool ConfigCommands::readDiExtended(DiDoConfig& config) const
{
    if (!link)
        return false;
    if (!board.diExtendedSupported()) {
        ConfigBlocks::setDiModeDefaults(config, 0);
        return true;
    }
    const int count = board.diChannelCount();
    const ExchangeResult r = CommandExchange(link).send(Command::ReadDiModes, QByteArray(), [count](const QByteArray& reply) {
        DiDoConfig scratch;
        return ConfigBlocks::takeDiModes(scratch, reply, count);
    });
    return r.accepted && ConfigBlocks::takeDiModes(config, r.reply, count);
}

bool ConfigCommands::readDoConfig(DiDoConfig& config) const
{
    if (!link)
        return false;
    const ExchangeResult r = CommandExchange(link).send(Command::ReadDoTable, QByteArray(), [](const QByteArray& reply) {
        DiDoConfig scratch;
        return ConfigBlocks::takeDoTable(scratch, reply);
    });
    return r.accepted && ConfigBlocks::takeDoTable(config, r.reply);
}

bool ConfigCommands::writeDiTable(const DiDoConfig& config) const
{
    if (!link)
        return false;
    if (!board.hasDiTable())
        return true;
    return sendForAck(Command::WriteDiTable, ConfigBlocks::diTableData(config, board.diChannelCount()));
}

bool ConfigCommands::writeDiDebounce(const DiDoConfig& config) const
{
    if (!link)
        return false;
    if (!board.diDebounceSupported())
        return true;
    return sendForAck(Command::WriteDiDebounce, ConfigBlocks::diDebounceData(config, board.diChannelCount()));
}

bool ConfigCommands::writeDiExtended(const DiDoConfig& config) const
{
    if (!link)
        return false;
    if (!board.diExtendedSupported())
        return true;
    return sendForAck(Command::WriteDiModes, ConfigBlocks::diModesData(config, board.diChannelCount()));
}

bool ConfigCommands::writeDoConfig(const DiDoConfig& config) const
{
    if (!link)
        return false;
    const bool full = board.doDpSupported();
    return sendForAck(full ? Command::WriteDoTableFull : Command::WriteDoTableShort,
                      ConfigBlocks::doTableData(config, full));
}

bool ConfigCommands::readDiDoConfig(DiDoConfig& config) const
{
    if (!link)
        return false;
    bool ok = true;
    if (board.hasDiTable()) {
        ok = readDiConfig(config) && ok;
        ok = readDiDebounce(config) && ok;
        ok = readDiExtended(config) && ok;
    }
    if (board.hasDoTable())
        ok = readDoConfig(config) && ok;
    return ok;
}

bool ConfigCommands::writeDiDoConfig(const DiDoConfig& config) const
{
    if (!link)
        return false;
    bool ok = true;
    if (board.hasDiTable()) {
        ok = writeDiTable(config) && ok;
        ok = writeDiDebounce(config) && ok;
        ok = writeDiExtended(config) && ok;
    }
    if (board.hasDoTable())
        ok = writeDoConfig(config) && ok;
    return ok;
}

QList<ConfigCommands::Block> ConfigCommands::blocksToWrite() const
{
    // The gates are those of the members above.
    QList<Block> blocks;
    if (board.hasDiTable()) {
        blocks << Block::DiTable;
        if (board.diDebounceSupported())
            blocks << Block::DiDebounce;
        if (board.diExtendedSupported())
            blocks << Block::DiModes;
    }
    if (board.hasDoTable())
        blocks << Block::DoTable;
    blocks << Block::Rs485Ports << Block::Iec101;
    return blocks;
}

QString ConfigCommands::blockName(Block block) const
{
    const auto named = [](const char* name, quint8 code) {
        return QStringLiteral("%1 (0x%2)").arg(QLatin1String(name), QString::number(code, 16).toUpper());
    };
    switch (block) {
    case Block::DiTable: return named("DI table", Command::WriteDiTable);
    case Block::DiDebounce: return named("DI debounce", Command::WriteDiDebounce);
    case Block::DiModes: return named("DI input modes", Command::WriteDiModes);
    case Block::DoTable:
        return board.doDpSupported() ? named("DO table", Command::WriteDoTableFull)
                                     : named("DO table", Command::WriteDoTableShort);
    case Block::Rs485Ports: return named("RS-485 ports", Command::WriteRs485Ports);
    case Block::Iec101: return named("IEC101 settings", Command::WriteIec101);
    }
    return QString();
}

quint8 ConfigCommands::blockCode(Block block) const
{
    switch (block) {
    case Block::DiTable: return Command::WriteDiTable;
    case Block::DiDebounce: return Command::WriteDiDebounce;
    case Block::DiModes: return Command::WriteDiModes;
    case Block::DoTable: return board.doDpSupported() ? Command::WriteDoTableFull : Command::WriteDoTableShort;
    case Block::Rs485Ports: return Command::WriteRs485Ports;
    case Block::Iec101: return Command::WriteIec101;
    }
    return 0;
}

QByteArray ConfigCommands::blockData(Block block, const DiDoConfig& config, const Rs485Ports& ports,
                                     const Iec101Ports& protocols) const
{
    switch (block) {
    case Block::DiTable: return ConfigBlocks::diTableData(config, board.diChannelCount());
    case Block::DiDebounce: return ConfigBlocks::diDebounceData(config, board.diChannelCount());
    case Block::DiModes: return ConfigBlocks::diModesData(config, board.diChannelCount());
    case Block::DoTable: return ConfigBlocks::doTableData(config, board.doDpSupported());
    case Block::Rs485Ports: return ConfigBlocks::rs485PortsData(ports);
    case Block::Iec101: return ConfigBlocks::iec101Data(protocols);
    }
    return QByteArray();
}

bool ConfigCommands::writeBlock(Block block, const DiDoConfig& config, const Rs485Ports& ports,
                                const Iec101Ports& protocols) const
{
    if (!link)
        return false;
    // Only the blocks of blocksToWrite() reach here: the gates are passed.
    return sendForAck(blockCode(block), blockData(block, config, ports, protocols));
}

ExchangeResult ConfigCommands::restoreFactory() const
{
    return CommandExchange(link).sendExpectingAck(Command::RestoreFactory);
}

bool ConfigCommands::readPorts(Rs485Ports& ports) const
{
    const ExchangeResult reply = CommandExchange(link).send(
        Command::ReadRs485Ports, QByteArray(),
        CommandExchange::atLeast(Command::ReadRs485Ports, ConfigBlocks::Rs485PortsBytes + 1));
    return reply.accepted && ConfigBlocks::takeRs485Ports(ports, reply.reply);
}

bool ConfigCommands::readProtocols(Iec101Ports& protocols) const
{
    const ExchangeResult reply = CommandExchange(link).send(
        Command::ReadIec101, QByteArray(), CommandExchange::atLeast(Command::ReadIec101, ConfigBlocks::Iec101Bytes + 1));
    return reply.accepted && ConfigBlocks::takeIec101(protocols, reply.reply);
}

ConfigCommands::Rs485Read ConfigCommands::readRs485Params(Rs485Ports& ports, Iec101Ports& protocols) const
{
    Rs485Read result;
    if (!link)
        return result;
    result.ports = readPorts(ports);
    result.protocols = result.ports && readProtocols(protocols);
    return result;
}

bool ConfigCommands::readBlock(Block block, DiDoConfig& config, Rs485Ports& ports, Iec101Ports& protocols) const
{
    if (!link)
        return false;
    switch (block) {
    case Block::DiTable: return readDiConfig(config);
    case Block::DiDebounce: return readDiDebounce(config);
    case Block::DiModes: return readDiExtended(config);
    case Block::DoTable: return readDoConfig(config);
    case Block::Rs485Ports: return readPorts(ports);
    case Block::Iec101: return readProtocols(protocols);
    }
    return false;
}

bool ConfigCommands::writeRs485Params(const Rs485Ports& ports, const Iec101Ports& protocols) const
{
    if (!link)
        return false;
    if (!sendForAck(Command::WriteRs485Ports, ConfigBlocks::rs485PortsData(ports)))
        return false;
    return sendForAck(Command::WriteIec101, ConfigBlocks::iec101Data(protocols));
}
