#pragma once

#include "configblocks.h"

#include <QObject>
#include <QPoint>

class BoardSession;
class QTableWidget;
class QTableWidgetItem;

// The DI and DO tables of the DI/DO tab as an editor of one DiDoConfig: built
// once, filled from a record and read back into one, and kept consistent
// while the technician edits (pairs of inputs, outputs that take the next
// one with them, "Повторить везде").
class DiDoTables : public QObject
{
    Q_OBJECT

public:
    enum DiColumn { DiEnabled, DiChannel, DiAddress, DiDpPair, DiDpRole, DiType, DiNominal, DiDebounce, DiColumns };
    enum DoColumn { DoEnabled, DoChannel, DoAddress, DoMode, DoDp, DoHold, DoColumns };

    // The board of `session` decides how many inputs there are and which may pair.
    DiDoTables(QTableWidget* di, QTableWidget* dout, const BoardSession* session, QObject* parent = nullptr);

    QTableWidget* diTable() const { return di; }
    QTableWidget* doTable() const { return dout; }

    // Rows, columns and cell editors, every row painted usable (once).
    void build();
    void show(const DiDoConfig& record);
    // The tables read into `record`, which must hold what the tables were
    // shown from: a cell that still shows its record value keeps that value
    // exactly, and hidden rows are not read at all.
    void collectInto(DiDoConfig& record) const;

    // A context menu asked for at `pos` of the DI table's viewport.
    void contextMenuRequested(const QPoint& pos);
    void showRepeatMenu(int row, int column, const QPoint& globalPos);
    void repeatEverywhere(int row, int column);

    void paintRow(QTableWidget* table, int row, bool enabled);
    void updateDoDpCell(QTableWidget* table, int row);

private:
    int diRows() const;
    // The pairing rules while editing.
    void onDiDpItemChanged(QTableWidgetItem* item);
    void onDiDpRoleChanged(int row, int index);
    void onDoModeChanged(int row, int index);
    // DI rows in use: a row is greyed while the row above starts a pair.
    void paintDiPairs();

    QTableWidget* di;
    QTableWidget* dout;
    const BoardSession* session;
};
