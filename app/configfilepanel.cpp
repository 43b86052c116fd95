#include "configfilepanel.h"

#include "barlink.h"
#include "boardinfo.h"
#include "boardsession.h"
#include "boardtexts.h"
#include "configdiff.h"
#include "configfilestore.h"
#include "didopanel.h"
#include "didotables.h"
#include "rs485panel.h"
#include "windowtext.h"

#include <QAction>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>

namespace {

// Where each field of a saved entry sits in the editors: the DI/DO tables'
// columns, the RS-485 tables' rows (one table per port).
struct FieldCell
{
    const char* section;
    const char* field;
    int row;    // -1: the entry's index
    int column; // -1: 0, the value column of a port table
};

const FieldCell fieldCells[] = {
    { "di", "enabled", -1, DiDoTables::DiEnabled },     { "di", "address", -1, DiDoTables::DiAddress },
    { "di", "dpPair", -1, DiDoTables::DiDpPair },       { "di", "dpRole", -1, DiDoTables::DiDpRole },
    { "di", "inputType", -1, DiDoTables::DiType },      { "di", "nominal", -1, DiDoTables::DiNominal },
    { "di", "debounceMs", -1, DiDoTables::DiDebounce }, { "do", "enabled", -1, DiDoTables::DoEnabled },
    { "do", "address", -1, DiDoTables::DoAddress },     { "do", "mode", -1, DiDoTables::DoMode },
    { "do", "dp", -1, DiDoTables::DoDp },               { "do", "holdMs", -1, DiDoTables::DoHold },
    { "rs485", "baudRate", 1, -1 },    { "rs485", "dataBits", 2, -1 },   { "rs485", "parity", 3, -1 },
    { "rs485", "stopBits", 4, -1 },    { "rs485", "modbus", 5, -1 },     { "rs485", "modbusAddress", 7, -1 },
    { "iec101", "iec101", 5, -1 },     { "iec101", "linkAddress", 7, -1 }, { "iec101", "linkAddressLength", 8, -1 },
    { "iec101", "originatorAddress", 9, -1 }, { "iec101", "stationAddressLength", 10, -1 },
    { "iec101", "objectAddressLength", 11, -1 }, { "iec101", "commonAddress", 12, -1 },
    { "iec101", "clockSyncPeriod", 13, -1 }, { "iec101", "giTime", 14, -1 },
};

const QColor differenceColour(255, 214, 120);

QString platformConfigDialog(QWidget* parent, bool save, const QString& suggested)
{
    const QString filter = windowText("Конфигурация (*.json)");
    return save ? QFileDialog::getSaveFileName(parent, windowText("Сохранить конфигурацию"), suggested, filter)
                : QFileDialog::getOpenFileName(parent, windowText("Открыть конфигурацию"), suggested, filter);
}

bool isDiDoSection(const QString& section)
{
    return section == QLatin1String("di") || section == QLatin1String("do");
}

} // namespace

ConfigFilePanel::ConfigFilePanel(QMenu* fileMenu, QWidget* window, DiDoPanel* diDo, Rs485Panel* rs485,
                                 BoardSession* session, const Tessarin* bar, QObject* parent)
    : QObject(parent)
    , window(window)
    , diDo(diDo)
    , rs485(rs485)
    , session(session)
    , bar(bar)
{
    setObjectName(QStringLiteral("configFilePanel"));
    auto add = [this, fileMenu](const char* name, const QString& text, const QKeySequence& keys,
                                void (ConfigFilePanel::*slot)()) {
        auto* action = new QAction(text, this->window);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        fileMenu->addAction(action);
        return action;
    };
    saveAction = add("actionSaveConfiguration", windowText("Сохранить конфигурацию…"), QKeySequence::Save,
                     &ConfigFilePanel::save);
    openAction = add("actionOpenConfiguration", windowText("Открыть конфигурацию…"), QKeySequence::Open,
                     &ConfigFilePanel::open);
    compareAction = add("actionCompareConfiguration", windowText("Сравнить с устройством…"), QKeySequence(),
                        &ConfigFilePanel::compare);
    connect(session, &BoardSession::stateChanged, this, &ConfigFilePanel::updateActions);
    updateActions();
}

bool ConfigFilePanel::usable() const
{
    // Only the main firmware exchanges the configuration blocks.
    return session->hasLink() && session->board().mainFirmwareRunning();
}

void ConfigFilePanel::updateActions()
{
    for (QAction* action : { saveAction, openAction, compareAction })
        action->setEnabled(usable());
}

// ---- Board and editors as configurations ----

