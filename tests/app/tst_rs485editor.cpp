// The two RS-485 port tables as a technician uses them: their rows per
// protocol, what the write sends for what was typed or chosen, what is refused
// before anything is sent, and what a read shows. The board is a scripted
// connector, so every request, attempt and time-out is seen; unless a test
// scripts its answers, it keeps what is written and reads it back.

#include "boardmemory.h"
#include "boardsession.h"
#include "modalanswerer.h"
#include "rs485panel.h"
#include "rs485records.h"
#include "rs485table.h"
#include "scriptedconnector.h"
#include "testsettings.h"

#include <QComboBox>
#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString writeFailed = QStringLiteral("Ошибка записи параметров RS-485\n");
const QString readFailed = QStringLiteral("Ошибка чтения параметров RS-485\n");
const QString written = QStringLiteral("Параметры RS-485 успешно записаны\n");

const QStringList baseLabels = {QString(), QStringLiteral("Скорость"), QStringLiteral("Биты данных"),
                                QStringLiteral("Четность"), QStringLiteral("Стоповые биты"),
                                QStringLiteral("Протокол"), QString()};
const QStringList iec101Labels = {QStringLiteral("Адрес устройства"),      QStringLiteral("Длина адреса канала"),
                                  QStringLiteral("Адрес источника"),       QStringLiteral("Длина адреса станции"),
                                  QStringLiteral("Длина адреса объекта"),  QStringLiteral("Общий адрес ASDU"),
                                  QStringLiteral("Период точного времени"), QStringLiteral("Время GI")};

using namespace Rs485Records;
using namespace Rs485Table;

const QByteArray noIec = noIec101Record();
// What an untouched table sends: first rate of the list, 8N1, no protocol.
const QByteArray untouchedPort = portRecord(1200, 0, 0, 0, 1, 0);

QByteArray request(quint8 code, const QByteArray& data)
{
    return char(code) + data;
}

// Valid IEC101 numbers, so a write is not refused for a field the test is not about.
bool fillIec101Numbers(QTableWidget* table)
{
    return typeIntoEdit(table, 7, QStringLiteral("10")) && typeIntoEdit(table, 12, QStringLiteral("20"))
        && typeIntoEdit(table, 13, QStringLiteral("30"));
}

QList<QLineEdit*> lineEditsOnViewport(QTableWidget* table)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return table->viewport()->findChildren<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace

class TestRs485Editor : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void eachTableStartsWithoutProtocol();
    void protocolRowsFollowTheChoice_data();
    void protocolRowsFollowTheChoice();
    void iec101RowsStartWithDefaults();
    void leavingIec101LeavesNoEditorBehind_data();
    void leavingIec101LeavesNoEditorBehind();

    void portRecordFollowsTheRows_data();
    void portRecordFollowsTheRows();
    void modbusAddressWritten_data();
    void modbusAddressWritten();
    void badBaudRateSendsNothing_data();
    void badBaudRateSendsNothing();
    void iec101RecordFollowsTheRows_data();
    void iec101RecordFollowsTheRows();
    void noProtocolWritesModbusOffAndZeroRecord_data();
    void noProtocolWritesModbusOffAndZeroRecord();
    void iec101NumberOutOfRangeSendsNothing_data();
    void iec101NumberOutOfRangeSendsNothing();
    void writeOutcome_data();
    void writeOutcome();

    void readShowsBothRecordsAndWritesThemBack();
    void boardValuesOutsideTheEditorsGoBack_data();
    void boardValuesOutsideTheEditorsGoBack();
    void readReportingNoProtocolKeepsTheRows();
    void portReadFailsAfterThreeAttempts_data();
    void portReadFailsAfterThreeAttempts();
    void protocolReplyMissingStillReads_data();
    void protocolReplyMissingStillReads();
    void buttonsNeedAConnection();

private:
    QTableWidget* table(int port) const;
    void clickWrite();
    void clickRead();
    bool oneBox(QMessageBox::Icon icon, const QString& text) const;

    std::unique_ptr<BoardSession> session;
    BoardMemory memory;
    std::unique_ptr<QWidget> window;
    Rs485Panel* panel = nullptr;
    QSharedPointer<ScriptedConnector> link;
    std::unique_ptr<ModalAnswerer> answerer;
};

void TestRs485Editor::initTestCase()
{
    TestSettings::isolate();
}

