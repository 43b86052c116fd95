#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The serial ports of this machine as a technician picks one: each port with
// what the system knows of its adapter, and the other names that lead to it
// (the stable /dev/serial/by-id/ names, the symlinks a udev rule adds). The
// connection bar's port list and `quorvel-cli ports` both show it.
class SerialPortCatalog
{
public:
    // What the system shows, gathered in one place so that a test can hand
    // in a machine of its own.
    struct SystemView
    {
        struct Port
        {
            QString portName;       // "ttyUSB0"
            QString systemLocation; // "/dev/ttyUSB0"
            QString description;    // "FT232R USB UART"
            QString manufacturer;
            QString serialNumber;
            QString vendorId;       // "0403"; empty when not a USB device
            QString productId;
        };
        // A symlink and the node it resolves to.
        struct Link
        {
            QString path;
            QString target;
        };
        QList<Port> ports; // in the order the system reports them
        QList<Link> links; // those under /dev/serial/by-id/ and /dev/
    };

    struct Entry
    {
        SystemView::Port port;
        QStringList byId;     // under /dev/serial/by-id/, sorted
        QStringList symlinks; // any other names, sorted
    };

    // One item of the bar's port list.
    struct Choice
    {
        QString text;
        QString toolTip;
    };

    static const char* const byIdFolder;

    // Qt's list of ports and the symlinks in the two folders.
    static SystemView currentView();

    // Every port with the names that resolve to it, in the system's order.
    static QList<Entry> entries(const SystemView& view);

    // The ports under their own names first, as the system reports them,
    // then each port's other names, so a stable name can be picked too. The
    // tool tip says what adapter it is.
    static QList<Choice> choices(const QList<Entry>& entries);

    // The name to open: a path that is a symlink gives the node it resolves
    // to, so that every name of one device is one port to the serial lock;
    // anything else is returned as it is.
    static QString device(const QString& portName);
};