std::optional<ConfigFile> ConfigFilePanel::editorConfiguration()
{
    // What Save would send, checked as Save checks it; the records stay as they are.
    const DiDoConfig edited = diDo->edited();
    if (!diDo->valuesOutOfRange(edited).isEmpty())
        return std::nullopt;
    Rs485Ports ports = rs485->ports();
    Iec101Ports protocols = rs485->protocols();
    if (!rs485->collectEdits(ports, protocols))
        return std::nullopt;
    return ConfigFile::fromBoard(session->board(), edited, ports, protocols);
}

ConfigFile ConfigFilePanel::shownConfiguration() const
{
    return ConfigFile::fromBoard(session->board(), diDo->shownRecord(), rs485->shownPorts(), rs485->shownProtocols());
}

bool ConfigFilePanel::boardChangedSinceRead(const ConfigFile& board) const
{
    for (const ConfigDifference& d : ConfigDiff::between(board, shownConfiguration())) {
        if (isDiDoSection(d.section) ? diDo->shownIsBoards() : rs485->shownIsBoards())
            return true;
    }
    return false;
}

void ConfigFilePanel::show(const ConfigFile& file, bool fromBoard)
{
    diDo->showRecord(file.dido, fromBoard);
    rs485->showRecords(file.ports, file.protocols, fromBoard);
}

std::optional<ConfigFile> ConfigFilePanel::pickForBoard()
{
    if (!usable())
        return std::nullopt;
    const QString path = choosePath(false, QDir::homePath());
    if (path.isEmpty())
        return std::nullopt;
    QString problem;
    std::optional<ConfigFile> file = ConfigFileStore::load(path, &problem);
    const BoardState board = session->board();
    if (file && !file->mismatch(board).isEmpty()) {
        // Said in the window's words first, then exactly as the core tells it.
        const auto name = [](bool known, quint16 type) {
            return known ? BoardInfo::boardName(type) : windowText("неизвестного типа");
        };
        const bool sameType =
            BoardInfo::sameType(file->boardTypeKnown, file->boardType, board.boardTypeKnown, board.boardType);
        problem = (sameType ? windowText("Файл записан с другим набором блоков конфигурации, чем у этой платы с её "
                                         "прошивкой.")
                            : windowText("Файл сделан для платы %1, а подключена плата %2.")
                                  .arg(name(file->boardTypeKnown, file->boardType),
                                       name(board.boardTypeKnown, board.boardType)))
            + QLatin1Char('\n') + file->mismatch(board);
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(window, windowText("Vantor"),
                             windowText("Файл конфигурации не принят:\n%1\n\n%2\nТаблицы не изменены.\n")
                                 .arg(QDir::toNativeSeparators(path), problem));
        return std::nullopt;
    }
    return file;
}

QString ConfigFilePanel::choosePath(bool save, const QString& suggested)
{
    return chooseFile ? chooseFile(window, save, suggested) : platformConfigDialog(window, save, suggested);
}

// ---- Save, open, compare ----

