#pragma once

#include <QObject>

// What the connect button of the connection bar runs while the bar is not
// connected: create a transport for the current mode, open it, and hand it
// over or report the failure. One lives on each connect button, owned by it,
// so it goes away with the controls of its mode.
class ConnectHandler : public QObject
{
public:
    ConnectHandler() = default;
    virtual void run() = 0;
};
