#include "barlink.h"

#include "tessarin.h"

#include <QComboBox>
#include <QLineEdit>
#include <QStringList>

namespace BarLink {

QString describe(const Tessarin* bar)
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

int deviceAddress(const Tessarin* bar)
{
    const auto* edit = bar ? bar->findChild<QLineEdit*>(QStringLiteral("DeviceID")) : nullptr;
    return edit ? edit->text().toInt() : 0;
}

} // namespace BarLink
