#pragma once

#include "connecthandler.h"

#include <QPointer>

class QLineEdit;
class Tessarin;

// Connect in "RS485 TCP": store what the user typed, open the RS-485 frame
// over TCP, hand the transport to the host or say why it failed.
class TcpConnectHandler : public ConnectHandler
{
public:
    TcpConnectHandler(Tessarin* widget, QLineEdit* ipEdit, QLineEdit* portEdit, QLineEdit* deviceIdEdit);

    void run() override;

private:
    QPointer<Tessarin> widget;
    QPointer<QLineEdit> ipEdit;
    QPointer<QLineEdit> portEdit;
    QPointer<QLineEdit> deviceIdEdit;
};
