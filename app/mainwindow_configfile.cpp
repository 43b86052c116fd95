#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "boardinfo.h"
#include "configcommands.h"
#include "configdiff.h"
#include "configfilestore.h"
#include "connector.h"
#include "operationslog.h"
#include "tessarin.h"

#include <QAction>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTableWidget>

// Configuration files in the "Файл" menu, the comparison of a file with the
// board, and the operations log. The file format, the checks and the
// comparison are the core's, the same the command-line tool uses.

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
    { "di", "enabled", -1, 0 },        { "di", "address", -1, 2 },       { "di", "dpPair", -1, 3 },
    { "di", "dpRole", -1, 4 },         { "di", "inputType", -1, 5 },     { "di", "nominal", -1, 6 },
    { "di", "debounceMs", -1, 7 },     { "do", "enabled", -1, 0 },       { "do", "address", -1, 2 },
    { "do", "mode", -1, 3 },           { "do", "dp", -1, 4 },            { "do", "holdMs", -1, 5 },
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
    const QString filter = MainWindow::tr("Конфигурация (*.json)");
    return save ? QFileDialog::getSaveFileName(parent, MainWindow::tr("Сохранить конфигурацию"), suggested, filter)
                : QFileDialog::getOpenFileName(parent, MainWindow::tr("Открыть конфигурацию"), suggested, filter);
}

} // namespace

// ---- Menu and enabling ----

void MainWindow::buildFileMenu()
{
    QMenu* fileMenu = findChild<QMenu*>(QStringLiteral("menu"));
    if (!fileMenu)
        fileMenu = menuBar()->addMenu(tr("Файл"));
    auto add = [this, fileMenu](const char* name, const QString& text, const QKeySequence& keys,
                                void (MainWindow::*slot)()) {
        auto* action = new QAction(text, this);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        fileMenu->addAction(action);
        return action;
    };
    saveConfigAction = add("actionSaveConfiguration", tr("Сохранить конфигурацию…"), QKeySequence::Save,
                           &MainWindow::saveConfigurationToFile);
    openConfigAction = add("actionOpenConfiguration", tr("Открыть конфигурацию…"), QKeySequence::Open,
                           &MainWindow::openConfigurationFile);
    compareConfigAction = add("actionCompareConfiguration", tr("Сравнить с устройством…"), QKeySequence(),
                              &MainWindow::compareWithBoard);
    updateConfigFileActions();
}

void MainWindow::updateConfigFileActions()
{
    // Only the main firmware exchanges the configuration blocks.
    const bool usable = connector && boardState().mainFirmwareRunning();
    for (QAction* action : { saveConfigAction, openConfigAction, compareConfigAction }) {
        if (action)
            action->setEnabled(usable);
    }
}

// ---- Board and editors as configurations ----

BoardState MainWindow::boardStateForFile() const
{
    // The label's "-" stands for no bootloader version; the file holds the
    // board's own empty text, as the command-line tool writes it.
    BoardState board = boardState();
    if (board.bootloaderVersion == QLatin1String("-"))
        board.bootloaderVersion.clear();
    return board;
}

std::optional<ConfigFile> MainWindow::readBoardConfiguration()
{
    const BoardState board = boardStateForFile();
    // The record starts as the window's does, with the factory values.
    DiDoConfig dido;
    ConfigBlocks::resetDiDoRecord(dido);
    Rs485Ports ports {};
    Iec101Ports protocols {};
    const ConfigCommands commands(connector.data(), board);
    if (!commands.readDiDoConfig(dido)) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения параметров DI/DO\n"));
        return std::nullopt;
    }
    // Without the protocol records a file would hold zeros where the board has settings.
    if (!commands.readRs485Params(ports, protocols).protocols) {
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения параметров RS-485\n"));
        return std::nullopt;
    }
    return ConfigFile::fromBoard(board, dido, ports, protocols);
}

std::optional<ConfigFile> MainWindow::editorConfiguration()
{
    // What Save would send, checked as Save checks it; the window's own
    // records stay as they are.
    DiDoConfig edited = diDoConfig;
    collectDiDoInto(edited);
    if (!diDoValuesOutOfRange(edited).isEmpty())
        return std::nullopt;

    Rs485Ports ports = rs485Ports;
    Iec101Ports protocols = iec101Params;
    if (!collectRs485Edits(ports, protocols))
        return std::nullopt;
    return ConfigFile::fromBoard(boardStateForFile(), edited, ports, protocols);
}

