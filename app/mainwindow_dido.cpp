#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boardinfo.h"
#include "configcommands.h"
#include "configlayout.h"
#include "connector.h"
#include "valuerules.h"

#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

// The DI/DO configuration editor: two tables that show and edit the window's
// DiDoConfig record, the pairing rules that keep the tables consistent while
// the technician edits, and the four buttons that move the record to and from
// the board. The byte work is all in the core (ConfigBlocks, ConfigCommands).

namespace {

// DI table columns.
enum DiColumn {
    DiEnabled = 0,
    DiChannel = 1,
    DiAddress = 2,
    DiDpPair = 3,
    DiDpRole = 4,
    DiType = 5,
    DiNominal = 6,
    DiDebounce = 7,
    DiColumns = 8,
};

// DO table columns.
enum DoColumn {
    DoEnabled = 0,
    DoChannel = 1,
    DoAddress = 2,
    DoMode = 3,
    DoDp = 4,
    DoHold = 5,
    DoColumns = 6,
};

constexpr int DoModeGroup = 1;

// Editor ranges (the same rules check what Save sends).
constexpr int AddressBottom = int(ValueRules::objectAddress.low);
constexpr int AddressTop = int(ValueRules::objectAddress.high);
constexpr int DebounceTop = int(ValueRules::debounceMs.high);
constexpr int HoldTop = int(ValueRules::holdMs.high);

const QColor enabledColour(Qt::white);
const QColor disabledColour(220, 220, 220);

QTableWidgetItem* checkItem(bool checked)
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    return item;
}

QTableWidgetItem* channelItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

// The item under a cell widget: it only carries the row's background and flags.
QTableWidgetItem* underItem()
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

QLineEdit* numberEdit(int bottom, int top)
{
    auto* edit = new QLineEdit;
    edit->setFrame(false);
    edit->setValidator(new QIntValidator(bottom, top, edit));
    return edit;
}

bool isChecked(const QTableWidget* table, int row, int column)
{
    const QTableWidgetItem* item = table->item(row, column);
    return item && item->checkState() == Qt::Checked;
}

void setChecked(QTableWidget* table, int row, int column, bool checked)
{
    if (QTableWidgetItem* item = table->item(row, column))
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

QComboBox* comboAt(const QTableWidget* table, int row, int column)
{
    return qobject_cast<QComboBox*>(table->cellWidget(row, column));
}

QLineEdit* editAt(const QTableWidget* table, int row, int column)
{
    return qobject_cast<QLineEdit*>(table->cellWidget(row, column));
}

QString editText(const QTableWidget* table, int row, int column)
{
    const QLineEdit* edit = editAt(table, row, column);
    return edit ? edit->text() : QString();
}

void setEditText(QTableWidget* table, int row, int column, const QString& text)
{
    if (QLineEdit* edit = editAt(table, row, column))
        edit->setText(text);
}

// Sets a combo without letting its handlers see the change.
void setComboIndexQuietly(QComboBox* combo, int index)
{
    if (!combo)
        return;
    const QSignalBlocker blocker(combo);
    combo->setCurrentIndex(index);
}

int comboData(const QTableWidget* table, int row, int column)
{
    const QComboBox* combo = comboAt(table, row, column);
    return combo ? combo->currentData().toInt() : 0;
}

// An object address or hold time as the edits hold them: a number in the
// default locale; an empty or unreadable text is 0.
quint32 localeNumber(const QLocale& locale, const QString& text)
{
    bool ok = false;
    const qlonglong value = locale.toLongLong(text, &ok);
    return ok && value > 0 ? quint32(qMin<qlonglong>(value, 0xFFFFFFFF)) : 0;
}

// A debounce time: an unsigned decimal number; anything else is 0.
quint32 decimalNumber(const QString& text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok);
    return ok ? value : 0;
}

QString addressText(quint32 address)
{
    return address == 0 ? QString() : QString::number(address);
}

} // namespace

// ---- Building the tables ----

