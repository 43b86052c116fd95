#include "readingorder.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QHeaderView>
#include <QLayout>
#include <QMainWindow>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>

namespace {

void collectWidget(QWidget* widget, QList<QWidget*>& out);

void collectLayout(QLayout* layout, QList<QWidget*>& out)
{
    QList<QLayoutItem*> items;
    for (int i = 0; i < layout->count(); ++i)
        items << layout->itemAt(i);
    // A grid lists its items in the order they were added; read it by rows.
    if (auto* grid = qobject_cast<QGridLayout*>(layout)) {
        auto cell = [grid](QLayoutItem* item) {
            int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
            grid->getItemPosition(grid->indexOf(item), &row, &column, &rowSpan, &columnSpan);
            return qMakePair(row, column);
        };
        std::stable_sort(items.begin(), items.end(),
                         [&cell](QLayoutItem* a, QLayoutItem* b) { return cell(a) < cell(b); });
    }
    for (QLayoutItem* item : items) {
        if (QWidget* widget = item->widget())
            collectWidget(widget, out);
        else if (QLayout* inner = item->layout())
            collectLayout(inner, out);
    }
}

void collectCells(QTableView* table, QList<QWidget*>& out)
{
    const QAbstractItemModel* model = table->model();
    if (!model)
        return;
    const QHeaderView* rows = table->verticalHeader();
    const QHeaderView* columns = table->horizontalHeader();
    for (int visualRow = 0; visualRow < model->rowCount(); ++visualRow) {
        const int row = rows->logicalIndex(visualRow);
        if (table->isRowHidden(row))
            continue;
        for (int visualColumn = 0; visualColumn < model->columnCount(); ++visualColumn) {
            const int column = columns->logicalIndex(visualColumn);
            if (table->isColumnHidden(column))
                continue;
            if (QWidget* editor = table->indexWidget(model->index(row, column)))
                collectWidget(editor, out);
        }
    }
}

void collectWidget(QWidget* widget, QList<QWidget*>& out)
{
    if (!widget->isVisible() || !widget->isEnabled())
        return;
    if (auto* window = qobject_cast<QMainWindow*>(widget)) {
        if (window->centralWidget())
            collectWidget(window->centralWidget(), out);
        return;
    }
    // One that hands its focus on (a tab widget to its bar) is reached
    // through the one it hands it to.
    if ((widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus && !widget->focusProxy())
        out << widget;
    if (auto* tabs = qobject_cast<QTabWidget*>(widget)) {
        collectWidget(tabs->tabBar(), out);
        if (tabs->currentWidget())
            collectWidget(tabs->currentWidget(), out);
        return;
    }
    if (auto* table = qobject_cast<QTableView*>(widget)) {
        collectCells(table, out);
        return;
    }
    // Anything else without a layout of its own (a combo box, a spin box, a
    // line edit) is one stop, whatever its inner parts.
    if (widget->layout())
        collectLayout(widget->layout(), out);
}

} // namespace

QList<QWidget*> ReadingOrder::of(QWidget* root)
{
    QList<QWidget*> out;
    if (root)
        collectWidget(root, out);
    return out;
}

QWidget* ReadingOrder::neighbour(QWidget* root, QWidget* focus, bool next)
{
    const QList<QWidget*> order = of(root);
    if (order.isEmpty())
        return nullptr;
    // The focus may sit inside a listed control (the line edit of a spin box).
    int at = -1;
    for (QWidget* w = focus; w && at < 0; w = w->parentWidget())
        at = order.indexOf(w);
    const int count = order.size();
    if (at < 0)
        return next ? order.first() : order.last();
    return order.at((at + (next ? 1 : count - 1)) % count);
}
