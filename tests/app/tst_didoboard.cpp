// The DI/DO editor against the virtual board over TCP: what the technician
// reads, edits and saves is what the board then holds, byte for byte, bytes
// the editor does not know included; a board of the old layout is read and
// written in its own layout.

#include "didocells.h"
#include "boardsetup.h"
#include "configcommands.h"
#include "configfilepanel.h"
#include "configfilestore.h"
#include "didopanel.h"
#include "mainwindow.h"
#include "modalanswerer.h"
#include "operationslog.h"
#include "rs485records.h"
#include "rs485table.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include "connectorip.h"

#include <QAction>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace DiDoCells;

namespace {

void put(QByteArray& block, int at, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        block[at + i] = char((value >> (8 * i)) & 0xFF);
}

// What the board holds, block by block, as its "state" answer gives it.
struct Blocks
{
    QByteArray diTable, diDebounce, diInputModes, doTable, ports, protocol;

    QJsonObject toJson() const
    {
        QJsonObject o;
        o.insert(QStringLiteral("diTable"), QString::fromLatin1(diTable.toHex()));
        o.insert(QStringLiteral("diDebounce"), QString::fromLatin1(diDebounce.toHex()));
        o.insert(QStringLiteral("diInputModes"), QString::fromLatin1(diInputModes.toHex()));
        o.insert(QStringLiteral("doTable"), QString::fromLatin1(doTable.toHex()));
        o.insert(QStringLiteral("ports"), QString::fromLatin1(ports.toHex()));
        o.insert(QStringLiteral("protocol"), QString::fromLatin1(protocol.toHex()));
        return o;
    }

    static Blocks fromState(const QJsonObject& state)
    {
        const QJsonObject o = state.value(QStringLiteral("configuration")).toObject();
        auto block = [&o](const char* key) {
            return QByteArray::fromHex(o.value(QLatin1String(key)).toString().toLatin1());
        };
        return {block("diTable"), block("diDebounce"), block("diInputModes"),
                block("doTable"), block("ports"),      block("protocol")};
    }
};

// A configuration a technician could have left on the board, with bytes in
// every field and in the DO bytes the editor never shows. Pairs follow the
// editor's rules (partners with opposite roles, no chains), so a save without
// edits must give every byte back.
Blocks sampleConfiguration()
{
    Blocks b;
    b.diTable = QByteArray(128, '\0');
    b.diDebounce = QByteArray(128, '\0');
    b.diInputModes = QByteArray(128, '\0');
    for (int i = 0; i < 32; ++i) {
        put(b.diTable, 4 * i, i % 2 == 0 ? 100 + i : 0, 3);
        b.diTable[4 * i + 3] = char(i % 3 != 0);
        put(b.diDebounce, 4 * i, 10 * i + 1, 4);
        b.diInputModes[4 * i + 1] = char((i / 2) & 1); // neighbours share a role
        b.diInputModes[4 * i + 2] = char(i % 5 == 0);
        b.diInputModes[4 * i + 3] = char(i % 4 == 1);
    }
    for (int start : {2, 6, 20}) {
        b.diInputModes[4 * start] = 1;
        b.diInputModes[4 * start + 1] = char(start == 6);
        b.diInputModes[4 * (start + 1) + 1] = char(start != 6);
    }

    b.doTable = QByteArray(144, '\0');
    for (int i = 0; i < 9; ++i) {
        const int at = 16 * i;
        put(b.doTable, at, 200 + i, 3);
        b.doTable[at + 3] = char(i % 2);
        put(b.doTable, at + 8, 100 * i, 4);
        put(b.doTable, at + 5, 0xC0B0A0 + i, 3);
        put(b.doTable, at + 13, 0xF0E0D0 + i, 3);
    }
    b.doTable[0 * 16 + 4] = 1; // DO_1 group output with DP
    b.doTable[0 * 16 + 12] = 1;
    b.doTable[3 * 16 + 4] = 2; // DO_4 common: DO_5 goes with it

    b.ports = QByteArray::fromHex("80250000") + QByteArray(52, '\x11');
    b.protocol = QByteArray(48, '\x22');
    return b;
}

} // namespace

class TestDiDoBoard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void currentLayoutReadEditSaveReadBack();
    void oldLayoutKeepsItsOwnLayout();
    void thirtyTwoInputBoardLeavesOutputsAlone();
    void configurationFileSavedComparedAndOpened();
    void boardChangedElsewhereIsSavedWithoutAQuestion();

