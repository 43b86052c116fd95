#pragma once

#include <QString>

// One process per serial port. The lock is named after the device the path
// resolves to, so a udev symlink and the node it points at are one port, and
// it is a lock file rather than the exclusive-open flag, which does not stop
// root. It is held until the process ends, also while an update reconnects,
// so no other run can slip in between.
class PortLock
{
public:
    // The device `portName` resolves to (symlinks followed); `portName` itself
    // when it does not exist.
    static QString resolve(const QString& portName);

    // Takes the port for this process (again a no-op once taken). False with
    // `error` naming the port and the holder when another process has it.
    static bool acquire(const QString& portName, QString* error);
};
