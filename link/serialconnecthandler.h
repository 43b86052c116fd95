#pragma once

#include "connecthandler.h"

#include <QPointer>

class QComboBox;
class QLineEdit;
class Tessarin;

// Connect in "USB COM" (bare payloads at fixed line settings) or "RS485 COM"
// (framed, with the stored line parameters and device address).
class SerialConnectHandler : public ConnectHandler
{
public:
    SerialConnectHandler(Tessarin* widget, bool usb, QComboBox* portCombo, QLineEdit* deviceIdEdit);

    void run() override;

private:
    bool openUsb(const QString& portName);
    bool openRs485(const QString& portName);

    QPointer<Tessarin> widget;
    bool usb;
    QPointer<QComboBox> portCombo;
    QPointer<QLineEdit> deviceIdEdit;
    // What the system said about the last failed open, with what to do.
    QString failureReason;
};