void ConfigFilePanel::save()
{
    if (!usable())
        return;
    const QString suggested = QDir::home().filePath(
        ConfigFileStore::defaultName(session->board(), BarLink::deviceAddress(bar), QDate::currentDate()));
    const QString path = choosePath(true, suggested);
    if (path.isEmpty())
        return;

    // What the board holds now, not what the tables show.
    std::optional<ConfigFile> config = readBoard();
    if (!config)
        return;
    const std::optional<ConfigFile> edited = editorConfiguration();
    bool boardsOwn = true;
    if (!edited) {
        // Values Save would refuse cannot go to a file either.
        QMessageBox::information(window, windowText("Vantor"),
                                 windowText("В таблицах есть значения, которые нельзя записать в устройство.\n"
                                            "В файл сохраняются параметры, прочитанные из устройства."));
    } else if (!ConfigDiff::between(shownConfiguration(), *edited).isEmpty()) {
        // Only what the technician changed in the tables is worth asking about.
        const QMessageBox::StandardButton answer = QMessageBox::question(
            window, windowText("Vantor"),
            windowText("В таблицах есть изменения, не записанные в устройство.\n"
                       "Сохранить в файл их вместо параметров, прочитанных из устройства?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        if (answer == QMessageBox::Cancel)
            return;
        boardsOwn = answer != QMessageBox::Yes;
    }
    const bool changed = boardsOwn && boardChangedSinceRead(*config);
    if (!boardsOwn)
        config = edited;

    QString error;
    if (!ConfigFileStore::save(path, *config, &error)) {
        QMessageBox::warning(window, windowText("Vantor"),
                             windowText("Не удалось записать файл %1:\n%2\n").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    QString text = windowText("Конфигурация сохранена в файл\n%1\n").arg(QDir::toNativeSeparators(path));
    if (changed)
        text += windowText("\nПараметры в устройстве изменились с тех пор, как были прочитаны в таблицы; "
                           "в файл сохранены параметры из устройства.\n");
    QMessageBox::information(window, windowText("Vantor"), text);
}

void ConfigFilePanel::open()
{
    const std::optional<ConfigFile> file = pickForBoard();
    if (!file)
        return;

    clearMarks();
    show(*file, false);
    QString text = windowText("Конфигурация загружена в таблицы. Проверьте значения и запишите их в устройство.\n");
    const QString note = file->note(session->board());
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note + QLatin1Char('\n');
    QMessageBox::information(window, windowText("Vantor"), text);
}

void ConfigFilePanel::compare()
{
    const std::optional<ConfigFile> file = pickForBoard();
    if (!file)
        return;
    const std::optional<ConfigFile> board = readBoard();
    if (!board)
        return;

    // The tables show the board as it is now, the file's values marked where
    // they differ; edits not yet written are not dropped without asking.
    const std::optional<ConfigFile> edited = editorConfiguration();
    if (!edited || !ConfigDiff::between(shownConfiguration(), *edited).isEmpty()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            window, windowText("Vantor"),
            windowText("В таблицах есть изменения, не записанные в устройство.\n"
                       "Показать вместо них параметры из устройства?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Ok)
            return;
    }
    clearMarks();
    show(*board, true);
    const QList<ConfigDifference> differences = ConfigDiff::between(*board, *file);
    if (differences.isEmpty()) {
        QMessageBox::information(window, windowText("Vantor"), windowText("Нет различий"));
        return;
    }
    QStringList lines;
    for (const ConfigDifference& d : differences) {
        markDifference(d);
        lines << QStringLiteral("%1: %2 → %3").arg(d.path(), ConfigDifference::valueText(d.board),
                                                   ConfigDifference::valueText(d.file));
    }
    QMessageBox box(QMessageBox::Information, windowText("Vantor"),
                    windowText("Различий: %1 (поле: на устройстве → в файле)").arg(differences.size()),
                    QMessageBox::Ok, window);
    box.setDetailedText(lines.join(QLatin1Char('\n')));
    // The box stays on the screen; the full list is behind "Show Details".
    box.setInformativeText(lines.mid(0, 20).join(QLatin1Char('\n'))
                           + (lines.size() > 20 ? QStringLiteral("\n…") : QString()));
    box.exec();
}

// ---- Marks of the differing cells ----

void ConfigFilePanel::markDifference(const ConfigDifference& difference)
{
    for (const FieldCell& cell : fieldCells) {
        if (difference.section != QLatin1String(cell.section) || difference.field != QLatin1String(cell.field))
            continue;
        QTableWidget* table = nullptr;
        if (difference.section == QLatin1String("di"))
            table = diDo->tables()->diTable();
        else if (difference.section == QLatin1String("do"))
            table = diDo->tables()->doTable();
        else
            table = rs485->table(difference.index == 0 ? 0 : 1);
        const int row = cell.row < 0 ? difference.index : cell.row;
        const int column = cell.column < 0 ? 0 : cell.column;
        if (!table || row >= table->rowCount() || column >= table->columnCount())
            return;
        Mark mark { table, row, column, QBrush(), QString() };
        if (QWidget* widget = table->cellWidget(row, column)) {
            mark.styleSheet = widget->styleSheet();
            widget->setStyleSheet(QStringLiteral("background-color: %1;").arg(differenceColour.name()));
            widget->setProperty("differsFromFile", true);
        } else if (QTableWidgetItem* item = table->item(row, column)) {
            mark.background = item->background();
            item->setBackground(differenceColour);
            item->setData(Qt::UserRole + 1, true);
        }
        marks.append(mark);
        return;
    }
}

void ConfigFilePanel::clearMarks()
{
    for (const Mark& mark : marks) {
        if (!mark.table)
            continue;
        if (QWidget* widget = mark.table->cellWidget(mark.row, mark.column)) {
            widget->setStyleSheet(mark.styleSheet);
            widget->setProperty("differsFromFile", QVariant());
        } else if (QTableWidgetItem* item = mark.table->item(mark.row, mark.column)) {
            item->setBackground(mark.background);
            item->setData(Qt::UserRole + 1, QVariant());
        }
    }
    marks.clear();
}

// ---- The board ----

std::optional<ConfigFile> ConfigFilePanel::readBoard()
{
    // Every block afresh; without the protocol records a file would hold
    // zeros where the board has settings.
    const BoardSession::ConfigurationRead read = session->readConfiguration();
    if (read.ok())
        return read.file;
    QMessageBox::warning(window, windowText("Vantor"),
                         read.diDo ? BoardTexts::rs485ReadFailed() : BoardTexts::diDoReadFailed());
    return std::nullopt;
}
