#pragma once

#include <QString>

class QSerialPort;

// The line of "USB COM": the board always talks at 115200 baud, 8 data bits,
// no parity, one stop bit, no flow control, whatever is stored.
namespace UsbPortSetup {

// Closes `port`, gives it `portName` and the line, and opens it for reading
// and writing. Only the open can fail; the port's error() then says why.
bool open(QSerialPort* port, const QString& portName);

} // namespace UsbPortSetup
