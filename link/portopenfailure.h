#pragma once

#include <QSerialPort>
#include <QString>

// Why a serial port did not open, in words that say what to do about it. The
// connection bar and quorvel-cli add it after their fixed "Не удалось
// открыть порт" texts.
class PortOpenFailure
{
public:
    enum class Kind {
        Unknown,  // nothing was reported: no reason to add
        NoAccess, // this user may not use the device (not in its group)
        InUse,    // the device is there and allowed, but another program holds it
        Other,    // any other reason the system gave (no such device, ...)
    };

    // What the port reported, and what the device node allows this user.
    struct Facts
    {
        QSerialPort::SerialPortError error = QSerialPort::NoError;
        QString systemText;        // the port's errorString()
        bool accessDenied = false; // the node refuses this user reading and writing
        QString deviceGroup;       // the node's group ("dialout" on Debian)
    };

    // The facts of a failed open of `portName`, the node looked at where the
    // port would look for it.
    static Facts gather(const QString& portName, QSerialPort::SerialPortError error, const QString& systemText);

    static Kind classify(const Facts& facts);

    // The lines to add after the fixed text, each starting with "\n": the
    // system's reason, then for a refused or held port what to do. Empty
    // when nothing is known.
    static QString explain(const Facts& facts);
    // The same for a failed open of `portName`, the node looked at.
    static QString explain(const QString& portName, QSerialPort::SerialPortError error, const QString& systemText);
};