void MainWindow::buildDiDoTables()
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    QTableWidget* dout = ui->tableWidgetDOConfig;

    di->setRowCount(BoardInfo::MaxDiChannels);
    di->setColumnCount(DiColumns);
    di->setHorizontalHeaderLabels({tr("Вкл"), tr("Канал"), tr("Адрес"), tr("DP"), tr("DP роль"), tr("Тип"),
                                   tr("Номинал"), tr("Антидребезг, мс")});
    di->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    di->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(di, &QTableWidget::customContextMenuRequested, this, &MainWindow::onDiConfigContextMenuRequested);

    for (int row = 0; row < BoardInfo::MaxDiChannels; ++row) {
        di->setItem(row, DiEnabled, checkItem(true));
        di->setItem(row, DiChannel, channelItem(QStringLiteral("DI_%1").arg(row + 1)));

        di->setItem(row, DiAddress, underItem());
        di->setCellWidget(row, DiAddress, numberEdit(AddressBottom, AddressTop));

        di->setItem(row, DiDpPair, checkItem(false));

        auto* role = new QComboBox;
        role->addItem(QStringLiteral("DP_OFF"), 0);
        role->addItem(QStringLiteral("DP_ON"), 1);
        di->setItem(row, DiDpRole, underItem());
        di->setCellWidget(row, DiDpRole, role);
        connect(role, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, row](int index) { onDiDpRoleChanged(row, index); });

        auto* type = new QComboBox;
        type->addItem(QStringLiteral("DC"), 0);
        type->addItem(QStringLiteral("AC"), 1);
        auto* nominal = new QComboBox;
        nominal->addItem(QStringLiteral("24 V"), 0);
        nominal->addItem(QStringLiteral("220 V"), 1);
        QLineEdit* debounce = numberEdit(0, DebounceTop);

        const std::pair<int, QWidget*> repeatable[] = {{DiType, type}, {DiNominal, nominal}, {DiDebounce, debounce}};
        for (const auto& [column, widget] : repeatable) {
            di->setItem(row, column, underItem());
            di->setCellWidget(row, column, widget);
            // The cell editors hide the table's own context menu, so they offer
            // "repeat everywhere" themselves.
            widget->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(widget, &QWidget::customContextMenuRequested, this,
                    [this, row, column = column, widget = widget](const QPoint& pos) {
                        showRepeatMenu(row, column, widget->mapToGlobal(pos));
                    });
        }
    }
    connect(di, &QTableWidget::itemChanged, this, &MainWindow::onDiDpItemChanged);

    dout->setRowCount(BoardInfo::MaxDoChannels);
    dout->setColumnCount(DoColumns);
    dout->setHorizontalHeaderLabels(
        {tr("Вкл"), tr("Канал"), tr("Адрес"), tr("Режим"), tr("DP"), tr("Удержание, мс")});
    dout->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row) {
        dout->setItem(row, DoEnabled, checkItem(true));
        dout->setItem(row, DoChannel, channelItem(QStringLiteral("DO_%1").arg(row + 1)));

        dout->setItem(row, DoAddress, underItem());
        dout->setCellWidget(row, DoAddress, numberEdit(AddressBottom, AddressTop));

        auto* modeCombo = new QComboBox;
        modeCombo->addItems({tr("Одиноч."), tr("Группов."), tr("Общ.")});
        dout->setItem(row, DoMode, underItem());
        dout->setCellWidget(row, DoMode, modeCombo);
        connect(modeCombo, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                [this, row](int index) { onDoModeChanged(row, index); });

        dout->setItem(row, DoDp, checkItem(false));

        dout->setItem(row, DoHold, underItem());
        dout->setCellWidget(row, DoHold, numberEdit(0, HoldTop));
    }

    for (int row = 0; row < BoardInfo::MaxDiChannels; ++row)
        paintRow(di, row, true);
    // Painting a DO row enabled also sets its DP cell by its mode.
    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row)
        paintRow(dout, row, true);
}

// ---- Board commands (the core does the exchange and the bytes) ----

bool MainWindow::readDiConfig()
{
    return ConfigCommands(connector.data(), boardState()).readDiConfig(diDoConfig);
}

