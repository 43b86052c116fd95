#include "rs485panel.h"

#include "boardsession.h"
#include "boardtexts.h"
#include "rs485fields.h"
#include "tablecells.h"
#include "valuerules.h"
#include "windowtext.h"

#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTableWidget>

using TableCells::comboAt;
using TableCells::editAt;
using TableCells::editText;

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

int comboIndex(const QTableWidget* table, int row)
{
    const QComboBox* combo = comboAt(table, row);
    return combo ? combo->currentIndex() : -1;
}

QComboBox* newCombo(const QStringList& choices, int current = 0)
{
    auto* combo = new QComboBox;
    combo->addItems(choices);
    combo->setCurrentIndex(current);
    return combo;
}

// Puts an editor into a row of the IEC101 part, over an empty item.
void placeEditor(QTableWidget* table, int row, QWidget* editor)
{
    table->setItem(row, 0, new QTableWidgetItem);
    table->setCellWidget(row, 0, editor);
}

} // namespace

Rs485Panel::Rs485Panel(QTableWidget* port1, QTableWidget* port2, BoardSession* session, QObject* parent)
    : QObject(parent)
    , tables { port1, port2 }
    , session(session)
{
    setObjectName(QStringLiteral("rs485Panel"));
    buildPortTable(port1);
    buildPortTable(port2);
}

QWidget* Rs485Panel::boxParent() const
{
    return tables[0]->window();
}

void Rs485Panel::write()
{
    if (!session->hasLink())
        return;
    if (writeRs485Params()) {
        QMessageBox::information(boxParent(), windowText("Vantor"), writeOutcome, QMessageBox::Ok);
        return;
    }
    QMessageBox box(QMessageBox::Warning, windowText("Vantor"), writeOutcome, QMessageBox::Ok, boxParent());
    // A refusal of what was typed says which field to correct.
    if (!rs485InputError.isEmpty())
        box.setInformativeText(rs485InputError);
    box.exec();
}

void Rs485Panel::read()
{
    if (!session->hasLink())
        return;
    if (!readRs485Params())
        QMessageBox::warning(boxParent(), windowText("Vantor"), BoardTexts::rs485ReadFailed(), QMessageBox::Ok);
}

bool Rs485Panel::readRs485Params()
{
    if (!session->hasLink())
        return false;
    const auto read = session->readRs485();
    takeBoardRecords(read.ports, read.protocols);
    return read.ok();
}

void Rs485Panel::takeBoardRecords(bool ports, bool protocols)
{
    if (!ports)
        return;
    rs485Ports = session->rs485Ports();
    showPortRecord(tables[0], rs485Ports[0]);
    showPortRecord(tables[1], rs485Ports[1]);
    rs485PortsShown = true;
    // A missing or wrong protocol reply is not reported: the rows stay as they were.
    if (protocols) {
        iec101Params = session->iec101();
        showIec101Record(tables[0], iec101Params[0]);
        showIec101Record(tables[1], iec101Params[1]);
    }
    portsShown = rs485Ports;
    protocolsShown = iec101Params;
    shownFromBoard = true;
}

bool Rs485Panel::writeRs485Params()
{
    rs485InputError.clear();
    writeOutcome = BoardTexts::rs485WriteFailed();
    if (!session->hasLink())
        return false;
    // Collected into copies: a refusal leaves the records as shown, and rows
    // nobody changed keep the values the records hold.
    Rs485Ports ports = rs485Ports;
    Iec101Ports protocols = iec101Params;
    if (!collectEdits(ports, protocols))
        return false;
    rs485Ports = ports;
    iec101Params = protocols;
    // Written and read back: a board that acknowledged but holds something
    // else is named field by field, the board's value first.
    const BoardSession::WriteResult result = session->writeRs485(rs485Ports, iec101Params);
    writeOutcome = result.text;
    if (!result.ok())
        return false;
    // The tables now hold what the board holds.
    portsShown = rs485Ports;
    protocolsShown = iec101Params;
    shownFromBoard = true;
    return true;
}

