#pragma once

#include "commandexchange.h"

#include <QSharedPointer>
#include <QString>

#include <optional>

class Connector;

// The flash command 0x67: the board writes the transferred image. Success is
// only a reply led by 0xC9; a status code (lead 0xC9 or 0xC8 and four more
// bytes) is parsed whatever the outcome, for the failure message.
class FirmwareFlash
{
public:
    struct Result
    {
        ExchangeResult exchange;
        bool ok = false;
        std::optional<quint32> code;
    };

    explicit FirmwareFlash(QSharedPointer<Connector> connector);

    // `afterWrite` runs between the write and the 60 s read (the window shows
    // its wait dialog there); returning false abandons the read, which then
    // counts as a failed write.
    Result run(const CommandExchange::AfterWrite& afterWrite = CommandExchange::AfterWrite()) const;

private:
    QSharedPointer<Connector> link;
};
