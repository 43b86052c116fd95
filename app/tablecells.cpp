#include "tablecells.h"

#include <QComboBox>
#include <QIntValidator>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace TableCells {

QTableWidgetItem* checkItem(bool checked)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

QTableWidgetItem* titleItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QLineEdit* numberEdit(int bottom, int top)
{
    auto* edit = new QLineEdit;
    edit->setFrame(false);
    edit->setValidator(new QIntValidator(bottom, top, edit));
    return edit;
}

bool isChecked(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item && item->checkState() == Qt::Checked;
}

void setChecked(QTableWidget* table, int row, int column, bool checked)
{
    if (QTableWidgetItem* item = table->item(row, column))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QComboBox* comboAt(const QTableWidget* table, int row, int column)
{
    return table ? qobject_cast<QComboBox*>(table->cellWidget(row, column)) : nullptr;
}

QLineEdit* editAt(const QTableWidget* table, int row, int column)
{
    return table ? qobject_cast<QLineEdit*>(table->cellWidget(row, column)) : nullptr;
}

QString editText(const QTableWidget* table, int row, int column)
{
    const QLineEdit* edit = editAt(table, row, column);
    return edit ? edit->text() : QString();
}

void setEditText(QTableWidget* table, int row, int column, const QString& text)
{
    if (QLineEdit* edit = editAt(table, row, column))
        edit->setText(text);
}

void setComboIndexQuietly(QComboBox* combo, int index)
{
    if (!combo)
        return;
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index);
}

int comboData(const QTableWidget* table, int row, int column)
{
    const QComboBox* combo = comboAt(table, row, column);
    return combo ? combo->currentData().toInt() : 0;
}

} // namespace TableCells
