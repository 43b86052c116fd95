#pragma once

#include "serialportcatalog.h"

#include <QJsonArray>
#include <QList>
#include <QStringList>

// `quorvel-cli ports`: the serial ports of this machine with what the system
// knows of them, so the right one can be named to --serial or --usb.
class PortListing
{
public:
    // One line per port (the path to give, then description, maker, serial
    // number and USB ids), its other names indented below it.
    static QStringList lines(const QList<SerialPortCatalog::Entry>& entries);
    // One object per port; what the system does not know is null.
    static QJsonArray json(const QList<SerialPortCatalog::Entry>& entries);

    // Lists this machine's ports on standard output; the exit code.
    static int run(bool asJson);
};
