#pragma once

#include "tessarin_export.h"

#include <QSerialPort>
#include <QString>

class SettingsStore;

// The connection keys the library keeps, their defaults, and the rules for
// reading them back. The widget, both connect handlers and the serial
// parameter dialog go through here so a key or a default is written once;
// the program's settings reset and its line scan read the line's keys and
// stored parameters here too (the exported names).
namespace ConnectionSettings {

extern const char* const keyLastDeviceId;
extern const char* const keyTcpIp;
extern const char* const keyTcpPort;
extern const char* const keyBaudRate;
extern TESSARIN_EXPORT const char* const keyDataBits;
extern const char* const keyParity;
extern TESSARIN_EXPORT const char* const keyStopBits;

constexpr int defaultDeviceId = 0;
constexpr int defaultTcpPort = 4001;
constexpr int defaultBaudRate = 9600;
constexpr int defaultDataBits = 8;
constexpr int defaultParity = 0;
constexpr int defaultStopBits = 1;
constexpr int maxDeviceId = 65535;
constexpr int maxTcpPort = 65535;
const QString& defaultTcpIp();

// The line parameters of the RS-485 COM port as stored.
struct SerialLine
{
    int baudRate = defaultBaudRate;
    int dataBits = defaultDataBits;
    int parity = defaultParity;
    int stopBits = defaultStopBits;
};

// "LastDeviceID" as a number from 0 to 65535; anything else stored there
// (a hand-edited file, a string) counts as the default.
int storedDeviceId(const SettingsStore& store);

// The device address typed into the edit, or `stored` when the edit is empty,
// not a number, or outside 0..65535.
int deviceIdFromEdit(const QString& text, int stored);

// "TCPClient/Port" as shown in the port edit.
QString storedTcpPortText(const SettingsStore& store);
QString storedTcpIp(const SettingsStore& store);

// The TCP port edit's text read as a decimal number, 0 when it is not one.
int tcpPortFromEdit(const QString& text);

TESSARIN_EXPORT SerialLine storedSerialLine(const SettingsStore& store);

// 1 even, 2 odd, anything else none.
QSerialPort::Parity portParity(int storedParity);
QString parityText(int storedParity);
// Stop bits as the summary reads them: "2" for 2, "1" for anything else.
QString stopBitsText(int storedStopBits);

// Data and stop bits go to the port as stored; only values that cannot be an
// enumerator at all become "unknown", so a cast never leaves the enum's range.
QSerialPort::DataBits portDataBits(int storedDataBits);
QSerialPort::StopBits portStopBits(int storedStopBits);

// "Port=COM3, Baud=9600, DataBits=8, Parity=None, StopBits=1, DeviceId=1"
QString parameterSummary(const QString& portName, const SerialLine& line, int deviceId);

} // namespace ConnectionSettings