void TestRs485Editor::init()
{
    session = std::make_unique<BoardSession>();
    session->setLogging(false);
    window = std::make_unique<QWidget>();
    panel = new Rs485Panel(new QTableWidget(window.get()), new QTableWidget(window.get()), session.get(),
                           window.get());
    link = QSharedPointer<ScriptedConnector>::create();
    memory = BoardMemory::blank(16);
    link->setResponder(memory.responder());
    // Any time-out other than the commands' own shows whether it was restored.
    link->setTimeout(1234);
    session->attach(link);
    answerer = std::make_unique<ModalAnswerer>();
}

void TestRs485Editor::cleanup()
{
    answerer.reset();
    window.reset();
    session.reset();
    link.reset();
}

QTableWidget* TestRs485Editor::table(int port) const
{
    return panel->table(port - 1);
}

void TestRs485Editor::clickWrite()
{
    panel->write();
}

void TestRs485Editor::clickRead()
{
    panel->read();
}

bool TestRs485Editor::oneBox(QMessageBox::Icon icon, const QString& text) const
{
    if (answerer->seen.size() != 1) {
        qWarning() << "boxes seen:" << answerer->texts();
        return false;
    }
    const ModalAnswerer::Seen& box = answerer->seen.constFirst();
    if (box.title != QLatin1String("Vantor") || box.icon != icon || box.text != text) {
        qWarning() << "box:" << box.title << box.icon << box.text;
        return false;
    }
    return true;
}

// ---- Shape of the tables ----