bool MainWindow::readDiDebounce()
{
    return ConfigCommands(connector.data(), boardState()).readDiDebounce(diDoConfig);
}

bool MainWindow::readDiExtended()
{
    return ConfigCommands(connector.data(), boardState()).readDiExtended(diDoConfig);
}

bool MainWindow::readDoConfig()
{
    return ConfigCommands(connector.data(), boardState()).readDoConfig(diDoConfig);
}

bool MainWindow::writeDiExtended()
{
    return ConfigCommands(connector.data(), boardState()).writeDiExtended(diDoConfig);
}

bool MainWindow::writeDoConfig()
{
    return ConfigCommands(connector.data(), boardState()).writeDoConfig(diDoConfig);
}

bool MainWindow::readDiDoConfig()
{
    return ConfigCommands(connector.data(), boardState()).readDiDoConfig(diDoConfig);
}

// ---- The four buttons ----

void MainWindow::on_pushButtonGetDiDoParam_clicked()
{
    if (!connector || !boardState().mainFirmwareRunning())
        return;
    if (readDiDoConfig())
        showDiDoRecord();
    else
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения параметров DI/DO\n"));
}

void MainWindow::on_pushButtonSetDiDoParam_clicked()
{
    if (!connector || !boardState().mainFirmwareRunning())
        return;

    // The validators let a number above their top stay in an edit when it has
    // no more digits than the top ("9999" against 4095). Such a value must not
    // reach the board: refuse the whole save and say where it is. What the
    // board gave and nobody changed goes back as it came.
    DiDoConfig edited = diDoConfig;
    collectDiDoInto(edited);
    QWidget* offender = nullptr;
    const QStringList outOfRange = diDoValuesOutOfRange(edited, &offender);
    if (!outOfRange.isEmpty()) {
        QMessageBox::warning(this, tr("Vantor"),
                             tr("Значения вне допустимого диапазона:\n%1\nПараметры DI/DO не записаны\n")
                                 .arg(outOfRange.join(QLatin1Char('\n'))));
        if (offender)
            offender->setFocus();
        return;
    }

    diDoConfig = edited;
    // Every step is attempted even after one failed (the core's sequence).
    const bool written = ConfigCommands(connector.data(), boardState()).writeDiDoConfig(diDoConfig);
    logOperation(QStringLiteral("config-write DI/DO"), written);
    if (written)
        QMessageBox::information(this, tr("Vantor"), tr("Параметры DI/DO успешно записаны\n"));
    else
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка записи параметров DI/DO\n"));
}

void MainWindow::on_pushButtonResetDiDoParam_clicked()
{
    resetDiDoRecord();
    showDiDoRecord();
}

void MainWindow::on_pushButtonFillFactoryDiDoParam_clicked()
{
    if (!connector || !boardState().mainFirmwareRunning())
        return;
    const ExchangeResult restore = ConfigCommands(connector.data(), boardState()).restoreFactory();
    logOperation(QStringLiteral("factory-restore"), restore);
    if (!restore.written()) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка команды записи\n"));
        return;
    }
    if (!restore.accepted) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка сброса настроек\n"));
        return;
    }
    if (readDiDoConfig()) {
        showDiDoRecord();
        QMessageBox::information(this, tr("Vantor"), tr("Настройки сброшены, требуется перезагрузка\n"));
    } else {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения параметров\n"));
    }
}

// ---- Record <-> tables ----

void MainWindow::resetDiDoRecord()
{
    ConfigBlocks::resetDiDoRecord(diDoConfig);
}

