#pragma once

#include <QObject>
#include <QPointer>
#include <QSharedPointer>
#include <QString>

class Connector;
class QComboBox;
class QLineEdit;
class QPushButton;
class Tessarin;

// The link as the connection bar opens and closes it. The line scan and the
// one-step update press the bar's button as the technician would, so the bar
// always shows the link as it is and a port that does not open gives the
// bar's own error. A link opened to be borrowed goes to the borrower instead
// of the window's connect readout: the window's connect slot asks claim()
// first.
class BarLink : public QObject
{
    Q_OBJECT

public:
    BarLink(Tessarin* bar, const QString& programName, QObject* parent = nullptr);

    // The chosen mode: "USB COM", "RS485 COM" or "RS485 TCP".
    QString mode() const;
    bool hasAddresses() const { return mode() != QLatin1String("USB COM"); }
    // What the bar would connect to: "RS485 COM ttyUSB0, 9600 8N1" (the
    // stored line parameters) or "RS485 TCP 10.0.0.5:4001".
    QString lineText() const;
    // The bar shows a link as held.
    bool held() const;

    // Disconnect as the user does (the window lets go of the link too); a
    // link handed over and never shown as held is let go as well.
    void disconnect();
    // Connect as the user does: the window reads the board out.
    void connect();
    // Connect, but the new link goes to the caller and no readout runs. With
    // `shown` the bar shows it as held; otherwise the bar lets go of its own
    // copy at once. Null when the bar could not open it (it has said why).
    QSharedPointer<Connector> borrow(bool shown);
    // For the window's connect slot: true when the link is being borrowed
    // and has been taken here.
    bool claim(const QSharedPointer<Connector>& link);

    // Puts `address` into "DeviceId:" and the stored "LastDeviceID".
    void setDeviceAddress(int address);

    // The link as the bar shows it, for the operations log and the name a
    // saved configuration suggests: "RS485 TCP 127.0.0.1:4001, address 5"
    // (mode, then port or address, then device address); empty without a bar.
    static QString describe(const Tessarin* bar);
    // The device address typed into the bar; 0 without one.
    static int deviceAddress(const Tessarin* bar);

private:
    QPushButton* connectButton() const;
    QComboBox* modeList() const;
    QLineEdit* deviceIdEdit() const;

    QPointer<Tessarin> bar;
    QString programName;
    bool borrowing = false;
    QSharedPointer<Connector> borrowed;
};
