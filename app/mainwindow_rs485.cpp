#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "configcommands.h"
#include "rs485fields.h"
#include "valuerules.h"

#include <QComboBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

// The RS-485 port parameters editor: two one-column tables, one per port, whose
// lower rows follow the protocol chosen in the table.

namespace {

// Rows of a port table.
enum Rs485Row {
    TitleRow = 0,
    BaudRateRow = 1,
    DataBitsRow = 2,
    ParityRow = 3,
    StopBitsRow = 4,
    ProtocolRow = 5,
    ProtocolTitleRow = 6,
    // ModBusRTU: the device address. IEC101: the link address.
    AddressRow = 7,
    LinkAddressLengthRow = 8,
    OriginatorAddressRow = 9,
    StationAddressLengthRow = 10,
    ObjectAddressLengthRow = 11,
    CommonAddressRow = 12,
    ClockSyncPeriodRow = 13,
    GiTimeRow = 14,
    RowsWhileBuilding = 15,
};

enum Protocol { NoProtocol = 0, ModbusProtocol = 1, Iec101Protocol = 2 };


QComboBox* comboAt(const QTableWidget* table, int row)
{
    return table ? qobject_cast<QComboBox*>(table->cellWidget(row, 0)) : nullptr;
}

QLineEdit* lineEditAt(const QTableWidget* table, int row)
{
    return table ? qobject_cast<QLineEdit*>(table->cellWidget(row, 0)) : nullptr;
}

int comboIndex(const QTableWidget* table, int row)
{
    const QComboBox* combo = comboAt(table, row);
    return combo ? combo->currentIndex() : -1;
}

QString lineEditText(const QTableWidget* table, int row)
{
    const QLineEdit* edit = lineEditAt(table, row);
    return edit ? edit->text() : QString();
}

// A title row: readable, but neither editable nor selectable.
QTableWidgetItem* titleItem(const QString& text)
{
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled);
    return item;
}

QComboBox* newCombo(const QStringList& choices, int current = 0)
{
    auto* combo = new QComboBox;
    combo->addItems(choices);
    combo->setCurrentIndex(current);
    return combo;
}

QLineEdit* newNumberEdit(int bottom, int top)
{
    auto* edit = new QLineEdit;
    edit->setFrame(false);
    edit->setValidator(new QIntValidator(bottom, top, edit));
    return edit;
}

// Puts an editor into a row of the IEC101 part, over an empty item.
void placeEditor(QTableWidget* table, int row, QWidget* editor)
{
    table->setItem(row, 0, new QTableWidgetItem);
    table->setCellWidget(row, 0, editor);
}

} // namespace

void MainWindow::on_pushButtonSetRs485Param_clicked()
{
    if (!connector)
        return;
    const bool written = writeRs485Params();
    logOperation(QStringLiteral("config-write RS-485"), written,
                 written || rs485InputError.isEmpty() ? QString() : QStringLiteral("input refused, nothing sent"));
    if (written) {
        QMessageBox::information(this, tr("Vantor"), tr("Параметры RS-485 успешно записаны\n"), QMessageBox::Ok);
        return;
    }
    QMessageBox box(QMessageBox::Warning, tr("Vantor"), tr("Ошибка записи параметров RS-485\n"), QMessageBox::Ok,
                    this);
    // A refusal of what was typed says which field to correct.
    if (!rs485InputError.isEmpty())
        box.setInformativeText(rs485InputError);
    box.exec();
}

void MainWindow::on_pushButtonGetRs485Param_clicked()
{
    if (!connector)
        return;
    if (!readRs485Params())
        QMessageBox::warning(this, tr("Vantor"), tr("Ошибка чтения параметров RS-485\n"), QMessageBox::Ok);
}

bool MainWindow::readRs485Params()
{
    if (!connector || !ui)
        return false;
    const ConfigCommands::Rs485Read result
        = ConfigCommands(connector.data(), boardState()).readRs485Params(rs485Ports, iec101Params);
    if (!result.ports)
        return false;
    showPortRecord(ui->tableWidgetRs485Param, rs485Ports[0]);
    showPortRecord(ui->tableWidgetRs485Param_2, rs485Ports[1]);
    rs485PortsShown = true;
    // A missing or wrong protocol reply is not reported: the rows stay as they were.
    if (result.protocols) {
        showIec101Record(ui->tableWidgetRs485Param, iec101Params[0]);
        showIec101Record(ui->tableWidgetRs485Param_2, iec101Params[1]);
    }
    return true;
}