void MainWindow::showDiDoRecord()
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    QTableWidget* dout = ui->tableWidgetDOConfig;
    const int count = qMin(diChannelCount(), di->rowCount());

    {
        // The record is shown as read: the pairing rules must not rewrite it.
        const QSignalBlocker blockDi(di);
        for (int row = 0; row < count; ++row) {
            setChecked(di, row, DiEnabled, diDoConfig.diEntries[row].enabled != 0);
            setEditText(di, row, DiAddress, addressText(diDoConfig.diEntries[row].objectAddress()));
            setChecked(di, row, DiDpPair, diDoConfig.diDpPair[row] != 0);
            setComboIndexQuietly(comboAt(di, row, DiDpRole), diDoConfig.diDpRole[row] == 1 ? 1 : 0);
            setComboIndexQuietly(comboAt(di, row, DiType), diDoConfig.diInputType[row] == 1 ? 1 : 0);
            setComboIndexQuietly(comboAt(di, row, DiNominal), diDoConfig.diNominal[row] != 0 ? 1 : 0);
            setEditText(di, row, DiDebounce, QString::number(diDoConfig.diDebounceMs[row]));
        }
    }
    for (int row = 0; row < count; ++row)
        paintRow(di, row, row == 0 || diDoConfig.diDpPair[row - 1] == 0);

    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row) {
        const DoEntry& entry = diDoConfig.doEntries[row];
        setChecked(dout, row, DoEnabled, entry.enabled != 0);
        setEditText(dout, row, DoAddress, addressText(entry.objectAddress()));
        setComboIndexQuietly(comboAt(dout, row, DoMode), entry.mode);
        setChecked(dout, row, DoDp, entry.dp != 0);
        setEditText(dout, row, DoHold, QString::number(entry.holdMs));
        updateDoDpCell(dout, row);
    }
    for (int row = 1; row < BoardInfo::MaxDoChannels; ++row)
        paintRow(dout, row, diDoConfig.doEntries[row - 1].mode == 0);
}

void MainWindow::collectDiDoRecord()
{
    collectDiDoInto(diDoConfig);
}

void MainWindow::collectDiDoInto(DiDoConfig& record) const
{
    const QTableWidget* di = ui->tableWidgetDIConfig;
    const QTableWidget* dout = ui->tableWidgetDOConfig;
    const int count = qMin(diChannelCount(), di->rowCount());

    // A cell still showing what showDiDoRecord put there keeps the record's
    // value: an erased 0xFF byte or a negative debounce would not survive
    // being read back from its text.
    const auto flag = [](bool checked, quint8 before) -> quint8 {
        return checked == (before != 0) ? before : (checked ? 1 : 0);
    };
    const auto address = [this](const QString& text, quint32 before) {
        return text == addressText(before) ? before : qMin<quint32>(localeNumber(locale, text), 0xFFFFFF);
    };

    for (int row = 0; row < count; ++row) {
        if (di->isRowHidden(row))
            continue;
        record.diEntries[row].enabled = flag(isChecked(di, row, DiEnabled), record.diEntries[row].enabled);
        record.diEntries[row].setObjectAddress(
            address(editText(di, row, DiAddress), record.diEntries[row].objectAddress()));
        // The last input has no partner, and a partner never starts a pair of its own.
        const bool pairs = isChecked(di, row, DiDpPair) && row < count - 1
                           && !(row > 0 && record.diDpPair[row - 1] != 0);
        record.diDpPair[row] = pairs ? 1 : 0;
        record.diDpRole[row] = quint8(comboData(di, row, DiDpRole));
        record.diInputType[row] = quint8(comboData(di, row, DiType));
        record.diNominal[row] = quint8(comboData(di, row, DiNominal));
        const QString debounce = editText(di, row, DiDebounce);
        if (debounce != QString::number(record.diDebounceMs[row]))
            record.diDebounceMs[row] = qint32(qMin<quint32>(decimalNumber(debounce), 0x7FFFFFFF));
    }

    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row) {
        // A row the board type hides (DO_9 on types 2 and 3) was never
        // offered for editing: it goes back as read.
        if (dout->isRowHidden(row))
            continue;
        DoEntry& entry = record.doEntries[row];
        entry.enabled = flag(isChecked(dout, row, DoEnabled), entry.enabled);
        entry.setObjectAddress(address(editText(dout, row, DoAddress), entry.objectAddress()));
        // A mode byte the combo has no entry for shows no selection; it goes
        // back as it was read rather than as -1.
        // Its DP flag, greyed out for want of "Группов.", goes back likewise.
        const QComboBox* modeCombo = comboAt(dout, row, DoMode);
        const bool modeShown = modeCombo && modeCombo->currentIndex() >= 0;
        if (modeShown) {
            entry.mode = quint8(modeCombo->currentIndex());
            entry.dp = flag(isChecked(dout, row, DoDp), entry.dp);
        }
        const QString hold = editText(dout, row, DoHold);
        if (hold != QString::number(entry.holdMs))
            entry.holdMs = localeNumber(locale, hold);
    }
}

