#include "serialconnecthandler.h"

#include "connectionsettings.h"
#include "connectorserial.h"
#include "connectorusb.h"
#include "portopenfailure.h"
#include "serialportcatalog.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "usbportsetup.h"

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

    failureReason.clear();
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
                             Tessarin::tr("Не удалось открыть порт %1 (%2).").arg(portName, Tessarin::tr("USB COM"))
                                 + failureReason,
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    if (widget)
        emit widget->onDisconnected();
}

bool SerialConnectHandler::openUsb(const QString& portName)
{
    auto* transport = new ConnectorUSB(portName);
    widget->currentConnector = QSharedPointer<Connector>(transport);

    QSerialPort* port = transport->GetSerialPort();
    const QString device = SerialPortCatalog::device(portName);
    if (UsbPortSetup::open(port, device))
        return true;
    // Taken now: the port goes with the transport before the box is shown.
    failureReason = PortOpenFailure::explain(device, port->error(), port->errorString());
    return false;
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

    const QString device = SerialPortCatalog::device(portName);
    const bool opened = transport->openPort(device, line.baudRate, ConnectionSettings::portDataBits(line.dataBits),
                                            ConnectionSettings::portParity(line.parity),
                                            ConnectionSettings::portStopBits(line.stopBits),
                                            QSerialPort::NoFlowControl);
    if (!opened && widget) {
        failureReason = PortOpenFailure::explain(device, transport->openError(), transport->openErrorString());
        // Shown while the wait cursor is still up, as the attempt is not over.
        QMessageBox::warning(widget, Tessarin::tr("Connection error"),
                             Tessarin::tr("Не удалось открыть порт %1 (%2).\nПараметры: %3")
                                     .arg(portName, Tessarin::tr("RS485 COM"), summary)
                                 + failureReason,
                             QMessageBox::Ok, QMessageBox::NoButton);
    }
    return opened;
}
