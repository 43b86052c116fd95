#pragma once

#include <QString>

namespace HostSettings {

// Writes what the program's reset of the connection settings writes: its own
// spellings of the baud rate, data bits, parity ("None"), stop bits and
// device-address keys, then "LastDeviceID" = 0, and syncs. Lets the library's
// tests show that the reset reaches the widget's own keys without linking the
// program.
void writeConnectionReset(const QString& programName);

} // namespace HostSettings