QStringList MainWindow::diDoValuesOutOfRange(const DiDoConfig& edited, QWidget** firstOffender) const
{
    // The core's rule decides (only what the layout sends, only what differs
    // from the record shown); the cells supply the words and the text typed.
    QStringList problems;
    QWidget* first = nullptr;
    const QList<ValueRules::Problem> found = ValueRules::checkDiDo(edited, diDoConfig, ConfigLayout::of(boardState()));
    for (const ValueRules::Problem& problem : found) {
        const bool inDi = problem.field == ValueRules::Field::DiAddress || problem.field == ValueRules::Field::DiDebounce;
        const QTableWidget* table = inDi ? ui->tableWidgetDIConfig : ui->tableWidgetDOConfig;
        int column = DiAddress;
        QString what = tr("Адрес");
        if (problem.field == ValueRules::Field::DiDebounce) {
            column = DiDebounce;
            what = tr("Антидребезг, мс");
        } else if (problem.field == ValueRules::Field::DoHold) {
            column = DoHold;
            what = tr("Удержание, мс");
        } else if (problem.field == ValueRules::Field::DoAddress) {
            column = DoAddress;
        }
        QLineEdit* edit = editAt(table, problem.index, column);
        const ValueRules::Range range = problem.range();
        problems << tr("%1, «%2»: %3 (допустимо %4–%5%6)")
                        .arg(problem.place(), what, edit ? edit->text() : QString::number(problem.value))
                        .arg(range.low)
                        .arg(range.high)
                        .arg(range.zeroMeansNone ? tr(" или пусто") : QString());
        if (!first)
            first = edit;
    }
    if (firstOffender)
        *firstOffender = first;
    return problems;
}

// ---- Painting and the pairing rules ----

void MainWindow::paintRow(QTableWidget* table, int row, bool enabled)
{
    if (!table || row < 0 || row >= table->rowCount())
        return;
    {
        const QSignalBlocker blocker(table);
        const QColor colour = enabled ? enabledColour : disabledColour;
        const QString style = QStringLiteral("background-color: %1;").arg(colour.name());
        for (int column = 0; column < table->columnCount(); ++column) {
            QTableWidgetItem* item = table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                table->setItem(row, column, item);
            }
            if (enabled)
                item->setFlags(item->flags() | Qt::ItemIsSelectable | Qt::ItemIsEnabled);
            else
                item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled));
            item->setBackground(QBrush(colour, Qt::SolidPattern));
            if (QWidget* widget = table->cellWidget(row, column)) {
                widget->setEnabled(enabled);
                // Re-polishing is slow; a repaint of every row must not redo unchanged sheets.
                if (widget->styleSheet() != style)
                    widget->setStyleSheet(style);
            }
        }
    }
    // Enabling a DO row must not make its DP cell usable outside "Группов.".
    if (enabled && ui && table == ui->tableWidgetDOConfig)
        updateDoDpCell(table, row);
}

void MainWindow::updateDoDpCell(QTableWidget* table, int row)
{
    if (!table || row < 0 || row >= table->rowCount())
        return;
    QTableWidgetItem* item = table->item(row, DoDp);
    const QComboBox* modeCombo = comboAt(table, row, DoMode);
    if (!item || !modeCombo)
        return;
    const Qt::ItemFlags usable = Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;
    if (modeCombo->currentIndex() == DoModeGroup) {
        item->setFlags(item->flags() | usable);
    } else {
        item->setFlags(item->flags() & ~usable);
        item->setCheckState(Qt::Unchecked);
    }
}

