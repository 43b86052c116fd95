#pragma once

#include <QString>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QTableWidget;

// Drives one RS-485 port table of the window as a technician does: choices by
// their text, keys into the editors, Enter to end an edit. Row numbers are the
// table's own (1 "Скорость" ... 5 "Протокол", 7 and on the protocol's rows).
namespace Rs485Table {

QComboBox* comboAt(QTableWidget* table, int row);
QLineEdit* editAt(QTableWidget* table, int row);

// Picks the choice showing `text` (false when the row has no such choice).
bool choose(QTableWidget* table, int row, const QString& text);
bool chooseIndex(QTableWidget* table, int row, int index);

// Keys into the baud rate's own edit, replacing what it showed.
void typeBaudRate(QTableWidget* table, const QString& text);

// Keys into a line edit of the IEC101 rows; its validator sees every key.
bool typeIntoEdit(QTableWidget* table, int row, const QString& text);

// Opens the editor the view gives for the cell, keys `text` into whatever
// widget that is, and presses Enter. A widget left covering the cell takes the
// keys, exactly as it would take the technician's.
bool typeIntoCell(QTableWidget* table, int row, const QString& text);

// The vertical header, "<none>" for a row without a label item.
QStringList rowLabels(QTableWidget* table);

} // namespace Rs485Table
