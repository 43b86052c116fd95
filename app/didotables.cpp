#include "didotables.h"

#include "boardinfo.h"
#include "boardsession.h"
#include "tablecells.h"
#include "valuerules.h"
#include "windowtext.h"

#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTableWidgetItem>

using namespace TableCells;

namespace {

constexpr int DoModeGroup = 1;

// Editor ranges (the same rules check what Save sends).
constexpr int AddressBottom = int(ValueRules::objectAddress.low);
constexpr int AddressTop = int(ValueRules::objectAddress.high);
constexpr int DebounceTop = int(ValueRules::debounceMs.high);
constexpr int HoldTop = int(ValueRules::holdMs.high);

const QColor enabledColour(Qt::white);
const QColor disabledColour(220, 220, 220);

// The item under a cell widget: it only carries the row's background and flags.
QTableWidgetItem* underItem()
{
    auto* item = new QTableWidgetItem;
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    return item;
}

// An object address or hold time as the edits hold them: a number in the
// default locale; an empty or unreadable text is 0.
quint32 localeNumber(const QString& text)
{
    bool ok = false;
    const qlonglong value = QLocale().toLongLong(text, &ok);
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

DiDoTables::DiDoTables(QTableWidget* di, QTableWidget* dout, const BoardSession* session, QObject* parent)
    : QObject(parent)
    , di(di)
    , dout(dout)
    , session(session)
{
}

int DiDoTables::diRows() const
{
    return qMin(session->board().diChannelCount(), di->rowCount());
}

// ---- Building the tables ----

void DiDoTables::build()
{
    di->setRowCount(BoardInfo::MaxDiChannels);
    di->setColumnCount(DiColumns);
    di->setHorizontalHeaderLabels({ windowText("Вкл"), windowText("Канал"), windowText("Адрес"), windowText("DP"),
                                    windowText("DP роль"), windowText("Тип"), windowText("Номинал"),
                                    windowText("Антидребезг, мс") });
    di->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    di->setContextMenuPolicy(Qt::CustomContextMenu);

    for (int row = 0; row < BoardInfo::MaxDiChannels; ++row) {
        di->setItem(row, DiEnabled, checkItem(true));
        di->setItem(row, DiChannel, titleItem(QStringLiteral("DI_%1").arg(row + 1)));

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

        const std::pair<int, QWidget*> repeatable[] = { { DiType, type }, { DiNominal, nominal },
                                                        { DiDebounce, debounce } };
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
    connect(di, &QTableWidget::itemChanged, this, &DiDoTables::onDiDpItemChanged);

    dout->setRowCount(BoardInfo::MaxDoChannels);
    dout->setColumnCount(DoColumns);
    dout->setHorizontalHeaderLabels({ windowText("Вкл"), windowText("Канал"), windowText("Адрес"),
                                      windowText("Режим"), windowText("DP"), windowText("Удержание, мс") });
    dout->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);

    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row) {
        dout->setItem(row, DoEnabled, checkItem(true));
        dout->setItem(row, DoChannel, titleItem(QStringLiteral("DO_%1").arg(row + 1)));

        dout->setItem(row, DoAddress, underItem());
        dout->setCellWidget(row, DoAddress, numberEdit(AddressBottom, AddressTop));

        auto* modeCombo = new QComboBox;
        modeCombo->addItems({ windowText("Одиноч."), windowText("Группов."), windowText("Общ.") });
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

// ---- Record <-> tables ----

void DiDoTables::show(const DiDoConfig& record)
{
    const int count = diRows();
    {
        // The record is shown as read: the pairing rules must not rewrite it.
        const QSignalBlocker blockDi(di);
        for (int row = 0; row < count; ++row) {
            setChecked(di, row, DiEnabled, record.diEntries[row].enabled != 0);
            setEditText(di, row, DiAddress, addressText(record.diEntries[row].objectAddress()));
            setChecked(di, row, DiDpPair, record.diDpPair[row] != 0);
            setComboIndexQuietly(comboAt(di, row, DiDpRole), record.diDpRole[row] == 1 ? 1 : 0);
            setComboIndexQuietly(comboAt(di, row, DiType), record.diInputType[row] == 1 ? 1 : 0);
            setComboIndexQuietly(comboAt(di, row, DiNominal), record.diNominal[row] != 0 ? 1 : 0);
            setEditText(di, row, DiDebounce, QString::number(record.diDebounceMs[row]));
        }
    }
    for (int row = 0; row < count; ++row)
        paintRow(di, row, row == 0 || record.diDpPair[row - 1] == 0);

    for (int row = 0; row < BoardInfo::MaxDoChannels; ++row) {
        const DoEntry& entry = record.doEntries[row];
        setChecked(dout, row, DoEnabled, entry.enabled != 0);
        setEditText(dout, row, DoAddress, addressText(entry.objectAddress()));
        setComboIndexQuietly(comboAt(dout, row, DoMode), entry.mode);
        setChecked(dout, row, DoDp, entry.dp != 0);
        setEditText(dout, row, DoHold, QString::number(entry.holdMs));
        updateDoDpCell(dout, row);
    }
    for (int row = 1; row < BoardInfo::MaxDoChannels; ++row)
        paintRow(dout, row, record.doEntries[row - 1].mode == 0);
}

void DiDoTables::collectInto(DiDoConfig& record) const
{
    const int count = diRows();

    // A cell still showing what show() put there keeps the record's value: an
    // erased 0xFF byte or a negative debounce would not survive being read
    // back from its text.
    const auto flag = [](bool checked, quint8 before) -> quint8 {
        return checked == (before != 0) ? before : (checked ? 1 : 0);
    };
    const auto address = [](const QString& text, quint32 before) {
        return text == addressText(before) ? before : qMin<quint32>(localeNumber(text), 0xFFFFFF);
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
        if (modeCombo && modeCombo->currentIndex() >= 0) {
            entry.mode = quint8(modeCombo->currentIndex());
            entry.dp = flag(isChecked(dout, row, DoDp), entry.dp);
        }
        const QString hold = editText(dout, row, DoHold);
        if (hold != QString::number(entry.holdMs))
            entry.holdMs = localeNumber(hold);
    }
}

// ---- Painting and the pairing rules ----

void DiDoTables::paintRow(QTableWidget* table, int row, bool enabled)
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
    if (enabled && table == dout)
        updateDoDpCell(table, row);
}

void DiDoTables::updateDoDpCell(QTableWidget* table, int row)
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

void DiDoTables::paintDiPairs()
{
    const int count = diRows();
    for (int row = 0; row < count; ++row)
        paintRow(di, row, row == 0 || !isChecked(di, row - 1, DiDpPair));
}

void DiDoTables::onDiDpItemChanged(QTableWidgetItem* item)
{
    if (!item || item->column() != DiDpPair)
        return;
    const QSignalBlocker blocker(di);
    const int row = item->row();
    const bool checked = item->checkState() == Qt::Checked;

    if (row >= session->board().diPairLimit()) {
        // The last input has no partner.
        if (checked)
            item->setCheckState(Qt::Unchecked);
        return;
    }
    const int partner = row + 1;
    if (checked && partner < di->rowCount()) {
        // The partner cannot start a pair of its own, and takes the other role.
        setChecked(di, partner, DiDpPair, false);
        if (const QComboBox* role = comboAt(di, row, DiDpRole))
            setComboIndexQuietly(comboAt(di, partner, DiDpRole), 1 - role->currentIndex());
    }
    paintDiPairs();
}

void DiDoTables::onDiDpRoleChanged(int row, int index)
{
    const int partner = row + 1;
    if (row >= session->board().diPairLimit() || partner >= di->rowCount() || !isChecked(di, row, DiDpPair))
        return;
    setComboIndexQuietly(comboAt(di, partner, DiDpRole), 1 - index);
}

void DiDoTables::onDoModeChanged(int row, int index)
{
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

void DiDoTables::contextMenuRequested(const QPoint& pos)
{
    // The table reports the position in its viewport's coordinates.
    const QModelIndex index = di->indexAt(pos);
    if (!index.isValid())
        return;
    showRepeatMenu(index.row(), index.column(), di->viewport()->mapToGlobal(pos));
}

void DiDoTables::showRepeatMenu(int row, int column, const QPoint& globalPos)
{
    if (row < 0 || row >= diRows())
        return;
    if (column != DiType && column != DiNominal && column != DiDebounce)
        return;
    if (di->isColumnHidden(column))
        return;
    QMenu menu(di->window());
    QAction* repeat = menu.addAction(windowText("Повторить везде"));
    connect(repeat, &QAction::triggered, this, [this, row, column] { repeatEverywhere(row, column); });
    menu.exec(globalPos);
}

void DiDoTables::repeatEverywhere(int row, int column)
{
    const int count = diRows();
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
