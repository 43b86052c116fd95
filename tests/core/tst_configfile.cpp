// The saved-configuration file: every byte a write sends survives the trip
// through JSON, the layout follows the board, a file for another board or
// layout is refused, and malformed files are refused with the field named.

#include "boardstate.h"
#include "configblocks.h"
#include "configdiff.h"
#include "configfile.h"
#include "configfilestore.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

#include <functional>

class TestConfigFile : public QObject
{
    Q_OBJECT

private slots:
    void everyWrittenByteSurvives_data();
    void everyWrittenByteSurvives();
    void valuesWithoutNamesStayNumbers();
    void layoutFollowsTheBoard_data();
    void layoutFollowsTheBoard();
    void anotherBoardOrLayoutIsRefused_data();
    void anotherBoardOrLayoutIsRefused();
    void malformedFilesAreRefused_data();
    void malformedFilesAreRefused();
    void valuesOutsideTheEditorsTravelRaw_data();
    void valuesOutsideTheEditorsTravelRaw();
    void differencesNameExactlyTheChangedFields_data();
    void differencesNameExactlyTheChangedFields();
    void oversizedFileIsRefusedBeforeParsing();
};

namespace {

BoardState boardOf(bool typeKnown, int type, const QString& firmware, int mode = 0)
{
    BoardState board;
    board.modeKnown = true;
    board.mode = quint8(mode);
    board.boardTypeKnown = typeKnown;
    board.boardType = quint16(type);
    board.firmwareVersionKnown = !firmware.isEmpty();
    board.firmwareVersion = firmware;
    board.bootloaderVersion = QStringLiteral("1.1.0");
    return board;
}

template <typename T>
void randomise(T& record, QRandomGenerator& random)
{
    auto* bytes = reinterpret_cast<unsigned char*>(&record);
    for (size_t i = 0; i < sizeof(T); ++i)
        bytes[i] = static_cast<unsigned char>(random.bounded(256));
}

struct Records
{
    DiDoConfig dido;
    Rs485Ports ports;
    Iec101Ports protocols;
};

Records randomRecords(quint32 seed)
{
    QRandomGenerator random(seed);
    Records r;
    randomise(r.dido, random);
    randomise(r.ports, random);
    randomise(r.protocols, random);
    // The input modes come from the board's replies stored as 0 or 1.
    for (quint8* modes : { r.dido.diDpPair, r.dido.diDpRole, r.dido.diInputType, r.dido.diNominal }) {
        for (int i = 0; i < 32; ++i)
            modes[i] &= 1;
    }
    return r;
}

// What the save sequence sends for `layout`, block by block.
QList<QByteArray> wireBytes(const ConfigLayout& layout, const DiDoConfig& dido, const Rs485Ports& ports,
                            const Iec101Ports& protocols)
{
    QList<QByteArray> blocks;
    blocks << ConfigBlocks::diTableData(dido, layout.diChannels);
    blocks << (layout.diDebounce ? ConfigBlocks::diDebounceData(dido, layout.diChannels) : QByteArray());
    blocks << (layout.diInputModes ? ConfigBlocks::diModesData(dido, layout.diChannels) : QByteArray());
    blocks << (layout.doTable == ConfigLayout::DoTable::None
                   ? QByteArray()
                   : ConfigBlocks::doTableData(dido, layout.doTable == ConfigLayout::DoTable::Full));
    blocks << ConfigBlocks::rs485PortsData(ports) << ConfigBlocks::iec101Data(protocols);
    return blocks;
}

// Replaces (or with an undefined value removes) the value at a path such as
// "di/3/address" inside a JSON tree.
QJsonValue replaced(const QJsonValue& node, QStringList path, const QJsonValue& value)
{
    const QString head = path.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        const int index = head.toInt();
        if (path.isEmpty())
            value.isUndefined() ? array.removeAt(index) : array.replace(index, value);
        else
            array.replace(index, replaced(array.at(index), path, value));
        return array;
    }
    QJsonObject object = node.toObject();
    if (path.isEmpty()) {
        if (value.isUndefined())
            object.remove(head);
        else
            object.insert(head, value);
    } else {
        object.insert(head, replaced(object.value(head), path, value));
    }
    return object;
}

} // namespace

