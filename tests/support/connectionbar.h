#pragma once

#include <QString>

class QComboBox;
class QPushButton;
class Tessarin;

// Drives the connection bar the way a technician does: the stored address,
// the mode list, the port list, the Connect button.
namespace ConnectionBar {

// The list of connection modes.
QComboBox* modeList(Tessarin* bar);
// The bar's button with this caption, or null.
QPushButton* button(Tessarin* bar, const QString& text);

// Store `host`:`port` and device address 0 for `program`, choose "RS485 TCP"
// and press Connect. Returns what was missing in the bar, or an empty string.
QString connectOverTcp(Tessarin* bar, const QString& program, const QString& host, int port);
// Store device address 0 for `program`, choose "RS485 COM" with `path` as
// the port (a pty is not among the system's ports, so it is added to the
// list) and press Connect.
QString connectOverPty(Tessarin* bar, const QString& program, const QString& path);

} // namespace ConnectionBar
