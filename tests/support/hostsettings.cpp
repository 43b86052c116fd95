#include "hostsettings.h"

#include "settingsstore.h"

namespace HostSettings {

void writeConnectionReset(const QString& programName)
{
    SettingsStore store(programName);
    for (const char* key : {"BaudRate", "baudRate", "Connection/BaudRate", "Connection/baudRate", "Serial/BaudRate",
                            "Serial/baudRate", "SerialPort/BaudRate", "RS485/BaudRate"})
        store.setValue(QLatin1String(key), 57600);
    for (const char* key : {"DataBits", "dataBits", "Connection/DataBits", "Serial/DataBits", "SerialPort/DataBits",
                            "RS485/DataBits"})
        store.setValue(QLatin1String(key), 8);
    for (const char* key : {"Parity", "parity", "Connection/Parity", "Serial/Parity", "SerialPort/Parity",
                            "RS485/Parity"})
        store.setValue(QLatin1String(key), QStringLiteral("None"));
    for (const char* key : {"StopBits", "stopBits", "Connection/StopBits", "Serial/StopBits", "SerialPort/StopBits",
                            "RS485/StopBits"})
        store.setValue(QLatin1String(key), 1);
    for (const char* key : {"DeviceAddress", "deviceAddress", "DeviceID", "deviceId", "deviceID",
                            "Connection/DeviceAddress", "Connection/DeviceID", "Serial/DeviceAddress", "Serial/DeviceID",
                            "SerialPort/DeviceAddress", "SerialPort/DeviceID", "Modbus/DeviceAddress",
                            "Modbus/DeviceID", "RS485/DeviceAddress", "RS485/DeviceID"})
        store.setValue(QLatin1String(key), 0);
    store.setValue(QStringLiteral("LastDeviceID"), 0);
    store.sync();
}

} // namespace HostSettings