void TestConfigFile::everyWrittenByteSurvives_data()
{
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("firmware");

    QTest::newRow("VRELL_A current") << true << 1 << "1.2.0";
    QTest::newRow("VRELL_A old firmware, short DO") << true << 1 << "0.0.4";
    QTest::newRow("VRELL_B debounce without modes") << true << 2 << "0.0.5";
    QTest::newRow("VRELL_C no DI") << true << 3 << "1.2.0";
    QTest::newRow("VRELL_D 32 DI, no DO") << true << 4 << "1.2.0";
    QTest::newRow("unknown type") << false << 0 << "0.0.3";
    QTest::newRow("UNKNOWN type number") << true << 9 << "2.0.0";
}

void TestConfigFile::everyWrittenByteSurvives()
{
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, firmware);

    const BoardState board = boardOf(typeKnown, type, firmware);
    // Random bytes everywhere: carried bytes, reserved words and values no
    // table names must all come back as they were.
    for (quint32 seed = 1; seed <= 20; ++seed) {
        const Records original = randomRecords(seed * 7919 + quint32(type));
        const ConfigFile saved = ConfigFile::fromBoard(board, original.dido, original.ports, original.protocols);

        QString error;
        const std::optional<ConfigFile> loaded = ConfigFile::fromBytes(saved.toBytes(), &error);
        QVERIFY2(loaded, qPrintable(error));
        QCOMPARE(loaded->mismatch(board), QString());
        QCOMPARE(wireBytes(loaded->layout, loaded->dido, loaded->ports, loaded->protocols),
                 wireBytes(ConfigLayout::of(board), original.dido, original.ports, original.protocols));
        // Saving what was loaded gives the same file again.
        QCOMPARE(loaded->toBytes(), saved.toBytes());
    }
}

void TestConfigFile::valuesWithoutNamesStayNumbers()
{
    Records r = randomRecords(3);
    r.ports[0].wordLength = 0x2000; // 9 data bits
    r.ports[0].parity = 0x400;
    r.ports[0].stopBits = 0;
    r.ports[1].wordLength = 0x1234; // nothing the window would show
    r.ports[1].parity = 0x200;
    r.dido.doEntries[0].mode = 2;
    r.dido.doEntries[1].mode = 7;
    r.dido.diEntries[0].enabled = 1;
    r.dido.diEntries[1].enabled = 5;

    const QJsonObject json =
        ConfigFile::fromBoard(boardOf(true, 1, QStringLiteral("1.2.0")), r.dido, r.ports, r.protocols).toJson();
    const QJsonObject port1 = json.value("rs485").toArray().at(0).toObject();
    const QJsonObject port2 = json.value("rs485").toArray().at(1).toObject();
    QCOMPARE(port1.value("dataBits"), QJsonValue(9));
    QCOMPARE(port1.value("parity"), QJsonValue("Even"));
    QCOMPARE(port1.value("stopBits"), QJsonValue(1));
    QCOMPARE(port2.value("dataBits").toObject().value("raw"), QJsonValue(0x1234));
    QCOMPARE(port2.value("parity").toObject().value("raw"), QJsonValue(0x200));
    const QJsonArray dos = json.value("do").toArray();
    QCOMPARE(dos.at(0).toObject().value("mode"), QJsonValue("common"));
    QCOMPARE(dos.at(1).toObject().value("mode").toObject().value("raw"), QJsonValue(7));
    const QJsonArray dis = json.value("di").toArray();
    QCOMPARE(dis.at(0).toObject().value("enabled"), QJsonValue(true));
    QCOMPARE(dis.at(1).toObject().value("enabled").toObject().value("raw"), QJsonValue(5));
}

