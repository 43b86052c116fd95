// The RS-485 editor against the virtual board over TCP: what the window writes
// is what the board keeps, bytes the editor does not show survive, and a second
// window that reads the board and writes it back changes nothing.

#include "boardsetup.h"
#include "mainwindow.h"

#include "connectorip.h"
#include "modalanswerer.h"
#include "rs485records.h"
#include "rs485table.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace Rs485Records;
using namespace Rs485Table;

namespace {

const QString written = QStringLiteral("Параметры RS-485 успешно записаны\n");

// Bytes of each port the editor never shows: byte 21, then 25 to 27.
const QByteArray carried1 = QByteArray::fromHex("5a112233");
const QByteArray carried2 = QByteArray::fromHex("a5445566");

QTableWidget* portTable(MainWindow& window, int port)
{
    return window.findChild<QTableWidget*>(port == 1 ? QStringLiteral("tableWidgetRs485Param")
                                                     : QStringLiteral("tableWidgetRs485Param_2"));
}

void click(MainWindow& window, const char* button)
{
    window.findChild<QPushButton*>(QString::fromLatin1(button))->click();
}

QByteArray boardBlock(VirtualBoardProcess& board, const char* name)
{
    const QJsonObject configuration = board.state().value(QStringLiteral("configuration")).toObject();
    return QByteArray::fromHex(configuration.value(QLatin1String(name)).toString().toLatin1());
}

} // namespace

class TestRs485Board : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void writeThenReadBackGivesTheSameBytes_data();
    void writeThenReadBackGivesTheSameBytes();

private:
    // A window connected to the board the way the connection bar hands it over.
    std::unique_ptr<MainWindow> connectedWindow(VirtualBoardProcess& board);
};

void TestRs485Board::initTestCase()
{
    TestSettings::isolate();
    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
}

std::unique_ptr<MainWindow> TestRs485Board::connectedWindow(VirtualBoardProcess& board)
{
    auto window = std::make_unique<MainWindow>();
    auto link = QSharedPointer<ConnectorIP>::create(board.host(), board.port());
    if (!link->isConnected()) {
        qWarning() << "no link to the board:" << link->lastErrorString();
        return nullptr;
    }
    link->setDevID(0);
    partOf<BoardSession>(*window)->attach(link);
    return window;
}

void TestRs485Board::writeThenReadBackGivesTheSameBytes_data()
{
    QTest::addColumn<int>("modbusPort");
    QTest::newRow("ModBusRTU on port 1, IEC101 on port 2") << 1;
    QTest::newRow("IEC101 on port 1, ModBusRTU on port 2") << 2;
}

