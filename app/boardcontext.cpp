#include "boardcontext.h"

#include "commandexchange.h"
#include "connector.h"
#include "tessarin.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

BoardContext::BoardContext(QObject* parent)
    : QObject(parent)
{
    setObjectName(QStringLiteral("boardContext"));
}

void BoardContext::setLink(const QSharedPointer<Connector>& link)
{
    if (held == link)
        return;
    held = link;
    emit changed();
}

void BoardContext::setState(const BoardState& state)
{
    if (board == state)
        return;
    board = state;
    emit changed();
}

void BoardContext::setBar(Tessarin* bar)
{
    connectionBar = bar;
}

QString BoardContext::linkDescription() const
{
    if (!connectionBar)
        return QString();
    // As the connection bar shows it: mode, then port or address, then device address.
    QStringList place;
    QString mode;
    QString address;
    for (QWidget* widget : connectionBar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
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

int BoardContext::deviceAddress() const
{
    const auto* edit = connectionBar ? connectionBar->findChild<QLineEdit*>(QStringLiteral("DeviceID")) : nullptr;
    return edit ? edit->text().toInt() : 0;
}

void BoardContext::log(OperationRecord record) const
{
    record.program = QStringLiteral("window");
    record.link = linkDescription();
    record.board = board;
    // A log that cannot be written must not stand in the technician's way.
    OperationsLog().append(record);
}

void BoardContext::log(const QString& operation, bool ok, const QString& outcome) const
{
    OperationRecord record;
    record.operation = operation;
    record.ok = ok;
    record.outcome = outcome;
    log(record);
}

void BoardContext::log(const QString& operation, const ExchangeResult& result) const
{
    OperationRecord record;
    record.operation = operation;
    record.takeOutcome(result);
    log(record);
}
