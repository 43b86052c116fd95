#pragma once

#include <QString>

class QComboBox;
class QLineEdit;
class QTableWidget;
class QTableWidgetItem;

// Reading and setting the cells of the editors' tables: check items, and the
// combo boxes and line edits placed in cells.
namespace TableCells {

// A check item the technician can click.
QTableWidgetItem* checkItem(bool checked);
// Text that is shown but neither edited nor selected.
QTableWidgetItem* titleItem(const QString& text);
// A frameless edit taking integers from `bottom` to `top`.
QLineEdit* numberEdit(int bottom, int top);

bool isChecked(const QTableWidget* table, int row, int column);
void setChecked(QTableWidget* table, int row, int column, bool checked);

QComboBox* comboAt(const QTableWidget* table, int row, int column = 0);
QLineEdit* editAt(const QTableWidget* table, int row, int column = 0);
// The edit's text; empty where the cell holds no edit.
QString editText(const QTableWidget* table, int row, int column = 0);
void setEditText(QTableWidget* table, int row, int column, const QString& text);
// Sets a combo without letting its handlers see the change.
void setComboIndexQuietly(QComboBox* combo, int index);
// The data of the selected item; 0 where the cell holds no combo.
int comboData(const QTableWidget* table, int row, int column);

} // namespace TableCells
