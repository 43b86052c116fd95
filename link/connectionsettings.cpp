#include "connectionsettings.h"

#include "settingsstore.h"

#include <QVariant>

namespace ConnectionSettings {

const char* const keyLastDeviceId = "LastDeviceID";
const char* const keyTcpIp = "TCPClient/IP";
const char* const keyTcpPort = "TCPClient/Port";
const char* const keyBaudRate = "serial/baudrate";
const char* const keyDataBits = "serial/databit";
const char* const keyParity = "serial/parity";
const char* const keyStopBits = "serial/stopbit";

const QString& defaultTcpIp()
{
    static const QString ip = QStringLiteral("0.0.0.0");
    return ip;
}

namespace {

bool readInt(const QVariant& value, int* out)
{
    bool ok = false;
    const int v = value.toInt(&ok);
    if (ok)
        *out = v;
    return ok;
}

int storedInt(const SettingsStore& store, const char* key, int fallback)
{
    // A string such as "None" (the host writes parity that way) reads as 0,
    // which is what QVariant's conversion gives for any non-number.
    return store.value(QLatin1String(key), fallback).toInt();
}

// The values the two enumerations can hold: the range of the smallest signed
// bit-field that fits their enumerators (-1..8 and -1..3).
constexpr int dataBitsLow = -16;
constexpr int dataBitsHigh = 15;
constexpr int stopBitsLow = -4;
constexpr int stopBitsHigh = 3;

} // namespace

int storedDeviceId(const SettingsStore& store)
{
    int id = defaultDeviceId;
    if (!readInt(store.value(QLatin1String(keyLastDeviceId), defaultDeviceId), &id) || id < 0 || id > maxDeviceId)
        return defaultDeviceId;
    return id;
}

int deviceIdFromEdit(const QString& text, int stored)
{
    bool ok = false;
    const int id = text.trimmed().toInt(&ok, 10);
    if (!ok || id < 0 || id > maxDeviceId)
        return stored;
    return id;
}

QString storedTcpPortText(const SettingsStore& store)
{
    int port = defaultTcpPort;
    if (!readInt(store.value(QLatin1String(keyTcpPort), defaultTcpPort), &port) || port < 0 || port > maxTcpPort)
        port = defaultTcpPort;
    return QString::number(port);
}

QString storedTcpIp(const SettingsStore& store)
{
    return store.value(QLatin1String(keyTcpIp), defaultTcpIp()).toString();
}

int tcpPortFromEdit(const QString& text)
{
    bool ok = false;
    const int port = text.toInt(&ok, 10);
    return ok ? port : 0;
}

SerialLine storedSerialLine(const SettingsStore& store)
{
    SerialLine line;
    line.baudRate = storedInt(store, keyBaudRate, defaultBaudRate);
    line.dataBits = storedInt(store, keyDataBits, defaultDataBits);
    line.parity = storedInt(store, keyParity, defaultParity);
    line.stopBits = storedInt(store, keyStopBits, defaultStopBits);
    return line;
}

QSerialPort::Parity portParity(int storedParity)
{
    switch (storedParity) {
    case 1:
        return QSerialPort::EvenParity;
    case 2:
        return QSerialPort::OddParity;
    default:
        return QSerialPort::NoParity;
    }
}

QString parityText(int storedParity)
{
    switch (storedParity) {
    case 1:
        return QStringLiteral("Even");
    case 2:
        return QStringLiteral("Odd");
    default:
        return QStringLiteral("None");
    }
}

QString stopBitsText(int storedStopBits)
{
    return storedStopBits == 2 ? QStringLiteral("2") : QStringLiteral("1");
}

QSerialPort::DataBits portDataBits(int storedDataBits)
{
    if (storedDataBits < dataBitsLow || storedDataBits > dataBitsHigh)
        return QSerialPort::UnknownDataBits;
    return static_cast<QSerialPort::DataBits>(storedDataBits);
}

QSerialPort::StopBits portStopBits(int storedStopBits)
{
    if (storedStopBits < stopBitsLow || storedStopBits > stopBitsHigh)
        return QSerialPort::UnknownStopBits;
    return static_cast<QSerialPort::StopBits>(storedStopBits);
}

QString parameterSummary(const QString& portName, const SerialLine& line, int deviceId)
{
    return QStringLiteral("Port=%1, Baud=%2, DataBits=%3, Parity=%4, StopBits=%5, DeviceId=%6")
        .arg(portName, QString::number(line.baudRate), QString::number(line.dataBits),
             parityText(line.parity), stopBitsText(line.stopBits), QString::number(deviceId));
}

} // namespace ConnectionSettings
