#include "firmwareflash.h"

#include "commandset.h"
#include "connector.h"
#include "replyparsers.h"

FirmwareFlash::FirmwareFlash(QSharedPointer<Connector> connector)
    : link(std::move(connector))
{
}

FirmwareFlash::Result FirmwareFlash::run(const CommandExchange::AfterWrite& afterWrite) const
{
    Result result;
    result.exchange = CommandExchange(link.data())
                          .transact(QByteArray(1, char(Command::Flash)), Command::timeoutMs(Command::Flash), afterWrite);
    result.ok = CommandExchange::isAck(result.exchange.reply);
    result.exchange.accepted = result.ok;
    result.code = parseStatusReply(result.exchange.reply);
    return result;
}
