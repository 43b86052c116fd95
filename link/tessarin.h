#pragma once

#include "tessarin_export.h"

#include <QSharedPointer>
#include <QString>
#include <QWidget>

class Connector;
class ConnectHandler;
class QComboBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// The connection bar: how the PC reaches the board (USB COM, RS485 COM or
// RS485 TCP), the port or address, the device address, Connect/Disconnect,
// and two buttons that only pass the user's request on to the host.
class TESSARIN_EXPORT Tessarin : public QWidget
{
    Q_OBJECT
public:
    explicit Tessarin(QWidget* parent = nullptr);
    ~Tessarin() override;

    void setProgramName(const QString& name);
    void setUSBConfigEnable(bool enable);
    void setConnected(bool c);
    void setConnectionOk(bool ok);
    void setLinkStatus(bool up);
    bool isConnected() const;
    void disconnectCurrentConnector();

signals:
    // The argument is currentConnector itself; a receiver that keeps the
    // transport copies the shared pointer.
    void onConnected(QSharedPointer<Connector>& connector);
    void onDisconnected();
    void onRebootRequested();
    void onResetToDefaultRequested();

public slots:
    void currentIndexChanged(int index);
    void updateWidgetFromSettings();

private:
    friend class TcpConnectHandler;
    friend class SerialConnectHandler;

    void ConnectionModeModify();
    void CreateUSBorSerialConnector(bool usb);
    void CreateIPConnector();
    void ResetConnectorWidget();

    QLineEdit* addDeviceIdEdit(int storedId);
    void addConnectButtonAndTail(ConnectHandler* handler);
    void connectButtonClicked(ConnectHandler* handler);
    void fillPortCombo(QComboBox* combo);
    void openSerialParamDialog();

    QLabel* connectionModeLabel = nullptr;
    QLabel* linkStatusLabel = nullptr;
    QComboBox* connectionModeCombo = nullptr;
    QHBoxLayout* mainLayout = nullptr;
    QHBoxLayout* connectorLayout = nullptr;
    bool usbConfigEnabled = true;
    QSharedPointer<Connector> currentConnector;
    QString programName;
    QPushButton* connectButton = nullptr;
    bool connected = false;
};
