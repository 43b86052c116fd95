#include "didopanel.h"

#include "boardcontext.h"
#include "boardinfo.h"
#include "configcommands.h"
#include "configlayout.h"
#include "didotables.h"
#include "tablecells.h"
#include "valuerules.h"
#include "windowtext.h"

#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

DiDoPanel::DiDoPanel(QTableWidget* di, QTableWidget* dout, BoardContext* context, QObject* parent)
    : QObject(parent)
    , cells(new DiDoTables(di, dout, context, this))
    , context(context)
{
    setObjectName(QStringLiteral("diDoPanel"));
    connect(di, &QTableWidget::customContextMenuRequested, this, &DiDoPanel::contextMenuRequested);
    connect(context, &BoardContext::changed, this, &DiDoPanel::updateTables);
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
    return context->linked() && context->state().mainFirmwareRunning();
}

// ---- Rows and columns ----

void DiDoPanel::updateTables()
{
    QTableWidget* di = cells->diTable();
    QTableWidget* dout = cells->doTable();
    const BoardState& board = context->state();

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
    const BoardState& board = context->state();
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
        ValueRules::checkDiDo(edited, diDoConfig, ConfigLayout::of(context->state()));
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
    if (!readAndShow())
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка чтения параметров DI/DO\n"));
}

bool DiDoPanel::readAndShow()
{
    const bool read = readDiDoConfig();
    if (read) {
        showRecord();
        shownFromBoard = true;
    }
    return read;
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

    diDoConfig = collected;
    if (writeAll(diDoConfig)) {
        // The tables now hold what the board holds.
        shown = diDoConfig;
        shownFromBoard = true;
        QMessageBox::information(boxParent(), windowText("Vantor"), windowText("Параметры DI/DO успешно записаны\n"));
    } else {
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка записи параметров DI/DO\n"));
    }
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
    const ExchangeResult restore = restoreFactory();
    if (!restore.written()) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка команды записи\n"));
        return;
    }
    if (!restore.accepted) {
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка сброса настроек\n"));
        return;
    }
    if (readAndShow())
        QMessageBox::information(boxParent(), windowText("Vantor"),
                                 windowText("Настройки сброшены, требуется перезагрузка\n"));
    else
        QMessageBox::warning(boxParent(), windowText("Vantor"), windowText("Ошибка чтения параметров\n"));
}

void DiDoPanel::contextMenuRequested(const QPoint& pos)
{
    cells->contextMenuRequested(pos);
}

// ---- Board calls ----

ConfigCommands DiDoPanel::commands() const
{
    return ConfigCommands(context->connector(), context->state());
}

bool DiDoPanel::readDiConfig()
{
    return commands().readDiConfig(diDoConfig);
}

bool DiDoPanel::readDiDebounce()
{
    return commands().readDiDebounce(diDoConfig);
}

bool DiDoPanel::readDiExtended()
{
    return commands().readDiExtended(diDoConfig);
}

bool DiDoPanel::readDoConfig()
{
    return commands().readDoConfig(diDoConfig);
}

bool DiDoPanel::readDiDoConfig()
{
    return commands().readDiDoConfig(diDoConfig);
}

bool DiDoPanel::writeDiExtended()
{
    return commands().writeDiExtended(diDoConfig);
}

bool DiDoPanel::writeDoConfig()
{
    return commands().writeDoConfig(diDoConfig);
}

bool DiDoPanel::writeAll(const DiDoConfig& record)
{
    // Every step is attempted even after one failed (the core's sequence).
    const bool written = commands().writeDiDoConfig(record);
    context->log(QStringLiteral("config-write DI/DO"), written);
    return written;
}

ExchangeResult DiDoPanel::restoreFactory()
{
    const ExchangeResult restore = commands().restoreFactory();
    context->log(QStringLiteral("factory-restore"), restore);
    return restore;
}
