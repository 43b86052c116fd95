#include "devicecommands.h"

#include "commandset.h"

namespace {

template <typename T, typename Parser>
Reading<T> readWith(Connector* link, quint8 code, Parser parse)
{
    Reading<T> reading;
    reading.exchange = CommandExchange(link).send(code, QByteArray(), [parse](const QByteArray& reply) {
        return parse(reply).has_value();
    });
    if (reading.exchange.accepted)
        reading.value = parse(reading.exchange.reply);
    return reading;
}

} // namespace

DeviceCommands::DeviceCommands(Connector* connector)
    : link(connector)
{
}

Reading<QString> DeviceCommands::readFirmwareVersion() const
{
    return readWith<QString>(link, Command::ReadFirmwareVersion, parseFirmwareVersionReply);
}

Reading<DeviceStatus> DeviceCommands::readDeviceStatus() const
{
    return readWith<DeviceStatus>(link, Command::ReadDeviceStatus, parseDeviceStatusReply);
}

Reading<quint16> DeviceCommands::readBoardVersion() const
{
    return readWith<quint16>(link, Command::ReadBoardVersion, parseBoardVersionReply);
}

Reading<qint32> DeviceCommands::readErrorCode() const
{
    return readWith<qint32>(link, Command::ReadErrorCode, parseErrorCodeReply);
}

quint8 DeviceCommands::modeSwitchCode(const BoardState& board)
{
    return board.bootloaderRunning() ? Command::StartMainFirmware : Command::EnterBootloader;
}

ExchangeResult DeviceCommands::switchMode(const BoardState& board) const
{
    return switchModeTo(modeSwitchCode(board) == Command::StartMainFirmware);
}

ExchangeResult DeviceCommands::switchModeTo(bool mainFirmware) const
{
    return CommandExchange(link).sendExpectingAck(mainFirmware ? Command::StartMainFirmware : Command::EnterBootloader);
}

ExchangeResult DeviceCommands::reboot() const
{
    ExchangeResult result = CommandExchange(link).sendExpectingAck(Command::Reboot);
    // A board that reboots at once cannot answer; silence counts as done.
    if (result.outcome == ExchangeResult::NoReply)
        result.accepted = true;
    return result;
}

ExchangeResult DeviceCommands::calibrateDiZero() const
{
    return CommandExchange(link).sendExpectingAck(Command::CalibrateDiZero);
}

ExchangeResult DeviceCommands::calibrateDiScale24V() const
{
    return CommandExchange(link).sendExpectingAck(Command::CalibrateDiScale24V);
}