void MainWindow::paintDiPairs()
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    const int count = qMin(diChannelCount(), di->rowCount());
    for (int row = 0; row < count; ++row)
        paintRow(di, row, row == 0 || !isChecked(di, row - 1, DiDpPair));
}

void MainWindow::onDiDpItemChanged(QTableWidgetItem* item)
{
    if (!item || item->column() != DiDpPair)
        return;
    QTableWidget* di = ui->tableWidgetDIConfig;
    const QSignalBlocker blocker(di);
    const int row = item->row();
    const bool checked = item->checkState() == Qt::Checked;

    if (row >= boardState().diPairLimit()) {
        // The last input has no partner.
        if (checked)
            item->setCheckState(Qt::Unchecked);
        return;
    }
    const int partner = row + 1;
    if (checked && partner < di->rowCount()) {
        // The partner cannot start a pair of its own, and takes the other role.
        setChecked(di, partner, DiDpPair, false);
        const QComboBox* role = comboAt(di, row, DiDpRole);
        if (role)
            setComboIndexQuietly(comboAt(di, partner, DiDpRole), 1 - role->currentIndex());
    }
    paintDiPairs();
}

void MainWindow::onDiDpRoleChanged(int row, int index)
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    const int partner = row + 1;
    if (row >= boardState().diPairLimit() || partner >= di->rowCount() || !isChecked(di, row, DiDpPair))
        return;
    setComboIndexQuietly(comboAt(di, partner, DiDpRole), 1 - index);
}

void MainWindow::onDoModeChanged(int row, int index)
{
    QTableWidget* dout = ui->tableWidgetDOConfig;
    updateDoDpCell(dout, row);
    const int next = row + 1;
    if (next >= BoardInfo::MaxDoChannels)
        return;
    if (index == 0) {
        paintRow(dout, next, true);
        return;
    }
    // A group or common output takes the next one with it.
    paintRow(dout, next, false);
    if (QComboBox* nextMode = comboAt(dout, next, DoMode))
        nextMode->setCurrentIndex(0); // its own rule then frees the row after it
    setChecked(dout, next, DoEnabled, true);
}

// ---- "Повторить везде" ----

void MainWindow::onDiConfigContextMenuRequested(QPoint pos)
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    // The table reports the position in its viewport's coordinates.
    const QModelIndex index = di->indexAt(pos);
    if (!index.isValid())
        return;
    showRepeatMenu(index.row(), index.column(), di->viewport()->mapToGlobal(pos));
}

void MainWindow::showRepeatMenu(int row, int column, const QPoint& globalPos)
{
    const QTableWidget* di = ui->tableWidgetDIConfig;
    if (row < 0 || row >= diChannelCount() || row >= di->rowCount())
        return;
    if (column != DiType && column != DiNominal && column != DiDebounce)
        return;
    if (di->isColumnHidden(column))
        return;
    QMenu menu(this);
    QAction* repeat = menu.addAction(tr("Повторить везде"));
    connect(repeat, &QAction::triggered, this, [this, row, column] { repeatEverywhere(row, column); });
    menu.exec(globalPos);
}

void MainWindow::repeatEverywhere(int row, int column)
{
    QTableWidget* di = ui->tableWidgetDIConfig;
    const int count = qMin(diChannelCount(), di->rowCount());
    if (row < 0 || row >= count)
        return;
    if (column == DiType || column == DiNominal) {
        const QComboBox* source = comboAt(di, row, column);
        if (!source)
            return;
        const QVariant value = source->currentData();
        // Greyed partner rows are set too: they are sent like any other.
        for (int target = 0; target < count; ++target) {
            QComboBox* combo = comboAt(di, target, column);
            const int found = combo ? combo->findData(value) : -1;
            if (found >= 0)
                combo->setCurrentIndex(found);
        }
    } else if (column == DiDebounce) {
        const QString text = editText(di, row, column);
        for (int target = 0; target < count; ++target)
            setEditText(di, target, column, text);
    }
}
