#pragma once

// Reading and driving the DI/DO tables the way a technician sees them, for the
// DI/DO editor tests.

#include "boardsetup.h"

#include <QBrush>
#include <QColor>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

namespace DiDoCells {

// DI columns.
enum { DiOn = 0, DiName = 1, DiAddr = 2, DiDp = 3, DiRole = 4, DiType = 5, DiNominal = 6, DiDebounce = 7 };
// DO columns.
enum { DoOn = 0, DoName = 1, DoAddr = 2, DoMode = 3, DoDp = 4, DoHold = 5 };

inline QTableWidget* diTable(QWidget& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("tableWidgetDIConfig"));
}

inline QTableWidget* doTable(QWidget& window)
{
    return window.findChild<QTableWidget*>(QStringLiteral("tableWidgetDOConfig"));
}

inline QPushButton* button(QWidget& window, const char* name)
{
    return window.findChild<QPushButton*>(QString::fromLatin1(name));
}

inline QLineEdit* edit(QTableWidget* table, int row, int column)
{
    return qobject_cast<QLineEdit*>(table->cellWidget(row, column));
}

inline QComboBox* combo(QTableWidget* table, int row, int column)
{
    return qobject_cast<QComboBox*>(table->cellWidget(row, column));
}

inline bool checked(QTableWidget* table, int row, int column)
{
    return table->item(row, column)->checkState() == Qt::Checked;
}

// As a click on the check box does: the table sees an item change.
inline void setChecked(QTableWidget* table, int row, int column, bool on)
{
    table->item(row, column)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
}

// A check item the technician can click.
inline bool clickable(QTableWidget* table, int row, int column)
{
    const Qt::ItemFlags flags = table->item(row, column)->flags();
    return (flags & Qt::ItemIsEnabled) && (flags & Qt::ItemIsUserCheckable);
}

// Greyed: every item disabled with the grey background, every cell widget disabled.
inline bool rowGreyed(QTableWidget* table, int row)
{
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* item = table->item(row, column);
        if (!item || (item->flags() & Qt::ItemIsEnabled) || item->background().color() != QColor(220, 220, 220))
            return false;
        if (QWidget* widget = table->cellWidget(row, column)) {
            if (widget->isEnabled() || !widget->styleSheet().contains(QLatin1String("#dcdcdc")))
                return false;
        }
    }
    return true;
}

// White: every item enabled with the white background, every cell widget
// enabled. A DO row's DP cell is white too but follows its mode (see clickable).
inline bool rowWhite(QTableWidget* table, int row)
{
    const bool doTable = table->objectName() == QLatin1String("tableWidgetDOConfig");
    for (int column = 0; column < table->columnCount(); ++column) {
        const QTableWidgetItem* item = table->item(row, column);
        if (!item || item->background().color() != QColor(Qt::white))
            return false;
        if (!(doTable && column == DoDp) && !(item->flags() & Qt::ItemIsEnabled))
            return false;
        if (QWidget* widget = table->cellWidget(row, column)) {
            if (!widget->isEnabled() || !widget->styleSheet().contains(QLatin1String("#ffffff")))
                return false;
        }
    }
    return true;
}

// A board running its main firmware, of `type` (0: unknown) and firmware
// version `firmware`, as the session's readout finds it; the rows and columns follow.
inline void setBoard(BoardSession& session, const QSharedPointer<ScriptedConnector>& link, quint16 type,
                     const QString& firmware)
{
    QVERIFY(identify(session, link, 0, type, firmware));
}

} // namespace DiDoCells