void MainWindow::showConfiguration(const ConfigFile& file)
{
    diDoConfig = file.dido;
    rs485Ports = file.ports;
    iec101Params = file.protocols;
    showDiDoRecord();
    showPortRecord(ui->tableWidgetRs485Param, rs485Ports[0]);
    showPortRecord(ui->tableWidgetRs485Param_2, rs485Ports[1]);
    showIec101Record(ui->tableWidgetRs485Param, iec101Params[0]);
    showIec101Record(ui->tableWidgetRs485Param_2, iec101Params[1]);
}

std::optional<ConfigFile> MainWindow::pickConfigurationForBoard()
{
    if (!connector || !boardState().mainFirmwareRunning())
        return std::nullopt;
    const QString path = chooseConfigurationPath(false, QDir::homePath());
    if (path.isEmpty())
        return std::nullopt;
    QString problem;
    std::optional<ConfigFile> file = ConfigFileStore::load(path, &problem);
    const BoardState board = boardState();
    if (file && !file->mismatch(board).isEmpty()) {
        // Said in the window's words first, then exactly as the core tells it.
        const auto name = [](bool known, quint16 type) {
            return known ? BoardInfo::boardName(type) : tr("неизвестного типа");
        };
        const bool sameType = file->boardTypeKnown == board.boardTypeKnown && file->boardType == board.boardType;
        problem = (sameType ? tr("Файл записан с другим набором блоков конфигурации, чем у этой платы с её прошивкой.")
                            : tr("Файл сделан для платы %1, а подключена плата %2.")
                                  .arg(name(file->boardTypeKnown, file->boardType),
                                       name(board.boardTypeKnown, board.boardType)))
            + QLatin1Char('\n') + file->mismatch(board);
    }
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, tr("Vantor"),
                             tr("Файл конфигурации не принят:\n%1\n\n%2\nТаблицы не изменены.\n")
                                 .arg(QDir::toNativeSeparators(path), problem));
        return std::nullopt;
    }
    return file;
}

QString MainWindow::chooseConfigurationPath(bool save, const QString& suggested)
{
    return chooseConfigFile ? chooseConfigFile(this, save, suggested) : platformConfigDialog(this, save, suggested);
}

// ---- Save, open, compare ----

void MainWindow::saveConfigurationToFile()
{
    if (!connector || !boardState().mainFirmwareRunning())
        return;
    const QString suggested = QDir::home().filePath(
        ConfigFileStore::defaultName(boardState(), deviceAddress(), QDate::currentDate()));
    const QString path = chooseConfigurationPath(true, suggested);
    if (path.isEmpty())
        return;

    // What the board holds now, not what the tables show.
    std::optional<ConfigFile> config = readBoardConfiguration();
    if (!config)
        return;
    const std::optional<ConfigFile> edited = editorConfiguration();
    if (!edited) {
        // Values Save would refuse cannot go to a file either.
        QMessageBox::information(this, tr("Vantor"),
                                 tr("В таблицах есть значения, которые нельзя записать в устройство.\n"
                                    "В файл сохраняются параметры, прочитанные из устройства."));
    } else if (!ConfigDiff::between(*config, *edited).isEmpty()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, tr("Vantor"),
            tr("В таблицах есть изменения, не записанные в устройство.\n"
               "Сохранить в файл их вместо параметров, прочитанных из устройства?"),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::Yes)
            config = edited;
    }

    QString error;
    if (!ConfigFileStore::save(path, *config, &error)) {
        QMessageBox::warning(this, tr("Vantor"),
                             tr("Не удалось записать файл %1:\n%2\n").arg(QDir::toNativeSeparators(path), error));
        return;
    }
    QMessageBox::information(this, tr("Vantor"),
                             tr("Конфигурация сохранена в файл\n%1\n").arg(QDir::toNativeSeparators(path)));
}

void MainWindow::openConfigurationFile()
{
    const std::optional<ConfigFile> file = pickConfigurationForBoard();
    if (!file)
        return;

    clearDifferenceMarks();
    showConfiguration(*file);
    QString text = tr("Конфигурация загружена в таблицы. Проверьте значения и запишите их в устройство.\n");
    const QString note = file->note(boardState());
    if (!note.isEmpty())
        text += QLatin1Char('\n') + note + QLatin1Char('\n');
    QMessageBox::information(this, tr("Vantor"), text);
}

