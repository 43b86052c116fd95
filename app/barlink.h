#pragma once

#include <QString>

class Tessarin;

// The link as the connection bar shows it, for the operations log and the
// name a saved configuration suggests.
namespace BarLink {

// "RS485 TCP 127.0.0.1:4001, address 5": mode, then port or address, then
// device address; empty without a bar.
QString describe(const Tessarin* bar);
// The device address typed into the bar; 0 without one.
int deviceAddress(const Tessarin* bar);

} // namespace BarLink
