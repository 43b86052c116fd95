#include "usbportsetup.h"

#include <QSerialPort>

bool UsbPortSetup::open(QSerialPort* port, const QString& portName)
{
    port->close();
    port->setPortName(portName);
    port->setParity(QSerialPort::NoParity);
    port->setBaudRate(115200, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}