void Rs485Panel::showRecords(const Rs485Ports& ports, const Iec101Ports& protocols, bool fromBoard)
{
    rs485Ports = ports;
    iec101Params = protocols;
    for (int port = 0; port < 2; ++port)
        showPortRecord(tables[port], rs485Ports[port]);
    for (int port = 0; port < 2; ++port)
        showIec101Record(tables[port], iec101Params[port]);
    portsShown = rs485Ports;
    protocolsShown = iec101Params;
    shownFromBoard = fromBoard;
}

bool Rs485Panel::collectEdits(Rs485Ports& ports, Iec101Ports& protocols)
{
    rs485InputError.clear();
    for (int port = 0; port < 2; ++port) {
        if (collectPortRecord(tables[port], ports[port]))
            continue;
        // With all its choice rows present, only the baud rate can be at fault.
        bool rowsPresent = true;
        for (int row = BaudRateRow; row <= ProtocolRow; ++row)
            rowsPresent = rowsPresent && comboAt(tables[port], row);
        if (rowsPresent)
            rs485InputError = windowText("Порт %1: в поле «Скорость» должно быть число больше 0.").arg(port + 1);
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
        rs485InputError = windowText("Порт %1, «%2»: введите число от %3 до %4.")
                              .arg(first.index + 1)
                              .arg(first.fieldName())
                              .arg(first.range().low)
                              .arg(first.range().high);
        return false;
    }
    return true;
}

QString Rs485Panel::iec101InputProblem(QTableWidget* table, int port, const Iec101Params& shown) const
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
        { AddressRow, ValueRules::iec101Address, before.linkAddress },
        { CommonAddressRow, ValueRules::iec101Address, before.commonAddress },
        { ClockSyncPeriodRow, ValueRules::clockSyncPeriod, before.clockSyncPeriod },
    };
    for (const auto& number : numberRows) {
        const QLineEdit* edit = editAt(table, number.row);
        if (!edit)
            continue;
        if (before.enabled && edit->text() == number.shownText)
            continue;
        // The validator lets a number above its top stay while it has no more
        // digits than the top, and accepts group separators; the record takes
        // neither, so the value is judged as the record will read it.
        bool ok = false;
        const qlonglong value = edit->text().toLongLong(&ok, 10);
        if (ok && number.range.contains(value))
            continue;
        const QTableWidgetItem* header = table->verticalHeaderItem(number.row);
        return windowText("Порт %1, «%2»: введите число от %3 до %4.")
            .arg(port)
            .arg(header ? header->text() : QString::number(number.row))
            .arg(number.range.low)
            .arg(number.range.high);
    }
    return QString();
}

// ---- The tables ----

