#include "connectionbar.h"

#include "settingsstore.h"
#include "tessarin.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>

namespace ConnectionBar {

namespace {

// Chooses `mode`; its fields are built from the stored values.
QComboBox* chooseMode(Tessarin* bar, const QString& mode)
{
    QComboBox* modes = modeList(bar);
    if (!modes)
        return nullptr;
    if (modes->currentText() != mode)
        modes->setCurrentIndex(modes->findText(mode));
    else
        bar->updateWidgetFromSettings();
    // The controls of the previous mode go by deferred deletion.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return modes;
}

QString pressConnect(Tessarin* bar)
{
    QPushButton* connect = button(bar, QStringLiteral("Connect"));
    if (!connect)
        return QStringLiteral("no Connect button");
    connect->click();
    return QString();
}

} // namespace

QComboBox* modeList(Tessarin* bar)
{
    for (QComboBox* combo : bar->findChildren<QComboBox*>()) {
        if (combo->findText(QStringLiteral("RS485 TCP")) >= 0)
            return combo;
    }
    return nullptr;
}

QPushButton* button(Tessarin* bar, const QString& text)
{
    for (QPushButton* candidate : bar->findChildren<QPushButton*>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

QString connectOverTcp(Tessarin* bar, const QString& program, const QString& host, int port)
{
    {
        SettingsStore store(program);
        store.setValue(QStringLiteral("TCPClient/IP"), host);
        store.setValue(QStringLiteral("TCPClient/Port"), port);
        store.setValue(QStringLiteral("LastDeviceID"), 0);
        store.sync();
    }
    if (!chooseMode(bar, QStringLiteral("RS485 TCP")))
        return QStringLiteral("no mode list in the connection bar");
    return pressConnect(bar);
}

QString connectOverPty(Tessarin* bar, const QString& program, const QString& path)
{
    {
        SettingsStore store(program);
        store.setValue(QStringLiteral("LastDeviceID"), 0);
        store.sync();
    }
    QComboBox* modes = chooseMode(bar, QStringLiteral("RS485 COM"));
    if (!modes)
        return QStringLiteral("no mode list in the connection bar");
    QComboBox* ports = nullptr;
    for (QComboBox* combo : bar->findChildren<QComboBox*>()) {
        if (combo != modes)
            ports = combo;
    }
    if (!ports)
        return QStringLiteral("no port list in the connection bar");
    if (ports->findText(path) < 0)
        ports->addItem(path);
    ports->setCurrentIndex(ports->findText(path));
    if (ports->currentText() != path)
        return QStringLiteral("the port list does not take ") + path;
    return pressConnect(bar);
}

} // namespace ConnectionBar