void TestRs485Board::writeThenReadBackGivesTheSameBytes()
{
    QFETCH(int, modbusPort);
    const int iecPort = 3 - modbusPort;

    // A board whose port records carry bytes the program knows nothing of.
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QJsonObject configuration = board.state().value(QStringLiteral("configuration")).toObject();
    QByteArray ports = QByteArray::fromHex(configuration.value(QStringLiteral("ports")).toString().toLatin1());
    QCOMPARE(ports.size(), 56);
    const QByteArray carried[2] = {carried1, carried2};
    for (int p = 0; p < 2; ++p) {
        ports[28 * p + 21] = carried[p].at(0);
        ports.replace(28 * p + 25, 3, carried[p].mid(1));
    }
    configuration.insert(QStringLiteral("ports"), QString::fromLatin1(ports.toHex()));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString statePath = folder.filePath(QStringLiteral("board.json"));
    {
        QFile file(statePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QJsonObject root;
        root.insert(QStringLiteral("configuration"), configuration);
        file.write(QJsonDocument(root).toJson());
    }
    QVERIFY2(board.start({QStringLiteral("--state"), statePath}), qPrintable(board.errorString()));
    QCOMPARE(boardBlock(board, "ports"), ports);

    const QByteArray modbusRecord = portRecord(115200, 0x2000, 0x2000, 0x600, 17, 1, carried[modbusPort - 1]);
    const QByteArray iecPortRecord = portRecord(38400, 0, 0, 0x400, 1, 0, carried[iecPort - 1]);
    const QByteArray iecRecord = iec101Record(300, 1, 0, 1, 2, 4000, 123456, 1);
    const QByteArray expectedPorts = modbusPort == 1 ? modbusRecord + iecPortRecord : iecPortRecord + modbusRecord;
    const QByteArray expectedProtocols
        = modbusPort == 1 ? noIec101Record() + iecRecord : iecRecord + noIec101Record();

    ModalAnswerer answerer;
    {
        std::unique_ptr<MainWindow> window = connectedWindow(board);
        QVERIFY(window);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        // What the board holds at first: ModBus on port 1, IEC101 on port 2.
        click(*window, "pushButtonGetRs485Param");
        QVERIFY2(answerer.seen.isEmpty(), qPrintable(answerer.texts().join(QLatin1Char('|'))));
        QCOMPARE(comboAt(portTable(*window, 1), 5)->currentText(), QStringLiteral("ModBusRTU"));
        QCOMPARE(comboAt(portTable(*window, 2), 5)->currentText(), QStringLiteral("IEC101"));
        QCOMPARE(editAt(portTable(*window, 2), 7)->text(), QStringLiteral("7"));

        QTableWidget* modbus = portTable(*window, modbusPort);
        typeBaudRate(modbus, QStringLiteral("115200"));
        QVERIFY(choose(modbus, 2, QStringLiteral("9")));
        QVERIFY(choose(modbus, 3, QStringLiteral("Odd")));
        QVERIFY(choose(modbus, 4, QStringLiteral("2")));
        QVERIFY(choose(modbus, 5, QStringLiteral("ModBusRTU")));
        QVERIFY(typeIntoCell(modbus, 7, QStringLiteral("17")));

        QTableWidget* iec = portTable(*window, iecPort);
        typeBaudRate(iec, QStringLiteral("38400"));
        QVERIFY(choose(iec, 2, QStringLiteral("8")));
        QVERIFY(choose(iec, 3, QStringLiteral("Even")));
        QVERIFY(choose(iec, 4, QStringLiteral("1")));
        QVERIFY(choose(iec, 5, QStringLiteral("IEC101")));
        QVERIFY(typeIntoEdit(iec, 7, QStringLiteral("300")));
        QVERIFY(choose(iec, 8, QStringLiteral("1")));
        QVERIFY(choose(iec, 9, QStringLiteral("Нет")));
        QVERIFY(choose(iec, 10, QStringLiteral("1")));
        QVERIFY(choose(iec, 11, QStringLiteral("2")));
        QVERIFY(typeIntoEdit(iec, 12, QStringLiteral("4000")));
        QVERIFY(typeIntoEdit(iec, 13, QStringLiteral("123456")));
        QVERIFY(choose(iec, 14, QStringLiteral("Да")));

        click(*window, "pushButtonSetRs485Param");
        QCOMPARE(answerer.texts(), QStringList{written});
        QCOMPARE(boardBlock(board, "ports").toHex(), expectedPorts.toHex());
        QCOMPARE(boardBlock(board, "protocol").toHex(), expectedProtocols.toHex());
    }

    // Another window reads the board, shows it, and writes it back unchanged.
    answerer.reset();
    const int requestsBefore = board.state().value(QStringLiteral("counters")).toObject().value(QStringLiteral("requests")).toInt();
    std::unique_ptr<MainWindow> window = connectedWindow(board);
    QVERIFY(window);
    click(*window, "pushButtonGetRs485Param");
    QVERIFY2(answerer.seen.isEmpty(), qPrintable(answerer.texts().join(QLatin1Char('|'))));
    QTableWidget* modbus = portTable(*window, modbusPort);
    QCOMPARE(comboAt(modbus, 1)->currentText(), QStringLiteral("115200"));
    QCOMPARE(comboAt(modbus, 3)->currentText(), QStringLiteral("Odd"));
    QCOMPARE(comboAt(modbus, 5)->currentText(), QStringLiteral("ModBusRTU"));
    QCOMPARE(modbus->item(7, 0)->text(), QStringLiteral("17"));
    QTableWidget* iec = portTable(*window, iecPort);
    QCOMPARE(comboAt(iec, 1)->currentText(), QStringLiteral("38400"));
    QCOMPARE(comboAt(iec, 5)->currentText(), QStringLiteral("IEC101"));
    QCOMPARE(editAt(iec, 7)->text(), QStringLiteral("300"));
    QCOMPARE(editAt(iec, 13)->text(), QStringLiteral("123456"));

    click(*window, "pushButtonSetRs485Param");
    QCOMPARE(answerer.texts(), QStringList{written});
    // Read, write and its read-back all reached the board: 0x71, 0x9D, 0x72, 0x9E, 0x71, 0x9D.
    QCOMPARE(board.state().value(QStringLiteral("counters")).toObject().value(QStringLiteral("requests")).toInt(),
             requestsBefore + 6);
    QCOMPARE(boardBlock(board, "ports").toHex(), expectedPorts.toHex());
    QCOMPARE(boardBlock(board, "protocol").toHex(), expectedProtocols.toHex());
}

QTEST_MAIN(TestRs485Board)
#include "tst_rs485board.moc"