void TestRs485Editor::eachTableStartsWithoutProtocol()
{
    for (int port = 1; port <= 2; ++port) {
        QTableWidget* t = table(port);
        QCOMPARE(t->columnCount(), 1);
        QCOMPARE(t->rowCount(), 7);
        QCOMPARE(rowLabels(t), baseLabels);

        QCOMPARE(t->item(0, 0)->text(), QStringLiteral("Параметры RS-485"));
        QCOMPARE(t->item(0, 0)->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));

        QComboBox* rate = comboAt(t, 1);
        QVERIFY(rate);
        QVERIFY(rate->isEditable());
        QStringList rates;
        for (int i = 0; i < rate->count(); ++i)
            rates << rate->itemText(i);
        QCOMPARE(rates, QStringList({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"}));

        const QList<QStringList> choices = {{"8", "9"}, {"None", "Even", "Odd"}, {"1", "2"},
                                            {QStringLiteral("нет"), "ModBusRTU", "IEC101"}};
        for (int row = 2; row <= 5; ++row) {
            QComboBox* combo = comboAt(t, row);
            QVERIFY2(combo, qPrintable(QString::number(row)));
            QVERIFY(!combo->isEditable());
            QStringList items;
            for (int i = 0; i < combo->count(); ++i)
                items << combo->itemText(i);
            QCOMPARE(items, choices.at(row - 2));
            QCOMPARE(combo->currentIndex(), 0);
        }
        QCOMPARE(t->item(6, 0)->text(), QStringLiteral("Параметры ----"));
        QCOMPARE(t->item(6, 0)->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));
        QCOMPARE(t->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    }
}

void TestRs485Editor::protocolRowsFollowTheChoice_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("path"); // protocols chosen in turn; the last one counts
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QStringList>("lowerLabels");
    QTest::addColumn<int>("resizeMode");

    const QString modbus = QStringLiteral("ModBusRTU");
    const QString iec = QStringLiteral("IEC101");
    const QString none = QStringLiteral("нет");
    QTest::newRow("ModBusRTU") << 1 << QStringList{modbus} << 8 << QStringLiteral("Параметры ModBusRTU")
                               << QStringList{QStringLiteral("Адрес устройства")} << int(QHeaderView::Fixed);
    QTest::newRow("IEC101") << 2 << QStringList{iec} << 15 << QStringLiteral("Параметры IEC101") << iec101Labels
                            << int(QHeaderView::ResizeToContents);
    QTest::newRow("IEC101 then ModBusRTU") << 1 << QStringList{iec, modbus} << 8
                                           << QStringLiteral("Параметры ModBusRTU")
                                           << QStringList{QStringLiteral("Адрес устройства")}
                                           << int(QHeaderView::Fixed);
    QTest::newRow("IEC101 then нет") << 2 << QStringList{iec, none} << 7 << QStringLiteral("Параметры ----")
                                     << QStringList() << int(QHeaderView::Fixed);
    QTest::newRow("ModBusRTU then IEC101") << 1 << QStringList{modbus, iec} << 15
                                           << QStringLiteral("Параметры IEC101") << iec101Labels
                                           << int(QHeaderView::ResizeToContents);
}

void TestRs485Editor::protocolRowsFollowTheChoice()
{
    QFETCH(int, port);
    QFETCH(QStringList, path);
    QFETCH(int, rows);
    QFETCH(QString, title);
    QFETCH(QStringList, lowerLabels);
    QFETCH(int, resizeMode);

    QTableWidget* t = table(port);
    for (const QString& protocol : path)
        QVERIFY(choose(t, 5, protocol));

    QCOMPARE(t->rowCount(), rows);
    QCOMPARE(rowLabels(t), baseLabels + lowerLabels);
    QCOMPARE(t->item(6, 0)->text(), title);
    QCOMPARE(t->item(6, 0)->flags(), Qt::ItemFlags(Qt::ItemIsEnabled));
    QCOMPARE(int(t->verticalHeader()->sectionResizeMode(0)), resizeMode);
    // The other port's table is not touched.
    QCOMPARE(table(3 - port)->rowCount(), 7);

    if (rows == 8) {
        QTableWidgetItem* address = t->item(7, 0);
        QVERIFY(address);
        QVERIFY(address->text().isEmpty());
        QVERIFY(address->flags() & Qt::ItemIsEditable);
        QVERIFY(!t->cellWidget(7, 0));
    }
}

void TestRs485Editor::iec101RowsStartWithDefaults()
{
    QTableWidget* t = table(2);
    QVERIFY(choose(t, 5, QStringLiteral("IEC101")));

    const QList<int> comboRows = {8, 9, 10, 11, 14};
    const QStringList defaults = {"2", QStringLiteral("Да"), "2", "3", QStringLiteral("Нет")};
    const QList<QStringList> choices = {{"1", "2"}, {QStringLiteral("Да"), QStringLiteral("Нет")}, {"1", "2"},
                                        {"2", "3"}, {QStringLiteral("Да"), QStringLiteral("Нет")}};
    for (int i = 0; i < comboRows.size(); ++i) {
        QComboBox* combo = comboAt(t, comboRows.at(i));
        QVERIFY2(combo, qPrintable(QString::number(comboRows.at(i))));
        QCOMPARE(combo->currentText(), defaults.at(i));
        QStringList items;
        for (int k = 0; k < combo->count(); ++k)
            items << combo->itemText(k);
        QCOMPARE(items, choices.at(i));
    }

    const QList<int> editRows = {7, 12, 13};
    const QList<int> tops = {65535, 65535, 268435455};
    for (int i = 0; i < editRows.size(); ++i) {
        QLineEdit* edit = editAt(t, editRows.at(i));
        QVERIFY2(edit, qPrintable(QString::number(editRows.at(i))));
        QVERIFY(edit->text().isEmpty());
        QVERIFY(!edit->hasFrame());
        auto* range = qobject_cast<const QIntValidator*>(edit->validator());
        QVERIFY(range);
        QCOMPARE(range->bottom(), 1);
        QCOMPARE(range->top(), tops.at(i));
    }
    // Every editor sits on an empty item.
    for (int row = 7; row <= 14; ++row) {
        QVERIFY(t->item(row, 0));
        QVERIFY(t->item(row, 0)->text().isEmpty());
    }

    // Leaving the protocol and coming back loses what was typed.
    QVERIFY(typeIntoEdit(t, 7, QStringLiteral("42")));
    QVERIFY(choose(t, 14, QStringLiteral("Да")));
    QVERIFY(choose(t, 5, QStringLiteral("ModBusRTU")));
    QVERIFY(choose(t, 5, QStringLiteral("IEC101")));
    QVERIFY(editAt(t, 7)->text().isEmpty());
    QCOMPARE(comboAt(t, 14)->currentText(), QStringLiteral("Нет"));
}

void TestRs485Editor::leavingIec101LeavesNoEditorBehind_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QStringList>("path");

    const QString modbus = QStringLiteral("ModBusRTU");
    const QString iec = QStringLiteral("IEC101");
    QTest::newRow("port 1, straight to ModBusRTU") << 1 << QStringList{iec, modbus};
    QTest::newRow("port 2, straight to ModBusRTU") << 2 << QStringList{iec, modbus};
    QTest::newRow("port 1, by way of нет") << 1 << QStringList{iec, QStringLiteral("нет"), modbus};
}

