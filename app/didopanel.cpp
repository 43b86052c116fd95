#include "didopanel.h"

#include "boardinfo.h"
#include "boardsession.h"
#include "boardtexts.h"
#include "configlayout.h"
#include "didotables.h"
#include "tablecells.h"
#include "valuerules.h"
#include "windowtext.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

DiDoPanel::DiDoPanel(QTableWidget* di, QTableWidget* dout, BoardSession* session, QObject* parent)
    : QObject(parent)
    , cells(new DiDoTables(di, dout, session, this))
    , session(session)
{
    setObjectName(QStringLiteral("diDoPanel"));
    connect(di, &QTableWidget::customContextMenuRequested, this, &DiDoPanel::contextMenuRequested);
    connect(session, &BoardSession::stateChanged, this, &DiDoPanel::updateTables);
    // The shape for an unknown board, filled with the factory record.
    cells->build();
    updateTables();
    resetToFactory();
}

QWidget* DiDoPanel::boxParent() const
{
    return cells->diTable()->window();
}

bool DiDoPanel::mainFirmwareLinked() const
{
    return session->hasLink() && session->board().mainFirmwareRunning();
}

// ---- Rows and columns ----

void DiDoPanel::updateTables()
{
    QTableWidget* di = cells->diTable();
    QTableWidget* dout = cells->doTable();
    const BoardState& board = session->board();

    if (dout->rowCount() < BoardInfo::MaxDoChannels)
        dout->setRowCount(BoardInfo::MaxDoChannels);

    di->setEnabled(!board.lacksDiTable());
    const int count = board.diChannelCount();
    for (int row = 0; row < BoardInfo::MaxDiChannels; ++row)
        di->setRowHidden(row, row >= count);

    updateColumns();

    dout->setVisible(board.hasDoTable());
    dout->setRowHidden(BoardInfo::MaxDoChannels - 1, !board.hasNinthDo());
}

void DiDoPanel::updateColumns()
{
    QTableWidget* di = cells->diTable();
    const BoardState& board = session->board();
    const bool extended = board.diExtendedSupported();
    for (int column = DiDoTables::DiDpPair; column <= DiDoTables::DiNominal; ++column)
        di->setColumnHidden(column, !extended);
    di->setColumnHidden(DiDoTables::DiDebounce, !board.diDebounceSupported());
    cells->doTable()->setColumnHidden(DiDoTables::DoDp, !board.doDpSupported());
}

// ---- Record <-> tables ----

void DiDoPanel::showRecord(const DiDoConfig& record, bool fromBoard)
{
    diDoConfig = record;
    showRecord();
    shownFromBoard = fromBoard;
}

void DiDoPanel::showRecord()
{
    cells->show(diDoConfig);
    shown = diDoConfig;
}

void DiDoPanel::collectRecord()
{
    cells->collectInto(diDoConfig);
}

DiDoConfig DiDoPanel::edited() const
{
    DiDoConfig record = diDoConfig;
    cells->collectInto(record);
    return record;
}

QStringList DiDoPanel::valuesOutOfRange(const DiDoConfig& edited, QWidget** firstOffender) const
{
    // The core's rule decides (only what the layout sends, only what differs
    // from the record shown); the cells supply the words and the text typed.
    QStringList problems;
    QWidget* first = nullptr;
    const QList<ValueRules::Problem> found =
        ValueRules::checkDiDo(edited, diDoConfig, ConfigLayout::of(session->board()));
    for (const ValueRules::Problem& problem : found) {
        const bool inDi = problem.field == ValueRules::Field::DiAddress || problem.field == ValueRules::Field::DiDebounce;
        const QTableWidget* table = inDi ? cells->diTable() : cells->doTable();
        int column = DiDoTables::DiAddress;
        QString what = windowText("Адрес");
        if (problem.field == ValueRules::Field::DiDebounce) {
            column = DiDoTables::DiDebounce;
            what = windowText("Антидребезг, мс");
        } else if (problem.field == ValueRules::Field::DoHold) {
            column = DiDoTables::DoHold;
            what = windowText("Удержание, мс");
        } else if (problem.field == ValueRules::Field::DoAddress) {
            column = DiDoTables::DoAddress;
        }
        QLineEdit* edit = TableCells::editAt(table, problem.index, column);
        const ValueRules::Range range = problem.range();
        problems << windowText("%1, «%2»: %3 (допустимо %4–%5%6)")
                        .arg(problem.place(), what, edit ? edit->text() : QString::number(problem.value))
                        .arg(range.low)
                        .arg(range.high)
                        .arg(range.zeroMeansNone ? windowText(" или пусто") : QString());
        if (!first)
            first = edit;
    }
    if (firstOffender)
        *firstOffender = first;
    return problems;
}

// ---- The four buttons ----

void DiDoPanel::update()
{
    if (!mainFirmwareLinked())
        return;
    const bool read = session->readDiDo();
    takeBoardRecord(read);
    if (!read)
        QMessageBox::warning(boxParent(), windowText("Vantor"), BoardTexts::diDoReadFailed());
}

void DiDoPanel::takeBoardRecord(bool read)
{
    diDoConfig = session->diDo();
    if (read) {
        showRecord();
        shownFromBoard = true;
    }
}

void DiDoPanel::save()
{
    if (!mainFirmwareLinked())
        return;

    // The validators let a number above their top stay in an edit when it has
    // no more digits than the top ("9999" against 4095). Such a value must not
    // reach the board: refuse the whole save and say where it is. What the
    // board gave and nobody changed goes back as it came.
    const DiDoConfig collected = edited();
    QWidget* offender = nullptr;
    const QStringList outOfRange = valuesOutOfRange(collected, &offender);
    if (!outOfRange.isEmpty()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"),
                             windowText("Значения вне допустимого диапазона:\n%1\nПараметры DI/DO не записаны\n")
                                 .arg(outOfRange.join(QLatin1Char('\n'))));
        if (offender)
            offender->setFocus();
        return;
    }

    // Written and read back by the session: a board that acknowledged but
    // holds something else is named field by field, the board's value first.
    diDoConfig = collected;
    const BoardSession::WriteResult result = session->writeDiDo(diDoConfig);
    if (result.ok()) {
        // The tables now hold what the board holds.
        shown = diDoConfig;
        shownFromBoard = true;
    }
    showOutcome(boxParent(), result.ok(), result.text);
}

void DiDoPanel::resetToFactory()
{
    ConfigBlocks::resetDiDoRecord(diDoConfig);
    showRecord(diDoConfig, false);
}

void DiDoPanel::fillFactory()
{
    if (!mainFirmwareLinked())
        return;
    // 0xA1, then the DI/DO blocks read again.
    const BoardSession::RestoreResult result = session->restoreFactory();
    if (result.restore.accepted)
        takeBoardRecord(result.readBack);
    showOutcome(boxParent(), result.ok(), result.text);
}

void DiDoPanel::contextMenuRequested(const QPoint& pos)
{
    cells->contextMenuRequested(pos);
}

// ---- Reads and writes of single steps ----

bool DiDoPanel::readDiDoConfig()
{
    const bool read = session->readDiDo();
    takeBoardRecord(false);
    return read;
}

bool DiDoPanel::readBlock(BoardSession::Block block)
{
    const bool read = session->readDiDoBlock(block);
    takeBoardRecord(false);
    return read;
}

bool DiDoPanel::writeBlock(BoardSession::Block block)
{
    return session->writeDiDo(diDoConfig, QList<BoardSession::Block> { block }).ok();
}
