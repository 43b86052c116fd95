#pragma once

#include "tessarin_export.h"

#include <QSharedPointer>
#include <QString>
#include <QWeakPointer>
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
    // The operating system reported the held link gone (TCP peer closed or
    // reset, serial device removed; see Connector::setLinkLostCallback).
    // The bar has already released its transport and shows "Connect", and
    // onDisconnected() came just before, so a host that handles that one
    // has forgotten the link; this one only says why. Emitted only while the
    // link was shown as held (setConnected(true)); a transport the host had
    // already given up is released without a word.
    void onLinkLost();

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

    // The fresh controls of a mode show whether the link is held.
    void showHeldState();
    QLineEdit* addDeviceIdEdit(int storedId);
    void addConnectButtonAndTail(ConnectHandler* handler);
    void connectButtonClicked(ConnectHandler* handler);
    void fillPortCombo(QComboBox* combo);
    void openSerialParamDialog();
    // Called by the connect handlers before they hand a new transport over.
    void watchCurrentConnector();
    void currentConnectorLost(const QWeakPointer<Connector>& lost);

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