void TestRs485Editor::leavingIec101LeavesNoEditorBehind()
{
    QFETCH(int, port);
    QFETCH(QStringList, path);

    QTableWidget* t = table(port);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    for (const QString& protocol : path)
        QVERIFY(choose(t, 5, protocol));

    QVERIFY(!t->cellWidget(7, 0));
    QVERIFY(lineEditsOnViewport(t).isEmpty());

    QVERIFY(typeIntoCell(t, 7, QStringLiteral("17")));

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 4); // and both read back
    // An editor left over from IEC101 would have taken the keys, and 1 would go out.
    const QByteArray typed = portRecord(1200, 0, 0, 0, 17, 1);
    QCOMPARE(link->writes.at(0),
             request(0x72, port == 1 ? typed + untouchedPort : untouchedPort + typed));
    QCOMPARE(t->item(7, 0)->text(), QStringLiteral("17"));
}

// ---- What the write sends ----

void TestRs485Editor::portRecordFollowsTheRows_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("rate from the list, 8N1, no protocol")
        << 1 << "9600" << "8" << "None" << "1" << QStringLiteral("нет") << portRecord(9600, 0, 0, 0, 1, 0);
    QTest::newRow("typed rate, 9E2, ModBusRTU")
        << 2 << "250000" << "9" << "Even" << "2" << "ModBusRTU" << portRecord(250000, 0x2000, 0x2000, 0x400, 1, 1);
    QTest::newRow("odd parity, one stop bit, IEC101")
        << 1 << "115200" << "8" << "Odd" << "1" << "IEC101" << portRecord(115200, 0, 0, 0x600, 1, 0);
    QTest::newRow("largest rate the record holds")
        << 2 << "4294967295" << "8" << "None" << "2" << QStringLiteral("нет")
        << portRecord(4294967295u, 0, 0x2000, 0, 1, 0);
}

void TestRs485Editor::portRecordFollowsTheRows()
{
    QFETCH(int, port);
    QFETCH(QString, rate);
    QFETCH(QString, dataBits);
    QFETCH(QString, parity);
    QFETCH(QString, stopBits);
    QFETCH(QString, protocol);
    QFETCH(QByteArray, record);

    QTableWidget* t = table(port);
    typeBaudRate(t, rate);
    QVERIFY(choose(t, 2, dataBits));
    QVERIFY(choose(t, 3, parity));
    QVERIFY(choose(t, 4, stopBits));
    QVERIFY(choose(t, 5, protocol));
    if (protocol == QLatin1String("IEC101"))
        QVERIFY(fillIec101Numbers(t));

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 4); // and both read back
    QCOMPARE(link->writes.at(0), request(0x72, port == 1 ? record + untouchedPort : untouchedPort + record));
    QCOMPARE(link->writes.at(1).size(), 49);
    QCOMPARE(quint8(link->writes.at(1).at(0)), quint8(0x9E));
}

void TestRs485Editor::modbusAddressWritten_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("sent");

    // The rule is the record's; here what the cell's editor leaves in it.
    QTest::newRow("0 stays 0") << "0" << 0;
    QTest::newRow("248 is out of range") << "248" << 1;
    QTest::newRow("empty") << "" << 1;
}

void TestRs485Editor::modbusAddressWritten()
{
    QFETCH(QString, typed);
    QFETCH(int, sent);

    QTableWidget* t = table(1);
    QVERIFY(choose(t, 5, QStringLiteral("ModBusRTU")));
    QVERIFY(typeIntoCell(t, 7, QStringLiteral("99")));
    QVERIFY(typeIntoCell(t, 7, typed));
    QCOMPARE(t->item(7, 0)->text(), typed);

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.at(0), request(0x72, portRecord(1200, 0, 0, 0, quint8(sent), 1) + untouchedPort));
}

void TestRs485Editor::badBaudRateSendsNothing_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("rate");

    // The rule is the record's; here the box and the port it names.
    QTest::newRow("letters") << 1 << "fast";
    QTest::newRow("zero") << 2 << "0";
}

void TestRs485Editor::badBaudRateSendsNothing()
{
    QFETCH(int, port);
    QFETCH(QString, rate);

    typeBaudRate(table(port), rate);
    QCOMPARE(comboAt(table(port), 1)->currentText(), rate);
    clickWrite();

    QVERIFY(oneBox(QMessageBox::Warning, writeFailed));
    const QString detail = answerer->seen.constFirst().informativeText;
    QVERIFY2(detail.contains(QStringLiteral("Порт %1").arg(port)) && detail.contains(QStringLiteral("Скорость")),
             qPrintable(detail));
    QVERIFY(link->writes.isEmpty());
}