private:
    bool startBoard(quint16 type, const QString& firmware, bool oldLayout);
    int boardRequests();
    void click(const char* name);

    QTemporaryDir folder;
    Blocks initial;
    std::unique_ptr<VirtualBoardProcess> board;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    QTableWidget* di = nullptr;
    QTableWidget* dout = nullptr;
};

void TestDiDoBoard::initTestCase()
{
    TestSettings::isolate();
    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
    QVERIFY(folder.isValid());
}

void TestDiDoBoard::init()
{
    initial = sampleConfiguration();
    window = std::make_unique<MainWindow>();
    answerer = std::make_unique<ModalAnswerer>();
    di = diTable(*window);
    dout = doTable(*window);
}

void TestDiDoBoard::cleanup()
{
    answerer.reset();
    window.reset();
    board.reset();
}

bool TestDiDoBoard::startBoard(quint16 type, const QString& firmware, bool oldLayout)
{
    static int serial = 0;
    const QString statePath = folder.filePath(QStringLiteral("board-%1.json").arg(++serial));
    QFile file(statePath);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QJsonObject root;
    root.insert(QStringLiteral("configuration"), initial.toJson());
    file.write(QJsonDocument(root).toJson());
    file.close();

    QStringList args = {QStringLiteral("--board-type"), QString::number(type), QStringLiteral("--firmware"), firmware,
                        QStringLiteral("--state"), statePath};
    if (oldLayout)
        args << QStringLiteral("--old-layout");
    board = std::make_unique<VirtualBoardProcess>();
    if (!board->start(args)) {
        qWarning("%s", qPrintable(board->errorString()));
        return false;
    }
    if (Blocks::fromState(board->state()).doTable != initial.doTable)
        return false;

    auto* ip = new ConnectorIP(board->host(), board->port());
    QSharedPointer<Connector> link(ip);
    if (!ip->isConnected())
        return false;
    link->setDevID(0);
    // The identity readout, as on connect.
    auto* session = partOf<BoardSession>(*window);
    session->attach(link);
    return session->readIdentity(false) && session->board().boardType == type;
}

int TestDiDoBoard::boardRequests()
{
    return board->state().value(QStringLiteral("counters")).toObject().value(QStringLiteral("requests")).toInt();
}

void TestDiDoBoard::click(const char* name)
{
    button(*window, name)->click();
}

