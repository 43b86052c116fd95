#include "barlink.h"

#include "connectionsettings.h"
#include "connector.h"
#include "settingsstore.h"
#include "tessarin.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

namespace {

const char* const deviceIdObjectName = "DeviceID";
const char* const lastDeviceIdKey = "LastDeviceID";

QString barText(const char* text)
{
    return QCoreApplication::translate("Tessarin", text);
}

// The controls of the mode shown now; those of a mode left behind are
// hidden until they are deleted.
template <typename T>
QList<T*> shownControls(Tessarin* bar)
{
    QList<T*> shown;
    for (T* control : bar->findChildren<T*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!control->isHidden())
            shown << control;
    }
    return shown;
}

// The stored line parameters the bar opens "RS485 COM" with, as "9600 8N1".
QString storedLine(const QString& programName)
{
    const ConnectionSettings::SerialLine line = ConnectionSettings::storedSerialLine(SettingsStore(programName));
    const QChar parityLetter =
        line.parity == 1 ? QLatin1Char('E') : line.parity == 2 ? QLatin1Char('O') : QLatin1Char('N');
    return QStringLiteral("%1 %2%3%4").arg(line.baudRate).arg(line.dataBits).arg(parityLetter).arg(line.stopBits == 2 ? 2 : 1);
}

} // namespace

BarLink::BarLink(Tessarin* bar, const QString& programName, QObject* parent)
    : QObject(parent)
    , bar(bar)
    , programName(programName)
{
    setObjectName(QStringLiteral("barLink"));
}

QComboBox* BarLink::modeList() const
{
    if (!bar)
        return nullptr;
    for (QComboBox* combo : shownControls<QComboBox>(bar)) {
        if (combo->findText(QStringLiteral("RS485 TCP")) >= 0)
            return combo;
    }
    return nullptr;
}

QPushButton* BarLink::connectButton() const
{
    if (!bar)
        return nullptr;
    const QString caption = barText(held() ? "Disconnect" : "Connect");
    for (QPushButton* button : shownControls<QPushButton>(bar)) {
        if (button->text() == caption)
            return button;
    }
    return nullptr;
}

QLineEdit* BarLink::deviceIdEdit() const
{
    return bar ? bar->findChild<QLineEdit*>(QLatin1String(deviceIdObjectName)) : nullptr;
}

QString BarLink::mode() const
{
    const QComboBox* modes = modeList();
    return modes ? modes->currentText() : QString();
}

QString BarLink::lineText() const
{
    if (!bar)
        return QString();
    const QString shownMode = mode();
    if (shownMode == QLatin1String("RS485 TCP")) {
        QStringList place;
        for (QLineEdit* edit : shownControls<QLineEdit>(bar)) {
            if (edit->objectName() != QLatin1String(deviceIdObjectName))
                place << edit->text();
        }
        return shownMode + QLatin1Char(' ') + place.join(QLatin1Char(':'));
    }
    QString port;
    const QComboBox* modes = modeList();
    for (QComboBox* combo : shownControls<QComboBox>(bar)) {
        if (combo != modes)
            port = combo->currentText();
    }
    if (shownMode == QLatin1String("RS485 COM"))
        return QStringLiteral("%1 %2, %3").arg(shownMode, port, storedLine(programName));
    return QStringLiteral("%1 %2").arg(shownMode, port);
}

bool BarLink::held() const
{
    return bar && bar->isConnected();
}

void BarLink::disconnect()
{
    if (!bar)
        return;
    if (held()) {
        if (QPushButton* button = connectButton())
            button->click();
    }
    bar->disconnectCurrentConnector();
}

void BarLink::connect()
{
    if (held())
        return;
    if (QPushButton* button = connectButton())
        button->click();
}

QSharedPointer<Connector> BarLink::borrow(bool shown)
{
    QPushButton* button = held() ? nullptr : connectButton();
    if (!button)
        return QSharedPointer<Connector>();
    borrowed.reset();
    borrowing = true;
    button->click();
    borrowing = false;
    const QSharedPointer<Connector> link = borrowed;
    borrowed.reset();
    if (link && shown)
        bar->setConnected(true);
    else if (link && bar)
        bar->disconnectCurrentConnector();
    return link;
}

bool BarLink::claim(const QSharedPointer<Connector>& link)
{
    if (!borrowing)
        return false;
    borrowed = link;
    return true;
}

void BarLink::setDeviceAddress(int address)
{
    if (QLineEdit* edit = deviceIdEdit())
        edit->setText(QString::number(address));
    SettingsStore store(programName);
    store.setValue(QLatin1String(lastDeviceIdKey), address);
    store.sync();
}

QString BarLink::describe(const Tessarin* bar)
{
    if (!bar)
        return QString();
    // As the bar shows it: its first choice is the mode, the other shown
    // choices and edits the place, the "DeviceID" edit the address.
    QStringList place;
    QString mode;
    QString address;
    for (QWidget* widget : bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (widget->isHidden())
            continue;
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            if (mode.isEmpty())
                mode = combo->currentText();
            else
                place << combo->currentText();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->objectName() == QLatin1String("DeviceID"))
                address = edit->text();
            else
                place << edit->text();
        }
    }
    QString text = mode;
    if (!place.isEmpty())
        text += QLatin1Char(' ') + place.join(QLatin1Char(':'));
    if (!address.isEmpty())
        text += QStringLiteral(", address %1").arg(address);
    return text;
}

int BarLink::deviceAddress(const Tessarin* bar)
{
    const auto* edit = bar ? bar->findChild<QLineEdit*>(QStringLiteral("DeviceID")) : nullptr;
    return edit ? edit->text().toInt() : 0;
}
