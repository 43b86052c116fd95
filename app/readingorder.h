#pragma once

#include <QList>

class QWidget;

// The controls of a window in the order a technician reads them: each layout
// top to bottom and left to right, a tab widget's bar before its current
// page, a table before the editors in its cells, row by row. Only what Tab
// can reach now is listed: visible, enabled, accepting Tab focus.
//
// Qt's own focus chain follows creation order, so controls built later (the
// cell editors, a connection row rebuilt for another mode) land at its end,
// and a table that moves between its cells on Tab never lets go; walking this
// list instead keeps Tab and Shift+Tab in reading order whatever was rebuilt.
class ReadingOrder
{
public:
    static QList<QWidget*> of(QWidget* root);
    // The widget after (or before) the one holding the focus, wrapping round;
    // null when the list is empty.
    static QWidget* neighbour(QWidget* root, QWidget* focus, bool next);
};
