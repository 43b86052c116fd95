#include "valuerules.h"

#include "boardinfo.h"

namespace ValueRules {

Range rangeOf(Field field)
{
    switch (field) {
    case Field::DiAddress:
    case Field::DoAddress: return objectAddress;
    case Field::DiDebounce: return debounceMs;
    case Field::DoHold: return holdMs;
    case Field::BaudRate: return baudRate;
    case Field::ModbusAddress: return modbusAddress;
    case Field::LinkAddress:
    case Field::CommonAddress: return iec101Address;
    case Field::ClockSyncPeriod: return clockSyncPeriod;
    }
    return Range { 0, 0, false };
}

QString Problem::place() const
{
    switch (field) {
    case Field::DiAddress:
    case Field::DiDebounce: return QStringLiteral("DI_%1").arg(index + 1);
    case Field::DoAddress:
    case Field::DoHold: return QStringLiteral("DO_%1").arg(index + 1);
    default: return QStringLiteral("port %1").arg(index + 1);
    }
}

QString Problem::fieldName() const
{
    switch (field) {
    case Field::DiAddress:
    case Field::DoAddress: return QStringLiteral("address");
    case Field::DiDebounce: return QStringLiteral("debounceMs");
    case Field::DoHold: return QStringLiteral("holdMs");
    case Field::BaudRate: return QStringLiteral("baudRate");
    case Field::ModbusAddress: return QStringLiteral("modbusAddress");
    case Field::LinkAddress: return QStringLiteral("linkAddress");
    case Field::CommonAddress: return QStringLiteral("commonAddress");
    case Field::ClockSyncPeriod: return QStringLiteral("clockSyncPeriod");
    }
    return QString();
}

QString Problem::describe() const
{
    const Range r = range();
    return QStringLiteral("%1 %2: %3 is outside %4 to %5%6")
        .arg(place(), fieldName())
        .arg(value)
        .arg(r.low)
        .arg(r.high)
        .arg(r.zeroMeansNone ? QStringLiteral(" (or 0 for none)") : QString());
}

namespace {

void check(QList<Problem>& problems, Field field, int index, qint64 edited, qint64 asRead)
{
    if (edited != asRead && !rangeOf(field).contains(edited))
        problems.append(Problem { field, index, edited });
}

} // namespace

QList<Problem> checkDiDo(const DiDoConfig& edited, const DiDoConfig& asRead, const ConfigLayout& layout)
{
    QList<Problem> problems;
    for (int i = 0; i < layout.diChannels && i < BoardInfo::MaxDiChannels; ++i) {
        check(problems, Field::DiAddress, i, edited.diEntries[i].objectAddress(), asRead.diEntries[i].objectAddress());
        if (layout.diDebounce)
            check(problems, Field::DiDebounce, i, edited.diDebounceMs[i], asRead.diDebounceMs[i]);
    }
    if (layout.doTable != ConfigLayout::DoTable::None) {
        for (int i = 0; i < BoardInfo::MaxDoChannels; ++i) {
            const DoEntry& e = edited.doEntries[i];
            const DoEntry& r = asRead.doEntries[i];
            check(problems, Field::DoAddress, i, e.objectAddress(), r.objectAddress());
            check(problems, Field::DoHold, i, e.holdMs, r.holdMs);
        }
    }
    return problems;
}

QList<Problem> checkRs485(const Rs485Ports& edited, const Iec101Ports& editedProtocols, const Rs485Ports& asRead,
                          const Iec101Ports& protocolsAsRead)
{
    QList<Problem> problems;
    for (size_t i = 0; i < edited.size(); ++i) {
        const int port = int(i);
        check(problems, Field::BaudRate, port, edited[i].baudRate, asRead[i].baudRate);
        check(problems, Field::ModbusAddress, port, edited[i].modbusAddress, asRead[i].modbusAddress);
        const Iec101Params& p = editedProtocols[i];
        if (p.iec101Enabled == 0)
            continue;
        // Nothing to keep from a port that did not run IEC101: every number was typed.
        const bool held = protocolsAsRead[i].iec101Enabled != 0;
        const Iec101Params& r = protocolsAsRead[i];
        check(problems, Field::LinkAddress, port, p.linkAddress, held ? qint64(r.linkAddress) : -1);
        check(problems, Field::CommonAddress, port, p.commonAddress, held ? qint64(r.commonAddress) : -1);
        check(problems, Field::ClockSyncPeriod, port, p.clockSyncPeriod, held ? qint64(r.clockSyncPeriod) : -1);
    }
    return problems;
}

} // namespace ValueRules