void TestDiDoBoard::currentLayoutReadEditSaveReadBack()
{
    QVERIFY(startBoard(1, QStringLiteral("0.0.6"), false));

    click("pushButtonGetDiDoParam");
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(edit(di, 0, DiAddr)->text(), QStringLiteral("100"));
    QCOMPARE(edit(di, 1, DiAddr)->text(), QString());
    QVERIFY(!checked(di, 0, DiOn));
    QCOMPARE(edit(di, 1, DiDebounce)->text(), QStringLiteral("11"));
    QVERIFY(checked(di, 2, DiDp));
    QVERIFY(rowGreyed(di, 3));
    QCOMPARE(combo(di, 5, DiNominal)->currentText(), QStringLiteral("220 V"));
    QCOMPARE(combo(dout, 0, DoMode)->currentText(), QStringLiteral("Группов."));
    QVERIFY(checked(dout, 0, DoDp));
    QVERIFY(rowGreyed(dout, 1));
    QVERIFY(rowGreyed(dout, 4));
    QCOMPARE(edit(dout, 7, DoHold)->text(), QStringLiteral("700"));

    // Saved untouched, the board keeps every byte.
    click("pushButtonSetDiDoParam");
    QCOMPARE(answerer->texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    Blocks now = Blocks::fromState(board->state());
    QCOMPARE(now.diTable.toHex(), initial.diTable.toHex());
    QCOMPARE(now.diDebounce.toHex(), initial.diDebounce.toHex());
    QCOMPARE(now.diInputModes.toHex(), initial.diInputModes.toHex());
    QCOMPARE(now.doTable.toHex(), initial.doTable.toHex());

    // Edits as a technician makes them.
    edit(di, 1, DiAddr)->setText(QStringLiteral("77"));
    edit(di, 0, DiDebounce)->setText(QStringLiteral("500"));
    setChecked(di, 0, DiOn, true);
    setChecked(di, 8, DiDp, true);          // DI_9 pairs with DI_10, which takes the other role
    combo(di, 4, DiNominal)->setCurrentIndex(1);
    setChecked(dout, 0, DoOn, true);
    edit(dout, 2, DoHold)->setText(QStringLiteral("1234"));
    combo(dout, 5, DoMode)->setCurrentIndex(1);
    setChecked(dout, 5, DoDp, true);        // DO_6 group with DP; DO_7 goes with it
    combo(dout, 3, DoMode)->setCurrentIndex(0); // DO_5 free again
    click("pushButtonSetDiDoParam");
    QCOMPARE(answerer->seen.size(), 2);
    QCOMPARE(answerer->seen.at(1).text, QStringLiteral("Параметры DI/DO успешно записаны\n"));

    Blocks expected = initial;
    put(expected.diTable, 4 * 1, 77, 3);
    expected.diTable[4 * 0 + 3] = 1;
    put(expected.diDebounce, 0, 500, 4);
    expected.diInputModes[4 * 8] = 1;
    QCOMPARE(int(initial.diInputModes.at(4 * 9 + 1)), int(initial.diInputModes.at(4 * 8 + 1)));
    expected.diInputModes[4 * 9 + 1] = char(1 - initial.diInputModes.at(4 * 8 + 1));
    expected.diInputModes[4 * 4 + 3] = 1;
    expected.doTable[16 * 0 + 3] = 1;
    put(expected.doTable, 16 * 2 + 8, 1234, 4);
    expected.doTable[16 * 5 + 4] = 1;
    expected.doTable[16 * 5 + 12] = 1;
    expected.doTable[16 * 6 + 3] = 1; // the taken output is switched on
    expected.doTable[16 * 3 + 4] = 0;
    now = Blocks::fromState(board->state());
    QCOMPARE(now.diTable.toHex(), expected.diTable.toHex());
    QCOMPARE(now.diDebounce.toHex(), expected.diDebounce.toHex());
    QCOMPARE(now.diInputModes.toHex(), expected.diInputModes.toHex());
    QCOMPARE(now.doTable.toHex(), expected.doTable.toHex());
    QCOMPARE(now.ports.toHex(), initial.ports.toHex());

    // Read back into factory-filled tables: the edits come back, and saving
    // them again changes nothing.
    click("pushButtonResetDiDoParam");
    QCOMPARE(edit(di, 1, DiAddr)->text(), QString());
    click("pushButtonGetDiDoParam");
    QCOMPARE(answerer->seen.size(), 2);
    QCOMPARE(edit(di, 1, DiAddr)->text(), QStringLiteral("77"));
    QVERIFY(checked(di, 8, DiDp));
    QVERIFY(rowGreyed(di, 9));
    QCOMPARE(edit(dout, 2, DoHold)->text(), QStringLiteral("1234"));
    QVERIFY(checked(dout, 5, DoDp));
    QVERIFY(rowGreyed(dout, 6));
    QVERIFY(rowWhite(dout, 4));
    click("pushButtonSetDiDoParam");
    QCOMPARE(answerer->seen.size(), 3);
    now = Blocks::fromState(board->state());
    QCOMPARE(now.diTable.toHex(), expected.diTable.toHex());
    QCOMPARE(now.diDebounce.toHex(), expected.diDebounce.toHex());
    QCOMPARE(now.diInputModes.toHex(), expected.diInputModes.toHex());
    QCOMPARE(now.doTable.toHex(), expected.doTable.toHex());
}

void TestDiDoBoard::oldLayoutKeepsItsOwnLayout()
{
    QVERIFY(startBoard(1, QStringLiteral("0.0.4"), true));
    QVERIFY(di->isColumnHidden(DiDebounce));
    QVERIFY(di->isColumnHidden(DiDp));
    QVERIFY(dout->isColumnHidden(DoDp));

    int before = boardRequests();
    click("pushButtonGetDiDoParam");
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(boardRequests() - before, 2); // DI table and DO table only
    QCOMPARE(edit(di, 2, DiAddr)->text(), QStringLiteral("102"));
    QCOMPARE(combo(dout, 0, DoMode)->currentText(), QStringLiteral("Группов."));
    QCOMPARE(edit(dout, 8, DoHold)->text(), QStringLiteral("800"));
    // The short DO entries carry no DP flag.
    QVERIFY(!checked(dout, 0, DoDp));
    QCOMPARE(int(partOf<DiDoPanel>(*window)->record().doEntries[0].dp), 0);

    edit(di, 2, DiAddr)->setText(QStringLiteral("42"));
    setChecked(di, 4, DiOn, false);
    edit(dout, 2, DoHold)->setText(QStringLiteral("777"));
    edit(dout, 6, DoAddr)->clear();
    before = boardRequests();
    click("pushButtonSetDiDoParam");
    QCOMPARE(answerer->texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    QCOMPARE(boardRequests() - before, 4); // 0xA2 with 16 entries and the short 0xA5, both read back

    Blocks expected = initial;
    put(expected.diTable, 4 * 2, 42, 3);
    expected.diTable[4 * 4 + 3] = 0;
    put(expected.doTable, 16 * 2 + 8, 777, 4);
    put(expected.doTable, 16 * 6, 0, 3);
    const Blocks now = Blocks::fromState(board->state());
    QCOMPARE(now.diTable.toHex(), expected.diTable.toHex());
    // Debounce and input modes were never written; the DO bytes the short
    // form does not carry (5 to 7, DP flag, 13 to 15) stay on the board.
    QCOMPARE(now.diDebounce.toHex(), initial.diDebounce.toHex());
    QCOMPARE(now.diInputModes.toHex(), initial.diInputModes.toHex());
    QCOMPARE(now.doTable.toHex(), expected.doTable.toHex());

    click("pushButtonResetDiDoParam");
    click("pushButtonGetDiDoParam");
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(edit(di, 2, DiAddr)->text(), QStringLiteral("42"));
    QVERIFY(!checked(di, 4, DiOn));
    QCOMPARE(edit(dout, 2, DoHold)->text(), QStringLiteral("777"));
    QCOMPARE(edit(dout, 6, DoAddr)->text(), QString());
}

void TestDiDoBoard::thirtyTwoInputBoardLeavesOutputsAlone()
{
    QVERIFY(startBoard(4, QStringLiteral("0.0.6"), false));
    QVERIFY(dout->isHidden());

    int before = boardRequests();
    click("pushButtonGetDiDoParam");
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QCOMPARE(boardRequests() - before, 3); // no DO read
    QCOMPARE(edit(di, 30, DiAddr)->text(), QStringLiteral("130"));
    QCOMPARE(edit(di, 31, DiDebounce)->text(), QStringLiteral("311"));
    QVERIFY(checked(di, 20, DiDp));
    QVERIFY(rowGreyed(di, 21));

    edit(di, 31, DiAddr)->setText(QStringLiteral("4000"));
    setChecked(di, 31, DiDp, true); // the last input cannot pair
    QVERIFY(!checked(di, 31, DiDp));
    setChecked(di, 30, DiDp, true);
    before = boardRequests();
    click("pushButtonSetDiDoParam");
    QCOMPARE(answerer->texts(), QStringList({"Параметры DI/DO успешно записаны\n"}));
    QCOMPARE(boardRequests() - before, 6); // no DO write, nor its read-back

    Blocks expected = initial;
    put(expected.diTable, 4 * 31, 4000, 3);
    expected.diInputModes[4 * 30] = 1;
    QCOMPARE(int(initial.diInputModes.at(4 * 31 + 1)), int(initial.diInputModes.at(4 * 30 + 1)));
    expected.diInputModes[4 * 31 + 1] = char(1 - initial.diInputModes.at(4 * 30 + 1));
    const Blocks now = Blocks::fromState(board->state());
    QCOMPARE(now.diTable.toHex(), expected.diTable.toHex());
    QCOMPARE(now.diDebounce.toHex(), initial.diDebounce.toHex());
    QCOMPARE(now.diInputModes.toHex(), expected.diInputModes.toHex());
    QCOMPARE(now.doTable.toHex(), initial.doTable.toHex());
}

void TestDiDoBoard::configurationFileSavedComparedAndOpened()
{
    // RS-485 records the editor can show, carried bytes included.
    using namespace Rs485Records;
    initial.ports = portRecord(19200, 0, 0, 0x400, 5, 1, QByteArray::fromHex("a1b2c3d4")) + portRecord(9600, 0, 0, 0, 1, 0);
    initial.protocol = noIec101Record() + iec101Record(7, 1, 0, 2, 2, 300, 60, 1);
    QVERIFY(startBoard(1, QStringLiteral("0.0.6"), false));
    QStringList paths;
    partOf<ConfigFilePanel>(*window)->chooseFile = ([&paths](QWidget*, bool, const QString&) { return paths.takeFirst(); });
    auto trigger = [this](const char* name) {
        QAction* action = window->findChild<QAction*>(QLatin1String(name));
        QVERIFY(action && action->isEnabled());
        action->trigger();
    };
    const QString saved = folder.filePath(QStringLiteral("saved.json"));
    QFile::remove(OperationsLog::defaultPath());

    // The editors hold what the board holds: saved without a question, in no
    // more exchanges than the command-line tool's read.
    click("pushButtonGetDiDoParam");
    click("pushButtonGetRs485Param");
    const int before = boardRequests();
    paths << saved;
    trigger("actionSaveConfiguration");
    QVERIFY(boardRequests() - before <= 9);
    QCOMPARE(answerer->seen.size(), 1);
    QVERIFY2(answerer->seen.at(0).text.startsWith(QStringLiteral("Конфигурация сохранена в файл")), qPrintable(answerer->texts().join("|")));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray savedBytes = file.readAll();
    QString error;
    const std::optional<ConfigFile> savedFile = ConfigFile::fromBytes(savedBytes, &error);
    QVERIFY2(savedFile, qPrintable(error));
    QCOMPARE(savedFile->bootloaderVersion, QStringLiteral("1.1.0")); // as the board reported it

    // The board changes; the comparison names exactly that, board first.
    edit(di, 1, DiAddr)->setText(QStringLiteral("77"));
    edit(dout, 2, DoHold)->setText(QStringLiteral("1234"));
    click("pushButtonSetDiDoParam");
    QVERIFY(Rs485Table::choose(window->findChild<QTableWidget*>(QStringLiteral("tableWidgetRs485Param")), 1,
                               QStringLiteral("57600")));
    click("pushButtonSetRs485Param");
    QCOMPARE(answerer->texts().mid(1),
             QStringList({ "Параметры DI/DO успешно записаны\n", "Параметры RS-485 успешно записаны\n" }));
    answerer->reset();
    paths << saved;
    trigger("actionCompareConfiguration");
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).informativeText,
             QStringLiteral("di[1].address: 77 → 0\ndo[2].holdMs: 1234 → 200\nrs485[0].baudRate: 57600 → 19200"));
    QVERIFY(edit(di, 1, DiAddr)->property("differsFromFile").toBool());
    QVERIFY(!edit(di, 0, DiAddr)->property("differsFromFile").toBool());
    // Edits not yet written are only replaced by the board's values when the technician agrees.
    edit(di, 0, DiAddr)->setText(QStringLiteral("999"));
    answerer->reset();
    answerer->queueButton(QMessageBox::Cancel);
    paths << saved;
    trigger("actionCompareConfiguration");
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(edit(di, 0, DiAddr)->text(), QStringLiteral("999"));

    // A file for another board type changes nothing.
    QJsonObject other = QJsonDocument::fromJson(savedBytes).object();
    QJsonObject boardObject = other.value(QStringLiteral("board")).toObject();
    boardObject.insert(QStringLiteral("type"), 2);
    other.insert(QStringLiteral("board"), boardObject);
    const QString otherPath = folder.filePath(QStringLiteral("other.json"));
    QFile otherFile(otherPath);
    QVERIFY(otherFile.open(QIODevice::WriteOnly));
    otherFile.write(QJsonDocument(other).toJson());
    otherFile.close();
    answerer->reset();
    paths << otherPath;
    trigger("actionOpenConfiguration");
    QCOMPARE(answerer->seen.size(), 1);
    QVERIFY2(answerer->seen.at(0).text.contains(QStringLiteral("Файл сделан для платы VRELL_B, а подключена плата VRELL_A.")),
             qPrintable(answerer->seen.at(0).text));
    QCOMPARE(edit(di, 1, DiAddr)->text(), QStringLiteral("77"));

    // Unsaved edits are offered for the file instead of the board's values.
    edit(di, 2, DiAddr)->setText(QStringLiteral("55"));
    const QString editedPath = folder.filePath(QStringLiteral("edited.json"));
    answerer->reset();
    answerer->queueButton(QMessageBox::Yes);
    paths << editedPath;
    trigger("actionSaveConfiguration");
    QCOMPARE(answerer->seen.size(), 2);
    QVERIFY(answerer->seen.at(0).text.startsWith(QStringLiteral("В таблицах есть изменения, не записанные в устройство.")));
    QFile editedFile(editedPath);
    QVERIFY(editedFile.open(QIODevice::ReadOnly));
    const QJsonObject editedJson = QJsonDocument::fromJson(editedFile.readAll()).object();
    QCOMPARE(editedJson.value(QStringLiteral("di")).toArray().at(2).toObject().value(QStringLiteral("address")).toInt(), 55);

    // Open fills the editors without a write; Save puts back every byte.
    const int beforeOpen = boardRequests();
    answerer->reset();
    paths << saved;
    trigger("actionOpenConfiguration");
    QCOMPARE(boardRequests(), beforeOpen);
    QCOMPARE(edit(di, 1, DiAddr)->text(), QString());
    click("pushButtonSetDiDoParam");
    click("pushButtonSetRs485Param");
    const Blocks now = Blocks::fromState(board->state());
    QCOMPARE(now.toJson(), initial.toJson());

    // The log has one line per write, with its outcome.
    QFile log(OperationsLog::defaultPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).contains(QStringLiteral("\tprogram=window\tlink=")));
    QVERIFY(lines.at(0).contains(QStringLiteral("\tboard=VRELL_A\tfirmware=0.0.6\t")));
    QVERIFY(lines.at(0).endsWith(QStringLiteral("\toperation=config-write DI/DO\toutcome=ok")));
    QVERIFY2(lines.at(3).endsWith(QStringLiteral("\toperation=config-write RS-485\toutcome=ok")), qPrintable(lines.join("\n") + answerer->texts().join("|")));
}