void TestRs485Editor::iec101RecordFollowsTheRows_data()
{
    QTest::addColumn<QString>("linkAddress");
    QTest::addColumn<QList<int>>("choices"); // rows 8, 9, 10, 11, 14
    QTest::addColumn<QString>("commonAddress");
    QTest::addColumn<QString>("clockSync");
    QTest::addColumn<QByteArray>("record");

    QTest::newRow("defaults, lowest numbers")
        << "1" << QList<int>{1, 0, 1, 1, 1} << "1" << "1" << iec101Record(1, 2, 1, 2, 3, 1, 1, 0);
    QTest::newRow("first choices, highest numbers")
        << "65535" << QList<int>{0, 0, 0, 0, 0} << "65535" << "268435455"
        << iec101Record(65535, 1, 1, 1, 2, 65535, 268435455, 1);
    QTest::newRow("second choices")
        << "300" << QList<int>{1, 1, 1, 1, 1} << "4000" << "123456" << iec101Record(300, 2, 0, 2, 3, 4000, 123456, 0);
}

void TestRs485Editor::iec101RecordFollowsTheRows()
{
    QFETCH(QString, linkAddress);
    QFETCH(QList<int>, choices);
    QFETCH(QString, commonAddress);
    QFETCH(QString, clockSync);
    QFETCH(QByteArray, record);

    QTableWidget* t = table(2);
    QVERIFY(choose(t, 5, QStringLiteral("IEC101")));
    QVERIFY(typeIntoEdit(t, 7, linkAddress));
    QVERIFY(typeIntoEdit(t, 12, commonAddress));
    QVERIFY(typeIntoEdit(t, 13, clockSync));
    const QList<int> rows = {8, 9, 10, 11, 14};
    for (int i = 0; i < rows.size(); ++i)
        QVERIFY(chooseIndex(t, rows.at(i), choices.at(i)));

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 4); // and both read back
    // The port runs IEC101, not ModBus; its ModBus address falls back to 1.
    QCOMPARE(link->writes.at(0), request(0x72, untouchedPort + portRecord(1200, 0, 0, 0, 1, 0)));
    QCOMPARE(link->writes.at(1), request(0x9E, noIec + record));
}

void TestRs485Editor::noProtocolWritesModbusOffAndZeroRecord_data()
{
    QTest::addColumn<QString>("before");
    QTest::newRow("after IEC101") << "IEC101";
    QTest::newRow("after ModBusRTU") << "ModBusRTU";
}

void TestRs485Editor::noProtocolWritesModbusOffAndZeroRecord()
{
    QFETCH(QString, before);

    for (int port = 1; port <= 2; ++port) {
        QTableWidget* t = table(port);
        QVERIFY(choose(t, 5, before));
        if (before == QLatin1String("IEC101"))
            QVERIFY(fillIec101Numbers(t));
        else
            QVERIFY(typeIntoCell(t, 7, QStringLiteral("33")));
        QVERIFY(choose(t, 5, QStringLiteral("нет")));
    }

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 4); // and both read back
    QCOMPARE(link->writes.at(0), request(0x72, untouchedPort + untouchedPort));
    QCOMPARE(link->writes.at(1), request(0x9E, QByteArray(48, '\0')));
}

void TestRs485Editor::iec101NumberOutOfRangeSendsNothing_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("locale"); // of the edit's validator; empty: as built

    const QString address = QStringLiteral("от 1 до 65535");
    const QString period = QStringLiteral("от 1 до 268435455");
    // The validator lets these stay in the edit: below the bottom, or above
    // the top without more digits than the top has.
    QTest::newRow("link address 0") << 1 << 7 << "0" << address << QString();
    QTest::newRow("link address 70000") << 2 << 7 << "70000" << address << QString();
    QTest::newRow("common address 99999") << 1 << 12 << "99999" << address << QString();
    QTest::newRow("clock period 0") << 2 << 13 << "0" << period << QString();
    QTest::newRow("clock period 999999999") << 1 << 13 << "999999999" << period << QString();
    // Where the locale groups digits with a comma, the validator takes
    // "1,000" as a whole number; the record cannot read it.
    QTest::newRow("common address 1,000") << 2 << 12 << "1,000" << address << "en_US";
    // Nothing typed would go out as 0.
    QTest::newRow("link address empty") << 2 << 7 << "" << address << QString();
    QTest::newRow("common address empty") << 1 << 12 << "" << address << QString();
}

