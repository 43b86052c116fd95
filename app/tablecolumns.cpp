#include "tablecolumns.h"

#include <QFontMetrics>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QScrollBar>
#include <QStyle>
#include <QTableWidget>

namespace TableColumns {

namespace {

int editorWidth(QWidget* editor)
{
    auto* edit = qobject_cast<QLineEdit*>(editor);
    const auto* numbers = edit ? qobject_cast<const QIntValidator*>(edit->validator()) : nullptr;
    if (!numbers)
        return editor->sizeHint().width();
    const QFontMetrics metrics = edit->fontMetrics();
    const int widest = qMax(metrics.horizontalAdvance(QString::number(numbers->bottom())),
                            metrics.horizontalAdvance(QString::number(numbers->top())));
    // The edit's own margins, its cursor, and a frame if it has one.
    const QMargins margins = edit->textMargins();
    const int frame = edit->hasFrame() ? 2 * edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) : 0;
    return widest + margins.left() + margins.right() + 2 * 2 + 1 + frame + 4;
}

} // namespace

int fitToContents(QTableWidget* table)
{
    if (!table)
        return 0;
    int total = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    if (!table->verticalHeader()->isHidden())
        total += table->verticalHeader()->sizeHint().width();
    QHeaderView* header = table->horizontalHeader();
    // Interactive, not fitted by Qt every time: a hand-set width stays.
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < table->columnCount(); ++column) {
        // A hidden column has no header hint; it is measured shown.
        const bool hidden = table->isColumnHidden(column);
        table->setColumnHidden(column, false);
        int width = header->isHidden() ? 0 : header->sectionSizeHint(column);
        table->setColumnHidden(column, hidden);
        for (int row = 0; row < table->rowCount(); ++row) {
            if (QWidget* editor = table->cellWidget(row, column))
                width = qMax(width, editorWidth(editor));
            else
                width = qMax(width, table->sizeHintForIndex(table->model()->index(row, column)).width());
        }
        header->resizeSection(column, width);
        total += width;
    }
    return total;
}

} // namespace TableColumns
