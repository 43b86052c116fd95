#pragma once

#include "boardstate.h"
#include "commandexchange.h"
#include "replyparsers.h"

#include <optional>

class Connector;

// The identity readouts and the one-byte action commands, each one exchange
// with the time-out of the command table. The window turns the results into
// its labels and boxes; nothing here shows anything.
template <typename T>
struct Reading
{
    ExchangeResult exchange;
    std::optional<T> value; // set only for a reply that passed its check

    bool ok() const { return value.has_value(); }
    // For the labels: "Нет ответа" when written but nothing came back,
    // "Ошибка" when the request was not written or the reply was wrong.
    bool silent() const { return exchange.outcome == ExchangeResult::NoReply; }
};

class DeviceCommands
{
public:
    explicit DeviceCommands(Connector* connector);

    Reading<QString> readFirmwareVersion() const;   // 0x78
    Reading<DeviceStatus> readDeviceStatus() const; // 0x64
    Reading<quint16> readBoardVersion() const;      // 0x7D
    Reading<qint32> readErrorCode() const;          // 0x79 (0xC8 accepted as lead)

    // 0x7B while the bootloader runs, 0x7A in every other case.
    static quint8 modeSwitchCode(const BoardState& board);
    // `accepted`: reply not empty and acknowledged.
    ExchangeResult switchMode(const BoardState& board) const;
    // 0x7B towards the main firmware, 0x7A towards the bootloader, whatever
    // the board was last seen running.
    ExchangeResult switchModeTo(bool mainFirmware) const;
    // 0x7C; `accepted` also for no reply at all (the board may reboot before answering).
    ExchangeResult reboot() const;
    // 0xAB and 0xAC; `accepted`: acknowledged.
    ExchangeResult calibrateDiZero() const;
    ExchangeResult calibrateDiScale24V() const;

private:
    Connector* link;
};