void TestRs485Editor::iec101NumberOutOfRangeSendsNothing()
{
    QFETCH(int, port);
    QFETCH(int, row);
    QFETCH(QString, typed);
    QFETCH(QString, range);
    QFETCH(QString, locale);

    QTableWidget* t = table(port);
    QVERIFY(choose(t, 5, QStringLiteral("IEC101")));
    QVERIFY(fillIec101Numbers(t));
    if (!locale.isEmpty())
        const_cast<QValidator*>(editAt(t, row)->validator())->setLocale(QLocale(locale));
    QVERIFY(typeIntoEdit(t, row, typed));
    QCOMPARE(editAt(t, row)->text(), typed);

    clickWrite();
    QVERIFY(oneBox(QMessageBox::Warning, writeFailed));
    const QString detail = answerer->seen.constFirst().informativeText;
    QVERIFY2(detail.contains(QStringLiteral("Порт %1").arg(port)), qPrintable(detail));
    QVERIFY2(detail.contains(t->verticalHeaderItem(row)->text()), qPrintable(detail));
    QVERIFY2(detail.contains(range), qPrintable(detail));
    QVERIFY(link->writes.isEmpty());

    // Corrected, the same tables go out.
    answerer->reset();
    QVERIFY(typeIntoEdit(t, row, QStringLiteral("5")));
    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 4); // and both read back
}

void TestRs485Editor::writeOutcome_data()
{
    QTest::addColumn<QStringList>("steps"); // answers to 0x72, then 0x9E
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("success");

    QTest::newRow("both acknowledged and read back") << QStringList() << 4 << true;
    // Which replies count as taken is the exchange's; here the box.
    QTest::newRow("port settings not sent") << QStringList{"writefail"} << 1 << false;
    QTest::newRow("protocol settings unanswered") << QStringList{"c9", "silence"} << 2 << false;
}

void TestRs485Editor::writeOutcome()
{
    QFETCH(QStringList, steps);
    QFETCH(int, requests);
    QFETCH(bool, success);

    for (const QString& step : steps) {
        if (step == QLatin1String("silence"))
            link->queue(ScriptedConnector::silence());
        else if (step == QLatin1String("writefail"))
            link->queue(ScriptedConnector::writeFailure());
        else
            link->queue(ScriptedConnector::reply(QByteArray::fromHex(step.toLatin1())));
    }
    clickWrite();

    QVERIFY(success ? oneBox(QMessageBox::Information, written) : oneBox(QMessageBox::Warning, writeFailed));
    QVERIFY(answerer->seen.constFirst().informativeText.isEmpty());
    QCOMPARE(link->writes.size(), requests);
    QCOMPARE(quint8(link->writes.at(0).at(0)), quint8(0x72));
    QCOMPARE(link->writes.at(0).size(), 57);
    if (requests > 1)
        QCOMPARE(quint8(link->writes.at(1).at(0)), quint8(0x9E));
    for (int timeout : qAsConst(link->readTimeouts))
        QCOMPARE(timeout, 2000);
    QCOMPARE(link->getTimeout(), 1234);
}

// ---- What the read shows ----

void TestRs485Editor::readShowsBothRecordsAndWritesThemBack()
{
    const QByteArray port1 = portRecord(19200, 0x2000, 0x2000, 0x600, 33, 1, QByteArray::fromHex("5a112233"));
    const QByteArray port2 = portRecord(4800, 0, 0, 0, 1, 0, QByteArray::fromHex("01020304"));
    const QByteArray iec2 = iec101Record(300, 1, 0, 1, 2, 4000, 123456, 1);
    link->queue({ScriptedConnector::reply(request(0x71, port1 + port2)),
                 ScriptedConnector::reply(request(0x9D, noIec + iec2))});
    clickRead();

    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(link->writes, QList<QByteArray>({request(0x71, {}), request(0x9D, {})}));
    QCOMPARE(link->readTimeouts, QList<int>({2000, 2000}));
    QCOMPARE(link->getTimeout(), 1234);

    QTableWidget* t1 = table(1);
    QCOMPARE(comboAt(t1, 1)->currentText(), QStringLiteral("19200"));
    QCOMPARE(comboAt(t1, 2)->currentText(), QStringLiteral("9"));
    QCOMPARE(comboAt(t1, 3)->currentText(), QStringLiteral("Odd"));
    QCOMPARE(comboAt(t1, 4)->currentText(), QStringLiteral("2"));
    QCOMPARE(comboAt(t1, 5)->currentText(), QStringLiteral("ModBusRTU"));
    QCOMPARE(t1->rowCount(), 8);
    QCOMPARE(t1->item(7, 0)->text(), QStringLiteral("33"));

    QTableWidget* t2 = table(2);
    QCOMPARE(comboAt(t2, 1)->currentText(), QStringLiteral("4800"));
    QCOMPARE(comboAt(t2, 2)->currentText(), QStringLiteral("8"));
    QCOMPARE(comboAt(t2, 3)->currentText(), QStringLiteral("None"));
    QCOMPARE(comboAt(t2, 4)->currentText(), QStringLiteral("1"));
    QCOMPARE(comboAt(t2, 5)->currentText(), QStringLiteral("IEC101"));
    QCOMPARE(t2->rowCount(), 15);
    QCOMPARE(editAt(t2, 7)->text(), QStringLiteral("300"));
    QCOMPARE(comboAt(t2, 8)->currentText(), QStringLiteral("1"));
    QCOMPARE(comboAt(t2, 9)->currentText(), QStringLiteral("Нет"));
    QCOMPARE(comboAt(t2, 10)->currentText(), QStringLiteral("1"));
    QCOMPARE(comboAt(t2, 11)->currentText(), QStringLiteral("2"));
    QCOMPARE(editAt(t2, 12)->text(), QStringLiteral("4000"));
    QCOMPARE(editAt(t2, 13)->text(), QStringLiteral("123456"));
    QCOMPARE(comboAt(t2, 14)->currentText(), QStringLiteral("Да"));

    // Untouched, the same bytes go back, the carried ones included.
    clickWrite();
    QVERIFY(oneBox(QMessageBox::Information, written));
    QCOMPARE(link->writes.size(), 6);
    QCOMPARE(link->writes.at(2), request(0x72, port1 + port2));
    QCOMPARE(link->writes.at(3), request(0x9E, noIec + iec2));
}