void TestDiDoBoard::boardChangedElsewhereIsSavedWithoutAQuestion()
{
    initial.ports = Rs485Records::portRecord(19200, 0, 0, 0x400, 5, 1) + Rs485Records::portRecord(9600, 0, 0, 0, 1, 0);
    initial.protocol = Rs485Records::noIec101Record() + Rs485Records::noIec101Record();
    QVERIFY(startBoard(1, QStringLiteral("0.0.6"), false));
    QStringList paths;
    partOf<ConfigFilePanel>(*window)->chooseFile = [&paths](QWidget*, bool, const QString&) { return paths.takeFirst(); };
    click("pushButtonGetDiDoParam");
    click("pushButtonGetRs485Param");

    // Another tool gives DI_2 an address; nobody touches the tables.
    ConnectorIP other(board->host(), board->port());
    other.setDevID(0);
    DiDoConfig changed;
    QVERIFY(ConfigBlocks::takeDiTable(changed, char(0xA0) + initial.diTable));
    changed.diEntries[1].setObjectAddress(77);
    QVERIFY(ConfigCommands(&other, partOf<BoardSession>(*window)->board()).writeDiTable(changed));

    // Saved without a question, the board's own values, and the change said.
    const QString saved = folder.filePath(QStringLiteral("changed.json"));
    paths << saved;
    window->findChild<QAction*>(QStringLiteral("actionSaveConfiguration"))->trigger();
    QCOMPARE(answerer->seen.size(), 1);
    QVERIFY2(answerer->seen.at(0).text.contains(QStringLiteral("изменились с тех пор, как были прочитаны")),
             qPrintable(answerer->seen.at(0).text));
    QString error;
    const std::optional<ConfigFile> file = ConfigFileStore::load(saved, &error);
    QVERIFY2(file, qPrintable(error));
    QCOMPARE(file->dido.diEntries[1].objectAddress(), 77u);

    // Nor does the comparison ask before it shows the board.
    answerer->reset();
    paths << saved;
    window->findChild<QAction*>(QStringLiteral("actionCompareConfiguration"))->trigger();
    QCOMPARE(answerer->texts(), QStringList({ "Нет различий" }));
    QCOMPARE(edit(di, 1, DiAddr)->text(), QStringLiteral("77"));
}

QTEST_MAIN(TestDiDoBoard)
#include "tst_didoboard.moc"
