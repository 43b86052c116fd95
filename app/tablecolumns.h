#pragma once

class QTableWidget;

// Column widths that show a table's headers and contents whole. Qt sizes a
// column with a line edit in it by the edit's size hint (room for some
// seventeen characters) whatever it can hold; here a number edit is sized
// by the widest number its validator lets through, anything else by its
// size hint, and every column at least by its header. The columns stay
// resizable by hand.
namespace TableColumns {

// Returns the width the table needs to show all its columns, hidden ones
// included, without scrolling.
int fitToContents(QTableWidget* table);

} // namespace TableColumns
