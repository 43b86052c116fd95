#include "serialconnecthandler.h"

#include "connectionsettings.h"
#include "connectorserial.h"
#include "connectorusb.h"
#include "settingsstore.h"
#include "tessarin.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QLineEdit>
#include <QMessageBox>
#include <QSerialPort>
#include <QtGlobal>

SerialConnectHandler::SerialConnectHandler(Tessarin* widget, bool usb, QComboBox* portCombo, QLineEdit* deviceIdEdit)
    : widget(widget)
    , usb(usb)
    , portCombo(portCombo)
    , deviceIdEdit(deviceIdEdit)
{
}

void SerialConnectHandler::run()
{
    if (!widget || !portCombo)
        return;

    const QString portName = portCombo->currentText();

    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    widget->currentConnector.reset();

    const bool opened = usb ? openUsb(portName) : openRs485(portName);

    QApplication::restoreOverrideCursor();

    if (!widget)
        return;
    if (opened) {
        widget->watchCurrentConnector();
        emit widget->onConnected(widget->currentConnector);
        return;
    }

    widget->setConnected(false);
    // Letting go of the transport closes its port.
    widget->currentConnector.reset();
    if (usb) {
        QMessageBox::warning(widget, Tessarin::tr("Connection error"),
                             Tessarin::tr("Не удалось открыть порт %1 (%2).").arg(portName, Tessarin::tr("USB COM")),
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    if (widget)
        emit widget->onDisconnected();
}

bool SerialConnectHandler::openUsb(const QString& portName)
{
    auto* transport = new ConnectorUSB(portName);
    widget->currentConnector = QSharedPointer<Connector>(transport);

    // The USB board always talks at these settings; only the open can fail.
    QSerialPort* port = transport->GetSerialPort();
    port->close();
    port->setPortName(portName);
    port->setParity(QSerialPort::NoParity);
    port->setBaudRate(115200, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}

bool SerialConnectHandler::openRs485(const QString& portName)
{
    auto* transport = new ConnectorSerial(portName);
    widget->currentConnector = QSharedPointer<Connector>(transport);

    int deviceId = ConnectionSettings::defaultDeviceId;
    ConnectionSettings::SerialLine line;
    {
        SettingsStore store(widget->programName);
        deviceId = ConnectionSettings::storedDeviceId(store);
        if (deviceIdEdit) {
            deviceId = ConnectionSettings::deviceIdFromEdit(deviceIdEdit->text(), deviceId);
            store.setValue(QLatin1String(ConnectionSettings::keyLastDeviceId), deviceId);
        }
        line = ConnectionSettings::storedSerialLine(store);
    }
    // Frames carry one address byte: the low byte of the number typed.
    transport->setDevID(static_cast<unsigned char>(deviceId & 0xFF));

    const QString summary = ConnectionSettings::parameterSummary(portName, line, deviceId);
    qInfo("%s", qUtf8Printable(QStringLiteral("[RS485] %1").arg(summary)));

    const bool opened = transport->openPort(portName, line.baudRate, ConnectionSettings::portDataBits(line.dataBits),
                                            ConnectionSettings::portParity(line.parity),
                                            ConnectionSettings::portStopBits(line.stopBits),
                                            QSerialPort::NoFlowControl);
    if (!opened && widget) {
        // Shown while the wait cursor is still up, as the attempt is not over.
        QMessageBox::warning(widget, Tessarin::tr("Connection error"),
                             Tessarin::tr("Не удалось открыть порт %1 (%2).\nПараметры: %3")
                                 .arg(portName, Tessarin::tr("RS485 COM"), summary),
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    return opened;
}