void TestConfigFile::layoutFollowsTheBoard_data()
{
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<int>("diChannels");
    QTest::addColumn<bool>("debounce");
    QTest::addColumn<bool>("modes");
    QTest::addColumn<int>("doTable");

    const int none = int(ConfigLayout::DoTable::None);
    const int shortForm = int(ConfigLayout::DoTable::Short);
    const int full = int(ConfigLayout::DoTable::Full);
    QTest::newRow("A 1.2.0") << true << 1 << "1.2.0" << 16 << true << true << full;
    QTest::newRow("A 0.0.4: no debounce yet") << true << 1 << "0.0.4" << 16 << false << false << shortForm;
    QTest::newRow("A 0.0.5") << true << 1 << "0.0.5" << 16 << true << false << full;
    QTest::newRow("B 0.0.4: debounce always") << true << 2 << "0.0.4" << 16 << true << false << shortForm;
    QTest::newRow("C: no DI at all") << true << 3 << "1.2.0" << 0 << false << false << full;
    QTest::newRow("D: 32 DI, no DO") << true << 4 << "0.0.6" << 32 << true << true << none;
    QTest::newRow("type unread: DO only") << false << 0 << "0.0.3" << 0 << false << false << shortForm;
    QTest::newRow("version text unreadable") << true << 2 << "beta" << 16 << true << false << shortForm;
}

void TestConfigFile::layoutFollowsTheBoard()
{
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, firmware);
    QFETCH(int, diChannels);
    QFETCH(bool, debounce);
    QFETCH(bool, modes);
    QFETCH(int, doTable);

    const ConfigLayout layout = ConfigLayout::of(boardOf(typeKnown, type, firmware));
    QCOMPARE(layout.diChannels, diChannels);
    QCOMPARE(layout.diDebounce, debounce);
    QCOMPARE(layout.diInputModes, modes);
    QCOMPARE(int(layout.doTable), doTable);
}

void TestConfigFile::anotherBoardOrLayoutIsRefused_data()
{
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("refusal"); // empty: accepted
    QTest::addColumn<QString>("note");    // empty: nothing to say

    QTest::newRow("same board") << true << 1 << "1.2.0" << "" << "";
    QTest::newRow("newer firmware, same blocks") << true << 1 << "1.3.0" << "" << "firmware 1.2.0, this board runs 1.3.0";
    QTest::newRow("another type") << true << 2 << "1.2.0" << "made for VRELL_A (type 1), this board is VRELL_B (type 2)"
                                  << "";
    QTest::newRow("type not read") << false << 0 << "1.2.0" << "this board is a board of unknown type" << "";
    QTest::newRow("older firmware, other blocks") << true << 1 << "0.0.4"
                                                  << "this board (firmware 0.0.4) exchanges 16 DI without debounce"
                                                  << "";
}

void TestConfigFile::anotherBoardOrLayoutIsRefused()
{
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, firmware);
    QFETCH(QString, refusal);
    QFETCH(QString, note);

    const Records r = randomRecords(11);
    const ConfigFile file = ConfigFile::fromBoard(boardOf(true, 1, QStringLiteral("1.2.0")), r.dido, r.ports, r.protocols);
    const BoardState target = boardOf(typeKnown, type, firmware);
    const QString mismatch = file.mismatch(target);
    if (refusal.isEmpty())
        QCOMPARE(mismatch, QString());
    else
        QVERIFY2(mismatch.contains(refusal), qPrintable(mismatch));
    if (refusal.isEmpty()) {
        if (note.isEmpty())
            QCOMPARE(file.note(target), QString());
        else
            QVERIFY2(file.note(target).contains(note), qPrintable(file.note(target)));
    }
}