void TestRs485Editor::boardValuesOutsideTheEditorsGoBack_data()
{
    QTest::addColumn<QByteArray>("ports");
    QTest::addColumn<QByteArray>("protocols");

    const QByteArray plain = portRecord(9600, 0, 0, 0, 1, 0);
    QTest::newRow("baud 0, parity 0x200") << portRecord(0, 0, 0, 0x200, 1, 0) + plain << noIec + noIec;
    QTest::newRow("ModBus address 250, ModBus byte 3") << plain + portRecord(19200, 0x2000, 0, 0, 250, 3) << noIec + noIec;
    QTest::newRow("IEC101 numbers held as 0") << plain + plain << noIec + iec101Record(0, 2, 1, 2, 3, 0, 0, 0);
    QTest::newRow("IEC101 lengths no combo offers") << plain + plain << iec101Record(7, 5, 9, 7, 4, 8, 9, 6) + noIec;
}

void TestRs485Editor::boardValuesOutsideTheEditorsGoBack()
{
    QFETCH(QByteArray, ports);
    QFETCH(QByteArray, protocols);

    link->queue({ScriptedConnector::reply(request(0x71, ports)), ScriptedConnector::reply(request(0x9D, protocols))});
    clickRead();
    QVERIFY(answerer->seen.isEmpty());

    clickWrite();
    QVERIFY2(oneBox(QMessageBox::Information, written), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(link->writes.mid(2, 2), QList<QByteArray>({request(0x72, ports), request(0x9E, protocols)}));
}

void TestRs485Editor::readReportingNoProtocolKeepsTheRows()
{
    QTableWidget* t1 = table(1);
    QTableWidget* t2 = table(2);
    QVERIFY(choose(t1, 5, QStringLiteral("IEC101")));
    QVERIFY(typeIntoEdit(t1, 7, QStringLiteral("77")));
    QVERIFY(choose(t1, 14, QStringLiteral("Да")));
    QLineEdit* linkEdit = editAt(t1, 7);
    QVERIFY(choose(t2, 5, QStringLiteral("ModBusRTU")));

    // Neither port has ModBus on, neither has IEC101 on.
    const QByteArray ports = portRecord(38400, 0, 0, 0, 9, 0) + portRecord(57600, 0, 0, 0, 12, 0);
    link->queue({ScriptedConnector::reply(request(0x71, ports)),
                 ScriptedConnector::reply(request(0x9D, noIec + noIec))});
    clickRead();
    QVERIFY(answerer->seen.isEmpty());

    QCOMPARE(comboAt(t1, 1)->currentText(), QStringLiteral("38400"));
    QCOMPARE(comboAt(t1, 5)->currentText(), QStringLiteral("IEC101"));
    QCOMPARE(t1->rowCount(), 15);
    QCOMPARE(editAt(t1, 7), linkEdit);
    QCOMPARE(linkEdit->text(), QStringLiteral("77"));
    QCOMPARE(comboAt(t1, 14)->currentText(), QStringLiteral("Да"));

    QCOMPARE(comboAt(t2, 1)->currentText(), QStringLiteral("57600"));
    QCOMPARE(comboAt(t2, 5)->currentText(), QStringLiteral("ModBusRTU"));
    QCOMPARE(t2->rowCount(), 8);
    QCOMPARE(t2->item(7, 0)->text(), QStringLiteral("12"));
}

void TestRs485Editor::portReadFailsAfterThreeAttempts_data()
{
    QTest::addColumn<QStringList>("attempts");
    QTest::addColumn<bool>("success");

    // What counts as a failed attempt is the port read's; here what the tables show.
    QTest::newRow("one byte short each time") << QStringList{"short", "short", "short"} << false;
    QTest::newRow("third attempt answers") << QStringList{"short", "silence", "good"} << true;
}

void TestRs485Editor::portReadFailsAfterThreeAttempts()
{
    QFETCH(QStringList, attempts);
    QFETCH(bool, success);

    const QByteArray ports = portRecord(9600, 0, 0, 0, 1, 1) + portRecord(2400, 0, 0, 0x400, 1, 0);
    for (const QString& attempt : attempts) {
        if (attempt == QLatin1String("short"))
            link->queue(ScriptedConnector::reply(request(0x71, ports).left(56)));
        else if (attempt == QLatin1String("silence"))
            link->queue(ScriptedConnector::silence());
        else
            link->queue(ScriptedConnector::reply(request(0x71, ports)));
    }
    clickRead();

    QList<QByteArray> expected = {request(0x71, {}), request(0x71, {}), request(0x71, {})};
    if (success) {
        expected << request(0x9D, {});
        QVERIFY(answerer->seen.isEmpty());
        QCOMPARE(comboAt(table(1), 1)->currentText(), QStringLiteral("9600"));
        QCOMPARE(comboAt(table(2), 3)->currentText(), QStringLiteral("Even"));
    } else {
        QVERIFY(oneBox(QMessageBox::Warning, readFailed));
        // Nothing was taken over.
        QCOMPARE(comboAt(table(1), 1)->currentText(), QStringLiteral("1200"));
        QCOMPARE(comboAt(table(1), 5)->currentText(), QStringLiteral("нет"));
        QCOMPARE(comboAt(table(2), 3)->currentText(), QStringLiteral("None"));
    }
    QCOMPARE(link->writes, expected);
    QCOMPARE(link->getTimeout(), 1234);
}

void TestRs485Editor::protocolReplyMissingStillReads_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("never comes") << "silence";
    QTest::newRow("one byte short") << "short";
}

