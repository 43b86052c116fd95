#pragma once

#include "boardsession.h"
#include "configblocks.h"

#include <QObject>
#include <QPoint>
#include <QStringList>

class DiDoTables;
class QTableWidget;

// The DI/DO tab: the window's DiDoConfig record, the tables that edit it, the
// four buttons that move it to and from the board through the session, and
// which rows and columns the board's type and firmware version offer.
class DiDoPanel : public QObject
{
    Q_OBJECT

public:
    DiDoPanel(QTableWidget* di, QTableWidget* dout, BoardSession* session, QObject* parent = nullptr);

    DiDoTables* tables() const { return cells; }

    // "Update", "Save", "Reset to factory", "Fill factory".
    void update();
    void save();
    void resetToFactory();
    void fillFactory();
    // "Повторить везде" from the DI table.
    void contextMenuRequested(const QPoint& pos);

    // Rows by board type; ends with updateColumns.
    void updateTables();
    // Columns by board type and firmware version.
    void updateColumns();

    // The record and what the tables were last filled with (a read, a file,
    // the factory values or a completed save); they differ only where a read
    // failed halfway.
    const DiDoConfig& record() const { return diDoConfig; }
    const DiDoConfig& shownRecord() const { return shown; }
    // Whether what the tables were last filled with came from the board.
    bool shownIsBoards() const { return shownFromBoard; }
    // Puts `record` into the record and the tables.
    void showRecord(const DiDoConfig& record, bool fromBoard);
    void showRecord();
    void collectRecord();
    // What Save would send now; the record itself stays.
    DiDoConfig edited() const;
    // The values of `edited` that Save would send, that differ from the record
    // shown and lie outside their editor's range, one line each; empty when
    // everything may go to the board.
    QStringList valuesOutOfRange(const DiDoConfig& edited, QWidget** firstOffender = nullptr) const;

    // The session's DI/DO record after it read the board: into the record,
    // and into the tables when the read succeeded (a failed read leaves its
    // part of the record as it was, and the tables as they are).
    void takeBoardRecord(bool read);
    // The reads of "Update" into the record (not shown), all or one block.
    bool readDiDoConfig();
    bool readBlock(BoardSession::Block block);
    // One block of the record to the board, read back.
    bool writeBlock(BoardSession::Block block);

private:
    QWidget* boxParent() const;
    bool mainFirmwareLinked() const;

    DiDoTables* cells;
    BoardSession* session;
    DiDoConfig diDoConfig;
    DiDoConfig shown;
    bool shownFromBoard = false;
};