void TestConfigFile::malformedFilesAreRefused_data()
{
    QTest::addColumn<QString>("path");   // "" to replace the whole text
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");

    const QJsonValue removed(QJsonValue::Undefined);
    QTest::newRow("not JSON") << "" << QJsonValue() << QByteArray("{\"format\": ") << "not valid JSON";
    QTest::newRow("an array") << "" << QJsonValue() << QByteArray("[]") << "no JSON object";
    QTest::newRow("another format") << "format" << QJsonValue("something-else") << QByteArray()
                                    << "not a saved board configuration";
    QTest::newRow("future version") << "version" << QJsonValue(2) << QByteArray() << "version: wants a whole number from 1 to 1";
    QTest::newRow("unknown top field") << "comment" << QJsonValue("x") << QByteArray() << "comment: unknown field";
    QTest::newRow("misspelt field") << "di/0/adress" << QJsonValue(5) << QByteArray() << "di[0].adress: unknown field";
    QTest::newRow("field missing") << "do/4/holdMs" << removed << QByteArray() << "do[4].holdMs: missing";
    QTest::newRow("DI entry missing") << "di/15" << removed << QByteArray() << "di: wants 16 entries, has 15";
    QTest::newRow("channel out of order") << "di/2/channel" << QJsonValue(5) << QByteArray() << "di[2].channel";
    QTest::newRow("address beyond 24 bits") << "di/3/address" << QJsonValue(QJsonObject { { "raw", 16777216 } })
                                            << QByteArray() << "di[3].address: wants {\"raw\": N} with N from 0 to 16777215";
    // What the window's editors refuse, written by hand.
    QTest::newRow("DI address typed above the editor") << "di/3/address" << QJsonValue(70000) << QByteArray()
        << "di[3].address: wants a whole number from 1 to 4095 or 0 for none, got 70000";
    QTest::newRow("debounce typed negative") << "di/0/debounceMs" << QJsonValue(-1) << QByteArray()
                                             << "di[0].debounceMs: wants a whole number from 0 to 60000, got -1";
    QTest::newRow("number printed whole") << "di/3/address" << QJsonValue(16777216) << QByteArray()
                                            << "got 16777216 (";
    QTest::newRow("hold typed at the top of 32 bits") << "do/1/holdMs" << QJsonValue(4294967295.0) << QByteArray()
                                                      << "do[1].holdMs: wants a whole number from 0 to 100000, got 4294967295";
    QTest::newRow("ModBus address above 247") << "rs485/1/modbusAddress" << QJsonValue(248) << QByteArray()
                                              << "rs485[1].modbusAddress: wants a whole number from 0 to 247";
    QTest::newRow("raw flag the board reads back as 1") << "di/2/dpPair" << QJsonValue(QJsonObject { { "raw", 7 } })
                                                        << QByteArray() << "di[2].dpPair: wants {\"raw\": N} with N from 0 to 1";
    QTest::newRow("duplicated key") << "" << QJsonValue()
        << QByteArray("{\"format\": \"quorvel-configuration\", \"version\": 1, \"version\": 1}")
        << "the key \"version\" appears twice";
    QTest::newRow("duplicated key, escaped") << "" << QJsonValue()
        << QByteArray("{\"board\": {\"type\": 1, \"t\\u0079pe\": 2}, \"x\": [{\"a\": 1}, {\"a\": 2}]}")
        << "the key \"type\" appears twice";
    QTest::newRow("fraction") << "rs485/0/baudRate" << QJsonValue(9600.5) << QByteArray() << "rs485[0].baudRate";
    QTest::newRow("negative hold") << "do/0/holdMs" << QJsonValue(-1) << QByteArray() << "do[0].holdMs";
    QTest::newRow("unknown name") << "rs485/1/parity" << QJsonValue("Mark") << QByteArray()
                                  << "rs485[1].parity: wants one of \"None\", \"Even\", \"Odd\"";
    QTest::newRow("raw beyond the byte") << "di/1/enabled" << QJsonValue(QJsonObject { { "raw", 256 } }) << QByteArray()
                                         << "di[1].enabled: wants {\"raw\": N} with N from 0 to 255";
    QTest::newRow("short carried bytes") << "rs485/1/carried25" << QJsonValue("0000") << QByteArray()
                                         << "rs485[1].carried25: wants 6 hex digits";
    QTest::newRow("carried bytes not hex") << "do/2/carried5" << QJsonValue("00zz00") << QByteArray() << "do[2].carried5";
    QTest::newRow("layout form unknown") << "layout/doTable" << QJsonValue("half") << QByteArray() << "layout.doTable";
    QTest::newRow("board type missing") << "board/type" << removed << QByteArray() << "board.type: missing";
    QTest::newRow("board type text") << "board/type" << QJsonValue("VRELL_A") << QByteArray() << "board.type";
    QTest::newRow("one protocol record") << "iec101/1" << removed << QByteArray() << "iec101: wants 2 entries";
}