void Rs485Panel::buildPortTable(QTableWidget* table)
{
    if (!table)
        return;
    table->setColumnCount(1);
    table->setRowCount(ProtocolTitleRow + 1);
    // The title row names the table; a column header would only say "1".
    table->horizontalHeader()->setVisible(false);
    table->horizontalHeader()->setStretchLastSection(true);

    table->setItem(TitleRow, 0, TableCells::titleItem(windowText("Параметры RS-485")));

    auto* baudRate = newCombo({ QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                                QStringLiteral("9600"), QStringLiteral("14400"), QStringLiteral("19200"),
                                QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200") });
    // Any other rate the board supports may be typed.
    baudRate->setEditable(true);
    table->setCellWidget(BaudRateRow, 0, baudRate);
    table->setCellWidget(DataBitsRow, 0, newCombo({ QStringLiteral("8"), QStringLiteral("9") }));
    table->setCellWidget(ParityRow, 0,
                         newCombo({ QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd") }));
    table->setCellWidget(StopBitsRow, 0, newCombo({ QStringLiteral("1"), QStringLiteral("2") }));

    auto* protocol = newCombo({ QStringLiteral("нет"), QStringLiteral("ModBusRTU"), QStringLiteral("IEC101") });
    table->setCellWidget(ProtocolRow, 0, protocol);
    connect(protocol, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this, table](int index) { buildProtocolRows(index, table); });

    buildProtocolRows(NoProtocol, table);
}

void Rs485Panel::buildProtocolRows(int protocol, QTableWidget* table)
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

    QStringList labels = { QString(),
                           windowText("Скорость"),
                           windowText("Биты данных"),
                           windowText("Четность"),
                           windowText("Стоповые биты"),
                           windowText("Протокол"),
                           QString() };
    int rows = ProtocolTitleRow + 1;

    switch (protocol) {
    case ModbusProtocol:
        table->setItem(ProtocolTitleRow, 0, TableCells::titleItem(windowText("Параметры ModBusRTU")));
        table->setItem(AddressRow, 0, new QTableWidgetItem);
        labels << windowText("Адрес устройства");
        rows = AddressRow + 1;
        break;
    case Iec101Protocol: {
        table->setItem(ProtocolTitleRow, 0, TableCells::titleItem(windowText("Параметры IEC101")));
        const QStringList oneTwo = { QStringLiteral("1"), QStringLiteral("2") };
        const QStringList yesNo = { windowText("Да"), windowText("Нет") };
        const int topAddress = int(ValueRules::iec101Address.high);
        placeEditor(table, AddressRow, TableCells::numberEdit(1, topAddress));
        placeEditor(table, LinkAddressLengthRow, newCombo(oneTwo, 1));
        placeEditor(table, OriginatorAddressRow, newCombo(yesNo, 0));
        placeEditor(table, StationAddressLengthRow, newCombo(oneTwo, 1));
        placeEditor(table, ObjectAddressLengthRow, newCombo({ QStringLiteral("2"), QStringLiteral("3") }, 1));
        placeEditor(table, CommonAddressRow, TableCells::numberEdit(1, topAddress));
        placeEditor(table, ClockSyncPeriodRow, TableCells::numberEdit(1, int(ValueRules::clockSyncPeriod.high)));
        placeEditor(table, GiTimeRow, newCombo(yesNo, 1));
        labels << windowText("Адрес устройства") << windowText("Длина адреса канала") << windowText("Адрес источника")
               << windowText("Длина адреса станции") << windowText("Длина адреса объекта")
               << windowText("Общий адрес ASDU") << windowText("Период точного времени") << windowText("Время GI");
        rows = GiTimeRow + 1;
        break;
    }
    default:
        table->setItem(ProtocolTitleRow, 0, TableCells::titleItem(windowText("Параметры ----")));
        break;
    }

    table->setRowCount(rows);
    table->setVerticalHeaderLabels(labels);
    // The IEC101 editors need their own height; the short tables keep an even grid.
    table->verticalHeader()->setSectionResizeMode(protocol == Iec101Protocol ? QHeaderView::ResizeToContents
                                                                             : QHeaderView::Fixed);
}

bool Rs485Panel::collectPortRecord(QTableWidget* table, Rs485PortParams& record)
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

bool Rs485Panel::collectIec101Record(QTableWidget* table, Iec101Params& record)
{
    const Iec101Params shown = record;
    record = Iec101Params();
    const QComboBox* protocol = comboAt(table, ProtocolRow);
    if (!protocol)
        return false;
    Iec101Fields fields;
    fields.enabled = protocol->currentText() == QLatin1String("IEC101");
    if (fields.enabled) {
        fields.linkAddress = editText(table, AddressRow);
        fields.linkAddressLengthIndex = comboIndex(table, LinkAddressLengthRow);
        fields.originatorAddressIndex = comboIndex(table, OriginatorAddressRow);
        fields.stationAddressLengthIndex = comboIndex(table, StationAddressLengthRow);
        fields.objectAddressLengthIndex = comboIndex(table, ObjectAddressLengthRow);
        fields.commonAddress = editText(table, CommonAddressRow);
        fields.clockSyncPeriod = editText(table, ClockSyncPeriodRow);
        fields.giTimeIndex = comboIndex(table, GiTimeRow);
    }
    record = buildIec101(fields, &shown);
    return true;
}

void Rs485Panel::showPortRecord(QTableWidget* table, const Rs485PortParams& record)
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

void Rs485Panel::showIec101Record(QTableWidget* table, const Iec101Params& record)
{
    const Iec101Fields fields = describeIec101(record);
    if (!table || !fields.enabled)
        return;
    if (QComboBox* combo = comboAt(table, ProtocolRow))
        combo->setCurrentIndex(Iec101Protocol);

    const auto setText = [table](int row, const QString& text) { TableCells::setEditText(table, row, 0, text); };
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
