#include "linkopener.h"

#include "connectorip.h"
#include "connectorserial.h"
#include "connectorusb.h"
#include "portlock.h"
#include "portopenfailure.h"
#include "usbportsetup.h"

#include <QCoreApplication>
#include <QSerialPort>

namespace {

// The connection bar's own words for a failed connection.
QString barText(const char* text)
{
    return QCoreApplication::translate("Tessarin", text);
}

QSerialPort::DataBits dataBitsOf(int bits)
{
    switch (bits) {
    case 5: return QSerialPort::Data5;
    case 6: return QSerialPort::Data6;
    case 7: return QSerialPort::Data7;
    default: return QSerialPort::Data8;
    }
}

} // namespace

QSharedPointer<Connector> LinkOpener::open(const LinkOptions& options, QString* error)
{
    // Frames carry one address byte: the low byte of the number given.
    const unsigned char frameAddress = static_cast<unsigned char>(options.deviceAddress & 0xFF);

    switch (options.kind) {
    case LinkOptions::Kind::Tcp: {
        QSharedPointer<ConnectorIP> link(new ConnectorIP(options.host, options.tcpPort, options.connectTimeoutMs));
        link->setDevID(frameAddress);
        if (!link->isConnected()) {
            const QString why = link->lastErrorString();
            *error = barText("Не удалось подключиться к %1:%2 (%3).")
                         // An IPv6 address is bracketed, or its port would read as one more group.
                         .arg(options.host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]").arg(options.host)
                                                                      : options.host)
                         .arg(options.tcpPort)
                         .arg(why.isEmpty() ? barText("TCP") : why);
            return QSharedPointer<Connector>();
        }
        return link;
    }
    case LinkOptions::Kind::Serial: {
        if (!PortLock::acquire(options.portName, error))
            return QSharedPointer<Connector>();
        // The device itself, so that the port's own lock is the same for
        // every name it goes by.
        const QString device = PortLock::resolve(options.portName);
        QSharedPointer<ConnectorSerial> link(new ConnectorSerial(device));
        link->setDevID(frameAddress);
        const QSerialPort::StopBits stopBits = options.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
        if (!link->openPort(device, options.baudRate, dataBitsOf(options.dataBits), options.parity, stopBits,
                            QSerialPort::NoFlowControl)) {
            *error = barText("Не удалось открыть порт %1 (%2).\nПараметры: %3")
                         .arg(options.portName, barText("RS485 COM"), options.describe())
                + PortOpenFailure::explain(device, link->openError(), link->openErrorString());
            return QSharedPointer<Connector>();
        }
        return link;
    }
    case LinkOptions::Kind::Usb: {
        if (!PortLock::acquire(options.portName, error))
            return QSharedPointer<Connector>();
        const QString device = PortLock::resolve(options.portName);
        QSharedPointer<ConnectorUSB> link(new ConnectorUSB(device));
        QSerialPort* port = link->GetSerialPort();
        if (!UsbPortSetup::open(port, device)) {
            *error = barText("Не удалось открыть порт %1 (%2).").arg(options.portName, barText("USB COM"))
                + PortOpenFailure::explain(device, port->error(), port->errorString());
            return QSharedPointer<Connector>();
        }
        return link;
    }
    case LinkOptions::Kind::None:
        break;
    }
    *error = QStringLiteral("no link given");
    return QSharedPointer<Connector>();
}
