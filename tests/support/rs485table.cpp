#include "rs485table.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

namespace Rs485Table {

QComboBox* comboAt(QTableWidget* table, int row)
{
    return qobject_cast<QComboBox*>(table->cellWidget(row, 0));
}

QLineEdit* editAt(QTableWidget* table, int row)
{
    return qobject_cast<QLineEdit*>(table->cellWidget(row, 0));
}

bool choose(QTableWidget* table, int row, const QString& text)
{
    QComboBox* combo = comboAt(table, row);
    if (!combo || combo->findText(text) < 0)
        return false;
    combo->setCurrentIndex(combo->findText(text));
    return true;
}

bool chooseIndex(QTableWidget* table, int row, int index)
{
    QComboBox* combo = comboAt(table, row);
    if (!combo || index < 0 || index >= combo->count())
        return false;
    combo->setCurrentIndex(index);
    return true;
}

void typeBaudRate(QTableWidget* table, const QString& text)
{
    QComboBox* combo = comboAt(table, 1);
    if (!combo || !combo->lineEdit())
        return;
    combo->lineEdit()->clear();
    QTest::keyClicks(combo->lineEdit(), text);
}

bool typeIntoEdit(QTableWidget* table, int row, const QString& text)
{
    QLineEdit* edit = editAt(table, row);
    if (!edit)
        return false;
    edit->clear();
    QTest::keyClicks(edit, text);
    return true;
}

bool typeIntoCell(QTableWidget* table, int row, const QString& text)
{
    QTableWidgetItem* item = table->item(row, 0);
    if (!item)
        return false;
    table->setCurrentItem(item);
    table->editItem(item);
    QWidget* editor = table->indexWidget(table->model()->index(row, 0));
    if (!editor)
        return false;
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits and closes its editor from the event loop.
    QCoreApplication::processEvents();
    return true;
}

QStringList rowLabels(QTableWidget* table)
{
    QStringList labels;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        labels << (header ? header->text() : QStringLiteral("<none>"));
    }
    return labels;
}

} // namespace Rs485Table