bool MainWindow::writeRs485Params()
{
    rs485InputError.clear();
    if (!connector || !ui)
        return false;
    // Collected into copies: a refusal leaves the records as shown, and rows
    // nobody changed keep the values the records hold.
    Rs485Ports ports = rs485Ports;
    Iec101Ports protocols = iec101Params;
    if (!collectRs485Edits(ports, protocols))
        return false;
    rs485Ports = ports;
    iec101Params = protocols;
    return ConfigCommands(connector.data(), boardState()).writeRs485Params(rs485Ports, iec101Params);
}

bool MainWindow::collectRs485Edits(Rs485Ports& ports, Iec101Ports& protocols)
{
    rs485InputError.clear();
    QTableWidget* const tables[2] = {ui->tableWidgetRs485Param, ui->tableWidgetRs485Param_2};

    for (int port = 0; port < 2; ++port) {
        if (collectPortRecord(tables[port], ports[port]))
            continue;
        // With all its choice rows present, only the baud rate can be at fault.
        bool rowsPresent = true;
        for (int row = BaudRateRow; row <= ProtocolRow; ++row)
            rowsPresent = rowsPresent && comboAt(tables[port], row);
        if (rowsPresent)
            rs485InputError = tr("Порт %1: в поле «Скорость» должно быть число больше 0.").arg(port + 1);
        return false;
    }

    // Every field is checked before the first byte goes out, so a refused
    // protocol record never leaves the port settings half written.
    for (int port = 0; port < 2; ++port) {
        if (!collectIec101Record(tables[port], protocols[port]))
            return false;
        const QString problem = iec101InputProblem(tables[port], port + 1, iec101Params[port]);
        if (!problem.isEmpty()) {
            rs485InputError = problem;
            return false;
        }
    }
    // The rule the command-line tool applies to a file, applied to the tables.
    const QList<ValueRules::Problem> problems = ValueRules::checkRs485(ports, protocols, rs485Ports, iec101Params);
    if (!problems.isEmpty()) {
        const ValueRules::Problem& first = problems.first();
        rs485InputError = tr("Порт %1, «%2»: введите число от %3 до %4.")
                              .arg(first.index + 1)
                              .arg(first.fieldName())
                              .arg(first.range().low)
                              .arg(first.range().high);
        return false;
    }
    return true;
}

QString MainWindow::iec101InputProblem(QTableWidget* table, int port, const Iec101Params& shown) const
{
    const QComboBox* protocol = comboAt(table, ProtocolRow);
    if (!protocol || protocol->currentText() != QLatin1String("IEC101"))
        return QString();

    // A port the board ran without IEC101 has no numbers of its own to keep:
    // an empty row must be typed.
    const Iec101Fields before = describeIec101(shown);
    const struct
    {
        int row;
        ValueRules::Range range;
        QString shownText;
    } numberRows[] = {
        {AddressRow, ValueRules::iec101Address, before.linkAddress},
        {CommonAddressRow, ValueRules::iec101Address, before.commonAddress},
        {ClockSyncPeriodRow, ValueRules::clockSyncPeriod, before.clockSyncPeriod},
    };
    for (const auto& number : numberRows) {
        const int row = number.row;
        const QLineEdit* edit = lineEditAt(table, row);
        if (!edit)
            continue;
        if (before.enabled && edit->text() == number.shownText)
            continue;
        const ValueRules::Range* range = &number.range;
        // The validator lets a number above its top stay while it has no more
        // digits than the top, and accepts group separators; the record takes
        // neither, so the value is judged as the record will read it.
        bool ok = false;
        const qlonglong value = edit->text().toLongLong(&ok, 10);
        if (ok && range->contains(value))
            continue;
        const QTableWidgetItem* header = table->verticalHeaderItem(row);
        return tr("Порт %1, «%2»: введите число от %3 до %4.")
            .arg(port)
            .arg(header ? header->text() : QString::number(row))
            .arg(range->low)
            .arg(range->high);
    }
    return QString();
}