void TestRs485Editor::protocolReplyMissingStillReads()
{
    QFETCH(QString, answer);

    QTableWidget* t2 = table(2);
    QVERIFY(choose(t2, 5, QStringLiteral("IEC101")));
    QVERIFY(typeIntoEdit(t2, 7, QStringLiteral("77")));

    const QByteArray ports = portRecord(14400, 0, 0, 0, 1, 0) + portRecord(1200, 0, 0, 0, 5, 0);
    link->queue(ScriptedConnector::reply(request(0x71, ports)));
    const QByteArray protocols = request(0x9D, iec101Record(9, 2, 1, 2, 3, 9, 9, 1) + noIec);
    if (answer == QLatin1String("silence"))
        link->queue(ScriptedConnector::silence());
    else
        link->queue(ScriptedConnector::reply(protocols.left(48)));
    clickRead();

    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(link->writes, QList<QByteArray>({request(0x71, {}), request(0x9D, {})}));
    QCOMPARE(link->readTimeouts, QList<int>({2000, 2000}));
    QCOMPARE(link->getTimeout(), 1234);
    // Port settings taken over; the protocol rows as they were.
    QCOMPARE(comboAt(table(1), 1)->currentText(), QStringLiteral("14400"));
    QCOMPARE(comboAt(table(1), 5)->currentText(), QStringLiteral("нет"));
    QCOMPARE(comboAt(t2, 5)->currentText(), QStringLiteral("IEC101"));
    QCOMPARE(editAt(t2, 7)->text(), QStringLiteral("77"));
    QCOMPARE(comboAt(t2, 8)->currentText(), QStringLiteral("2"));
}

void TestRs485Editor::buttonsNeedAConnection()
{
    session->release();
    typeBaudRate(table(1), QStringLiteral("0"));
    clickWrite();
    clickRead();
    QTest::qWait(50);
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QVERIFY(link->writes.isEmpty());
}

QTEST_MAIN(TestRs485Editor)
#include "tst_rs485editor.moc"
