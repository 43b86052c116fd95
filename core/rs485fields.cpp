#include "rs485fields.h"

namespace {

constexpr quint32 NineDataBits = 0x2000;
constexpr quint32 TwoStopBits = 0x2000;
constexpr quint32 EvenParity = 0x400;
constexpr quint32 OddParity = 0x600;
constexpr quint16 FixedWordValue = 1000;

quint16 toU16(const QString& text)
{
    bool ok = false;
    const quint16 value = text.toUShort(&ok, 10);
    return ok ? value : 0;
}

quint32 toU32(const QString& text)
{
    bool ok = false;
    const quint32 value = text.toUInt(&ok, 10);
    return ok ? value : 0;
}

} // namespace

quint8 modbusAddressFromText(const QString& text)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < 0 || value > 247)
        return 1;
    return quint8(value);
}

bool fillRs485Port(Rs485PortParams& port, const Rs485PortFields& fields, const Rs485PortParams* shown)
{
    // A copy: `shown` may be `port` itself.
    const Rs485PortParams original = shown ? *shown : Rs485PortParams();
    shown = shown ? &original : nullptr;
    const Rs485PortFields before = shown ? describeRs485Port(*shown) : Rs485PortFields();
    const auto unchanged = [shown](const QString& now, const QString& then) { return shown && now == then; };

    bool ok = false;
    quint32 baud = fields.baudRate.toUInt(&ok, 10);
    if (unchanged(fields.baudRate, before.baudRate)) {
        baud = shown->baudRate;
    } else if (!ok || baud == 0) {
        return false;
    }

    port.baudRate = baud;
    port.wordLength = fields.dataBits == QLatin1String("9") ? NineDataBits : 0;
    if (fields.parity == QLatin1String("Even"))
        port.parity = EvenParity;
    else if (fields.parity == QLatin1String("Odd"))
        port.parity = OddParity;
    else
        port.parity = 0;
    port.stopBits = fields.stopBits == QLatin1String("2") ? TwoStopBits : 0;
    port.reserved0 = 0;
    port.modbusEnabled = fields.protocol == QLatin1String("ModBusRTU") ? 1 : 0;
    port.fixedWord = FixedWordValue;
    port.modbusAddress = modbusAddressFromText(fields.modbusAddress);
    if (shown) {
        if (unchanged(fields.dataBits, before.dataBits))
            port.wordLength = shown->wordLength;
        if (unchanged(fields.parity, before.parity))
            port.parity = shown->parity;
        if (unchanged(fields.stopBits, before.stopBits))
            port.stopBits = shown->stopBits;
        if (fields.protocol == QLatin1String("ModBusRTU") && shown->modbusEnabled != 0)
            port.modbusEnabled = shown->modbusEnabled;
        if (!fields.modbusAddress.isNull() && unchanged(fields.modbusAddress, before.modbusAddress))
            port.modbusAddress = shown->modbusAddress;
    }
    return true;
}

Rs485PortFields describeRs485Port(const Rs485PortParams& port)
{
    Rs485PortFields fields;
    fields.baudRate = QString::number(port.baudRate);
    fields.dataBits = port.wordLength == NineDataBits ? QStringLiteral("9") : QStringLiteral("8");
    if (port.parity == EvenParity)
        fields.parity = QStringLiteral("Even");
    else if (port.parity == OddParity)
        fields.parity = QStringLiteral("Odd");
    else
        fields.parity = QStringLiteral("None");
    fields.stopBits = port.stopBits == TwoStopBits ? QStringLiteral("2") : QStringLiteral("1");
    if (port.modbusEnabled != 0)
        fields.protocol = QStringLiteral("ModBusRTU");
    fields.modbusAddress = QString::number(port.modbusAddress);
    return fields;
}

Iec101Params buildIec101(const Iec101Fields& fields, const Iec101Params* shown)
{
    Iec101Params params;
    if (!fields.enabled)
        return params;
    if (shown && shown->iec101Enabled == 0)
        shown = nullptr;
    params.iec101Enabled = 1;
    params.linkAddress = toU16(fields.linkAddress);
    if (fields.linkAddressLengthIndex >= 0)
        params.linkAddressLength = fields.linkAddressLengthIndex != 0 ? 2 : 1;
    params.originatorAddress = fields.originatorAddressIndex == 0 ? 1 : 0;
    if (fields.stationAddressLengthIndex >= 0)
        params.stationAddressLength = fields.stationAddressLengthIndex != 0 ? 2 : 1;
    if (fields.objectAddressLengthIndex >= 0)
        params.objectAddressLength = fields.objectAddressLengthIndex != 0 ? 3 : 2;
    params.commonAddress = toU16(fields.commonAddress);
    params.clockSyncPeriod = toU32(fields.clockSyncPeriod);
    params.giTime = fields.giTimeIndex == 0 ? 1 : 0;
    if (shown) {
        const Iec101Fields before = describeIec101(*shown);
        params.iec101Enabled = shown->iec101Enabled;
        if (fields.linkAddress == before.linkAddress)
            params.linkAddress = shown->linkAddress;
        if (fields.linkAddressLengthIndex == before.linkAddressLengthIndex)
            params.linkAddressLength = shown->linkAddressLength;
        if (fields.originatorAddressIndex == before.originatorAddressIndex)
            params.originatorAddress = shown->originatorAddress;
        if (fields.stationAddressLengthIndex == before.stationAddressLengthIndex)
            params.stationAddressLength = shown->stationAddressLength;
        if (fields.objectAddressLengthIndex == before.objectAddressLengthIndex)
            params.objectAddressLength = shown->objectAddressLength;
        if (fields.commonAddress == before.commonAddress)
            params.commonAddress = shown->commonAddress;
        if (fields.clockSyncPeriod == before.clockSyncPeriod)
            params.clockSyncPeriod = shown->clockSyncPeriod;
        if (fields.giTimeIndex == before.giTimeIndex)
            params.giTime = shown->giTime;
    }
    return params;
}

Iec101Fields describeIec101(const Iec101Params& params)
{
    Iec101Fields fields;
    fields.enabled = params.iec101Enabled != 0;
    if (!fields.enabled)
        return fields;
    fields.linkAddress = QString::number(params.linkAddress);
    fields.linkAddressLengthIndex = params.linkAddressLength == 1 ? 0 : 1;
    fields.originatorAddressIndex = params.originatorAddress != 0 ? 0 : 1;
    fields.stationAddressLengthIndex = params.stationAddressLength == 1 ? 0 : 1;
    fields.objectAddressLengthIndex = params.objectAddressLength == 2 ? 0 : 1;
    fields.commonAddress = QString::number(params.commonAddress);
    fields.clockSyncPeriod = QString::number(params.clockSyncPeriod);
    fields.giTimeIndex = params.giTime != 0 ? 0 : 1;
    return fields;
}