void MainWindow::buildRs485PortTable(QTableWidget* table)
{
    if (!table)
        return;
    table->setColumnCount(1);
    table->setRowCount(ProtocolTitleRow + 1);
    // The title row names the table; a column header would only say "1".
    table->horizontalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);

    table->setItem(TitleRow, 0, titleItem(tr("Параметры RS-485")));

    auto* baudRate = newCombo({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                               QStringLiteral("9600"), QStringLiteral("14400"), QStringLiteral("19200"),
                               QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200")});
    // Any other rate the board supports may be typed.
    baudRate->setEditable(true);
    table->setCellWidget(BaudRateRow, 0, baudRate);
    table->setCellWidget(DataBitsRow, 0, newCombo({QStringLiteral("8"), QStringLiteral("9")}));
    table->setCellWidget(ParityRow, 0,
                         newCombo({QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")}));
    table->setCellWidget(StopBitsRow, 0, newCombo({QStringLiteral("1"), QStringLiteral("2")}));

    auto* protocol = newCombo({QStringLiteral("нет"), QStringLiteral("ModBusRTU"), QStringLiteral("IEC101")});
    table->setCellWidget(ProtocolRow, 0, protocol);
    connect(protocol, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this, table](int index) { buildProtocolRows(index, table); });

    buildProtocolRows(NoProtocol, table);
}

void MainWindow::buildProtocolRows(int protocol, QTableWidget* table)
{
    if (!table)
        return;

    // setItem does not take a cell widget away: an editor of the previous
    // protocol left in a reused row would cover the new item and swallow what
    // is typed there. Drop every editor below the protocol row first.
    for (int row = ProtocolTitleRow; row < table->rowCount(); ++row)
        table->removeCellWidget(row, 0);
    table->setRowCount(RowsWhileBuilding);
    for (int row = ProtocolTitleRow; row < RowsWhileBuilding; ++row)
        delete table->takeItem(row, 0);

    QStringList labels = {QString(), tr("Скорость"), tr("Биты данных"), tr("Четность"), tr("Стоповые биты"),
                          tr("Протокол"), QString()};
    int rows = ProtocolTitleRow + 1;

    switch (protocol) {
    case ModbusProtocol:
        table->setItem(ProtocolTitleRow, 0, titleItem(tr("Параметры ModBusRTU")));
        table->setItem(AddressRow, 0, new QTableWidgetItem);
        labels << tr("Адрес устройства");
        rows = AddressRow + 1;
        break;
    case Iec101Protocol: {
        table->setItem(ProtocolTitleRow, 0, titleItem(tr("Параметры IEC101")));
        const QStringList oneTwo = {QStringLiteral("1"), QStringLiteral("2")};
        const QStringList yesNo = {tr("Да"), tr("Нет")};
        const int topAddress = int(ValueRules::iec101Address.high);
        placeEditor(table, AddressRow, newNumberEdit(1, topAddress));
        placeEditor(table, LinkAddressLengthRow, newCombo(oneTwo, 1));
        placeEditor(table, OriginatorAddressRow, newCombo(yesNo, 0));
        placeEditor(table, StationAddressLengthRow, newCombo(oneTwo, 1));
        placeEditor(table, ObjectAddressLengthRow, newCombo({QStringLiteral("2"), QStringLiteral("3")}, 1));
        placeEditor(table, CommonAddressRow, newNumberEdit(1, topAddress));
        placeEditor(table, ClockSyncPeriodRow, newNumberEdit(1, int(ValueRules::clockSyncPeriod.high)));
        placeEditor(table, GiTimeRow, newCombo(yesNo, 1));
        labels << tr("Адрес устройства") << tr("Длина адреса канала") << tr("Адрес источника")
               << tr("Длина адреса станции") << tr("Длина адреса объекта") << tr("Общий адрес ASDU")
               << tr("Период точного времени") << tr("Время GI");
        rows = GiTimeRow + 1;
        break;
    }
    default:
        table->setItem(ProtocolTitleRow, 0, titleItem(tr("Параметры ----")));
        break;
    }

    table->setRowCount(rows);
    table->setVerticalHeaderLabels(labels);
    // The IEC101 editors need their own height; the short tables keep an even grid.
    table->verticalHeader()->setSectionResizeMode(protocol == Iec101Protocol ? QHeaderView::ResizeToContents
                                                                             : QHeaderView::Fixed);
}

bool MainWindow::collectPortRecord(QTableWidget* table, Rs485PortParams& record)
{
    for (int row = BaudRateRow; row <= ProtocolRow; ++row) {
        if (!comboAt(table, row))
            return false;
    }
    Rs485PortFields fields;
    fields.baudRate = comboAt(table, BaudRateRow)->currentText();
    fields.dataBits = comboAt(table, DataBitsRow)->currentText();
    fields.parity = comboAt(table, ParityRow)->currentText();
    fields.stopBits = comboAt(table, StopBitsRow)->currentText();
    fields.protocol = comboAt(table, ProtocolRow)->currentText();
    if (const QTableWidgetItem* address = table->item(AddressRow, 0))
        fields.modbusAddress = address->text();
    return fillRs485Port(record, fields, rs485PortsShown ? &record : nullptr);
}

bool MainWindow::collectIec101Record(QTableWidget* table, Iec101Params& record)
{
    const Iec101Params shown = record;
    record = Iec101Params();
    const QComboBox* protocol = comboAt(table, ProtocolRow);
    if (!protocol)
        return false;
    Iec101Fields fields;
    fields.enabled = protocol->currentText() == QLatin1String("IEC101");
    if (fields.enabled) {
        fields.linkAddress = lineEditText(table, AddressRow);
        fields.linkAddressLengthIndex = comboIndex(table, LinkAddressLengthRow);
        fields.originatorAddressIndex = comboIndex(table, OriginatorAddressRow);
        fields.stationAddressLengthIndex = comboIndex(table, StationAddressLengthRow);
        fields.objectAddressLengthIndex = comboIndex(table, ObjectAddressLengthRow);
        fields.commonAddress = lineEditText(table, CommonAddressRow);
        fields.clockSyncPeriod = lineEditText(table, ClockSyncPeriodRow);
        fields.giTimeIndex = comboIndex(table, GiTimeRow);
    }
    record = buildIec101(fields, &shown);
    return true;
}

void MainWindow::showPortRecord(QTableWidget* table, const Rs485PortParams& record)
{
    if (!table)
        return;
    const Rs485PortFields fields = describeRs485Port(record);
    if (QComboBox* combo = comboAt(table, BaudRateRow))
        combo->setEditText(fields.baudRate);
    if (QComboBox* combo = comboAt(table, DataBitsRow))
        combo->setCurrentText(fields.dataBits);
    if (QComboBox* combo = comboAt(table, ParityRow))
        combo->setCurrentText(fields.parity);
    if (QComboBox* combo = comboAt(table, StopBitsRow))
        combo->setCurrentText(fields.stopBits);
    // A port without ModBus keeps the protocol the table shows: IEC101 is
    // told by the protocol record.
    if (!fields.protocol.isEmpty()) {
        if (QComboBox* combo = comboAt(table, ProtocolRow))
            combo->setCurrentText(fields.protocol);
    }
    if (table->rowCount() > AddressRow)
        table->setItem(AddressRow, 0, new QTableWidgetItem(fields.modbusAddress));
}

void MainWindow::showIec101Record(QTableWidget* table, const Iec101Params& record)
{
    const Iec101Fields fields = describeIec101(record);
    if (!table || !fields.enabled)
        return;
    if (QComboBox* combo = comboAt(table, ProtocolRow))
        combo->setCurrentIndex(Iec101Protocol);

    const auto setText = [table](int row, const QString& text) {
        if (QLineEdit* edit = lineEditAt(table, row))
            edit->setText(text);
    };
    const auto setIndex = [table](int row, int index) {
        if (QComboBox* combo = comboAt(table, row))
            combo->setCurrentIndex(index);
    };
    setText(AddressRow, fields.linkAddress);
    setIndex(LinkAddressLengthRow, fields.linkAddressLengthIndex);
    setIndex(OriginatorAddressRow, fields.originatorAddressIndex);
    setIndex(StationAddressLengthRow, fields.stationAddressLengthIndex);
    setIndex(ObjectAddressLengthRow, fields.objectAddressLengthIndex);
    setText(CommonAddressRow, fields.commonAddress);
    setText(ClockSyncPeriodRow, fields.clockSyncPeriod);
    setIndex(GiTimeRow, fields.giTimeIndex);
}