void MainWindow::compareWithBoard()
{
    const std::optional<ConfigFile> file = pickConfigurationForBoard();
    if (!file)
        return;
    const std::optional<ConfigFile> board = readBoardConfiguration();
    if (!board)
        return;

    // The tables show the board as it is now, the file's values marked where
    // they differ; edits not yet written are not dropped without asking.
    const std::optional<ConfigFile> edited = editorConfiguration();
    if (!edited || !ConfigDiff::between(*board, *edited).isEmpty()) {
        const QMessageBox::StandardButton answer = QMessageBox::question(
            this, tr("Vantor"),
            tr("В таблицах есть изменения, не записанные в устройство.\n"
               "Показать вместо них параметры из устройства?"),
            QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
        if (answer != QMessageBox::Ok)
            return;
    }
    clearDifferenceMarks();
    showConfiguration(*board);
    const QList<ConfigDifference> differences = ConfigDiff::between(*board, *file);
    if (differences.isEmpty()) {
        QMessageBox::information(this, tr("Vantor"), tr("Нет различий"));
        return;
    }
    QStringList lines;
    for (const ConfigDifference& d : differences) {
        markDifference(d);
        lines << QStringLiteral("%1: %2 → %3").arg(d.path(), ConfigDifference::valueText(d.board),
                                                   ConfigDifference::valueText(d.file));
    }
    QMessageBox box(QMessageBox::Information, tr("Vantor"),
                    tr("Различий: %1 (поле: на устройстве → в файле)").arg(differences.size()), QMessageBox::Ok,
                    this);
    box.setDetailedText(lines.join(QLatin1Char('\n')));
    // The box stays on the screen; the full list is behind "Show Details".
    box.setInformativeText(lines.mid(0, 20).join(QLatin1Char('\n'))
                           + (lines.size() > 20 ? QStringLiteral("\n…") : QString()));
    box.exec();
}

// ---- Marks of the differing cells ----

void MainWindow::markDifference(const ConfigDifference& difference)
{
    for (const FieldCell& cell : fieldCells) {
        if (difference.section != QLatin1String(cell.section) || difference.field != QLatin1String(cell.field))
            continue;
        QTableWidget* table = nullptr;
        if (difference.section == QLatin1String("di"))
            table = ui->tableWidgetDIConfig;
        else if (difference.section == QLatin1String("do"))
            table = ui->tableWidgetDOConfig;
        else
            table = difference.index == 0 ? ui->tableWidgetRs485Param : ui->tableWidgetRs485Param_2;
        const int row = cell.row < 0 ? difference.index : cell.row;
        const int column = cell.column < 0 ? 0 : cell.column;
        if (!table || row >= table->rowCount() || column >= table->columnCount())
            return;
        DifferenceMark mark { table, row, column, QBrush(), QString() };
        if (QWidget* widget = table->cellWidget(row, column)) {
            mark.styleSheet = widget->styleSheet();
            widget->setStyleSheet(QStringLiteral("background-color: %1;").arg(differenceColour.name()));
            widget->setProperty("differsFromFile", true);
        } else if (QTableWidgetItem* item = table->item(row, column)) {
            mark.background = item->background();
            item->setBackground(differenceColour);
            item->setData(Qt::UserRole + 1, true);
        }
        differenceMarks.append(mark);
        return;
    }
}

void MainWindow::clearDifferenceMarks()
{
    for (const DifferenceMark& mark : differenceMarks) {
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
    differenceMarks.clear();
}

// ---- Operations log ----

QString MainWindow::linkDescription() const
{
    // As the connection bar shows it: mode, then port or address, then device address.
    QStringList place;
    QString mode;
    QString address;
    for (QWidget* widget : ui->ConnectionWidget->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (widget->isHidden())
            continue;
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            if (mode.isEmpty())
                mode = combo->currentText();
            else
                place << combo->currentText();
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            if (edit->objectName() == QLatin1String("DeviceID"))
                address = edit->text();
            else
                place << edit->text();
        }
    }
    QString text = mode;
    if (!place.isEmpty())
        text += QLatin1Char(' ') + place.join(QLatin1Char(':'));
    if (!address.isEmpty())
        text += QStringLiteral(", address %1").arg(address);
    return text;
}

int MainWindow::deviceAddress() const
{
    const auto* edit = ui->ConnectionWidget->findChild<QLineEdit*>(QStringLiteral("DeviceID"));
    return edit ? edit->text().toInt() : 0;
}

void MainWindow::logOperation(OperationRecord record)
{
    record.program = QStringLiteral("window");
    record.link = linkDescription();
    record.board = boardState();
    // A log that cannot be written must not stand in the technician's way.
    OperationsLog().append(record);
}

void MainWindow::logOperation(const QString& operation, bool ok, const QString& outcome)
{
    OperationRecord record;
    record.operation = operation;
    record.ok = ok;
    record.outcome = outcome;
    logOperation(record);
}

void MainWindow::logOperation(const QString& operation, const ExchangeResult& result)
{
    OperationRecord record;
    record.operation = operation;
    record.takeOutcome(result);
    logOperation(record);
}
