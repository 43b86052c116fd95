#include "tcpconnecthandler.h"

#include "connectionsettings.h"
#include "connectorip.h"
#include "settingsstore.h"
#include "tessarin.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QMessageBox>

#include <memory>

TcpConnectHandler::TcpConnectHandler(Tessarin* widget, QLineEdit* ipEdit, QLineEdit* portEdit, QLineEdit* deviceIdEdit)
    : widget(widget)
    , ipEdit(ipEdit)
    , portEdit(portEdit)
    , deviceIdEdit(deviceIdEdit)
{
}

void TcpConnectHandler::run()
{
    if (!widget || !ipEdit || !portEdit)
        return;

    const QString host = ipEdit->text();
    const QString portText = portEdit->text();
    const int port = ConnectionSettings::tcpPortFromEdit(portText);

    int deviceId = ConnectionSettings::defaultDeviceId;
    {
        // What was tried stays stored, whatever the outcome.
        SettingsStore store(widget->programName);
        store.setValue(QLatin1String(ConnectionSettings::keyTcpIp), host);
        store.setValue(QLatin1String(ConnectionSettings::keyTcpPort), port);
        const int stored = ConnectionSettings::storedDeviceId(store);
        deviceId = deviceIdEdit ? ConnectionSettings::deviceIdFromEdit(deviceIdEdit->text(), stored) : stored;
        store.setValue(QLatin1String(ConnectionSettings::keyLastDeviceId), deviceId);
    }

    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    // A transport still held goes first: two links to one board would each
    // take the other's replies.
    widget->currentConnector.reset();
    // Blocks until the connection is made or the transport gives up (5 s).
    std::unique_ptr<ConnectorIP> transport(new ConnectorIP(host, port));
    // Frames carry one address byte: the low byte of the number typed.
    transport->setDevID(static_cast<unsigned char>(deviceId & 0xFF));
    QApplication::restoreOverrideCursor();

    if (transport->isConnected()) {
        widget->currentConnector = QSharedPointer<Connector>(transport.release());
        widget->watchCurrentConnector();
        emit widget->onConnected(widget->currentConnector);
        return;
    }

    QString error = transport->lastErrorString();
    transport.reset();
    widget->currentConnector.reset();
    widget->setConnected(false);
    if (error.isEmpty())
        error = Tessarin::tr("TCP");
    QMessageBox::warning(widget, Tessarin::tr("Connection error"),
                         Tessarin::tr("Не удалось подключиться к %1:%2 (%3).").arg(host).arg(portText).arg(error),
                         QMessageBox::Ok, QMessageBox::NoButton);
    if (widget)
        emit widget->onDisconnected();
}