void TestConfigFile::malformedFilesAreRefused()
{
    QFETCH(QString, path);
    QFETCH(QJsonValue, value);
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);

    const Records r = randomRecords(5);
    const ConfigFile file = ConfigFile::fromBoard(boardOf(true, 1, QStringLiteral("1.2.0")), r.dido, r.ports, r.protocols);
    QByteArray bytes = text;
    if (!path.isEmpty()) {
        const QJsonValue changed = replaced(file.toJson(), path.split(QLatin1Char('/')), value);
        bytes = QJsonDocument(changed.toObject()).toJson();
    }
    QString error;
    QVERIFY(!ConfigFile::fromBytes(bytes, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void TestConfigFile::valuesOutsideTheEditorsTravelRaw_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("offset"); // into DiDoConfig, then the two port records, then the two protocol records
    QTest::addColumn<int>("width");
    QTest::addColumn<quint32>("value");
    QTest::addColumn<bool>("raw");

    // Erased bytes, and numbers above what the editors take: written as
    // {"raw": N} and restored unchanged; inside the ranges, plain numbers.
    QTest::newRow("erased DO address") << "do/8/address" << 384 + 128 << 3 << 0xFFFFFFu << true;
    QTest::newRow("DI address above 4095") << "di/2/address" << 8 << 3 << 5000u << true;
    QTest::newRow("DI address at the top") << "di/2/address" << 8 << 3 << 4095u << false;
    QTest::newRow("erased hold") << "do/8/holdMs" << 384 + 136 << 4 << 0xFFFFFFFFu << true;
    QTest::newRow("erased debounce") << "di/5/debounceMs" << 128 + 20 << 4 << 0xFFFFFFFFu << true;
    QTest::newRow("baud 0") << "rs485/1/baudRate" << 528 + 28 << 4 << 0u << true;
    QTest::newRow("odd baud typed") << "rs485/1/baudRate" << 528 + 28 << 4 << 12345u << false;
    QTest::newRow("IEC101 link address 0") << "iec101/0/linkAddress" << 584 << 2 << 0u << true;
    QTest::newRow("IEC101 clock sync period 0") << "iec101/0/clockSyncPeriod" << 584 + 8 << 4 << 0u << true;
    QTest::newRow("IEC101 off: numbers plain") << "iec101/1/linkAddress" << 584 + 24 << 2 << 0u << false;
}

void TestConfigFile::valuesOutsideTheEditorsTravelRaw()
{
    QFETCH(QString, path);
    QFETCH(int, offset);
    QFETCH(int, width);
    QFETCH(quint32, value);
    QFETCH(bool, raw);

    Records r = randomRecords(11);
    r.protocols[0].iec101Enabled = 1;
    r.protocols[1] = Iec101Params();
    static_assert(sizeof(Records) == 528 + 56 + 48, "the records lie end to end");
    std::memcpy(reinterpret_cast<char*>(&r) + offset, &value, size_t(width)); // little-endian, as on the wire

    const BoardState board = boardOf(true, 1, QStringLiteral("1.2.0"));
    const ConfigFile saved = ConfigFile::fromBoard(board, r.dido, r.ports, r.protocols);
    const QStringList parts = path.split(QLatin1Char('/'));
    const QJsonValue shown = saved.toJson().value(parts.at(0)).toArray().at(parts.at(1).toInt()).toObject().value(parts.at(2));
    QCOMPARE(shown, raw ? QJsonValue(QJsonObject { { "raw", qint64(value) } }) : QJsonValue(qint64(value)));

    QString error;
    const std::optional<ConfigFile> loaded = ConfigFile::fromBytes(saved.toBytes(), &error);
    QVERIFY2(loaded, qPrintable(error));
    QCOMPARE(wireBytes(loaded->layout, loaded->dido, loaded->ports, loaded->protocols),
             wireBytes(ConfigLayout::of(board), r.dido, r.ports, r.protocols));
}

void TestConfigFile::differencesNameExactlyTheChangedFields_data()
{
    QTest::addColumn<QStringList>("paths"); // where the file differs from the board
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QStringList>("lines"); // "{board}" stands for the board's value

    QTest::newRow("equal") << QStringList() << QJsonValue(0) << QStringList();
    QTest::newRow("one DI address") << QStringList { "di/3/address" } << QJsonValue(15)
                                    << QStringList { "di[3].address: {board} -> 15" };
    QTest::newRow("a named value") << QStringList { "do/8/mode" } << QJsonValue("common")
                                   << QStringList { "do[8].mode: {board} -> common" };
    QTest::newRow("two ports") << QStringList { "rs485/0/baudRate", "rs485/1/baudRate" } << QJsonValue(57600)
                               << QStringList { "rs485[0].baudRate: {board} -> 57600",
                                                "rs485[1].baudRate: {board} -> 57600" };
    QTest::newRow("raw value") << QStringList { "iec101/0/giTime" } << QJsonValue(QJsonObject { { "raw", 7 } })
                               << QStringList { "iec101[0].giTime: {board} -> raw 7" };
    QTest::newRow("carried bytes") << QStringList { "do/0/carried5" } << QJsonValue("a0b0c0")
                                   << QStringList { "do[0].carried5: {board} -> a0b0c0" };
}

void TestConfigFile::differencesNameExactlyTheChangedFields()
{
    QFETCH(QStringList, paths);
    QFETCH(QJsonValue, value);
    QFETCH(QStringList, lines);

    const Records r = randomRecords(9);
    const ConfigFile board = ConfigFile::fromBoard(boardOf(true, 1, QStringLiteral("1.2.0")), r.dido, r.ports, r.protocols);
    QJsonValue changed = board.toJson();
    QStringList expected;
    for (int i = 0; i < paths.size(); ++i) {
        QJsonValue node = changed;
        for (const QString& step : paths.at(i).split(QLatin1Char('/')))
            node = node.isArray() ? node.toArray().at(step.toInt()) : node.toObject().value(step);
        QVERIFY2(node != value, "the row must change the value");
        expected << QString(lines.at(i)).replace(QStringLiteral("{board}"), ConfigDifference::valueText(node));
        changed = replaced(changed, paths.at(i).split(QLatin1Char('/')), value);
    }
    QString error;
    const std::optional<ConfigFile> file = ConfigFile::fromJson(changed.toObject(), &error);
    QVERIFY2(file, qPrintable(error));

    QStringList found;
    const QList<ConfigDifference> differences = ConfigDiff::between(board, *file);
    for (const ConfigDifference& d : differences)
        found << d.line();
    QCOMPARE(found, expected);
    const QJsonArray json = ConfigDiff::toJson(differences);
    QCOMPARE(json.size(), expected.size());
    if (!json.isEmpty())
        QCOMPARE(json.at(0).toObject().value(QStringLiteral("file")), value);
}

void TestConfigFile::oversizedFileIsRefusedBeforeParsing()
{
    const Records r = randomRecords(3);
    const ConfigFile config = ConfigFile::fromBoard(boardOf(true, 2, QStringLiteral("0.0.5")), r.dido, r.ports, r.protocols);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("board.json"));
    QString error;
    QVERIFY2(ConfigFileStore::save(path, config, &error), qPrintable(error));
    QVERIFY2(ConfigFileStore::load(path, &error), qPrintable(error));

    // Valid JSON all the same: only the size may refuse it.
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(QByteArray(int(ConfigFileStore::sizeLimit), ' '));
    file.close();
    QVERIFY(!ConfigFileStore::load(path, &error));
    QVERIFY2(error.contains(QStringLiteral("larger than 4 MiB")), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestConfigFile)
#include "tst_configfile.moc"
