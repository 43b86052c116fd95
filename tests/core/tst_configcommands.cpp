// The read and write sequences of the configuration blocks against the
// scripted connector: which commands a board gets, in which layout, what a
// failure leaves behind, and that every step is attempted.

#include "configcommands.h"
#include "configfile.h"
#include "desiredstate.h"
#include "scriptedconnector.h"
#include "referenceframes.h"

#include <QtTest>

#include <cstring>

namespace {

template <typename T>
QByteArray rawBytes(const T& value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), int(sizeof(T)));
}

BoardState board(int type, const char* firmware = "0.0.6")
{
    BoardState b;
    b.modeKnown = true;
    b.mode = 0;
    b.boardTypeKnown = type > 0;
    b.boardType = quint16(qMax(type, 0));
    b.firmwareVersionKnown = firmware != nullptr;
    b.firmwareVersion = QString::fromLatin1(firmware);
    return b;
}

QByteArray block(quint8 lead, int length, char fill)
{
    return QByteArray(1, char(lead)) + QByteArray(length, fill);
}

// Answers every read with a block of the size a board with `diChannels` inputs
// sends, and every write with an acknowledgement.
ScriptedConnector::Responder goodBoard(int diChannels)
{
    return [diChannels](const QByteArray& request) {
        switch (quint8(request.at(0))) {
        case 0xA0: return ScriptedConnector::reply(block(0xA0, diChannels == 32 ? 128 : 64, 0x11));
        case 0xA7: return ScriptedConnector::reply(block(0xA7, 4 * diChannels, 0x22));
        case 0xAA: return ScriptedConnector::reply(block(0xAA, 4 * diChannels, 0x01));
        case 0xA4: return ScriptedConnector::reply(block(0xA4, 144, 0x44));
        case 0x71: return ScriptedConnector::reply(block(0x71, 56, 0x55));
        case 0x9D: return ScriptedConnector::reply(block(0x9D, 48, 0x66));
        default: return ScriptedConnector::replyHex("c9");
        }
    };
}

template <typename T>
QList<T> repeated(int n, const T& value)
{
    QList<T> list;
    for (int i = 0; i < n; ++i)
        list.append(value);
    return list;
}

QList<int> codesOf(const ScriptedConnector& link)
{
    QList<int> codes;
    for (const QByteArray& request : link.writes)
        codes.append(quint8(request.at(0)));
    return codes;
}

QList<int> sizesOf(const ScriptedConnector& link)
{
    QList<int> sizes;
    for (const QByteArray& request : link.writes)
        sizes.append(request.size() - 1);
    return sizes;
}

} // namespace

Q_DECLARE_METATYPE(BoardState)
Q_DECLARE_METATYPE(ScriptedConnector::Step)

class TestConfigCommands : public QObject
{
    Q_OBJECT

private slots:
    void diDoReadFollowsTheBoard_data();
    void diDoReadFollowsTheBoard();
    void diDoReadAttemptsEveryRead();
    void gatedReadsFillDefaultsWithoutAsking();
    void debounceReplyLengthFollowsChannelCount();
    void diDoSaveFollowsTheBoard_data();
    void diDoSaveFollowsTheBoard();
    void diDoSaveAttemptsEveryStep();
    void factoryValuesAsSaved();
    void shortDoReplyWrittenBackInShortForm();
    void boardFactoryRestoreOutcomes();
    void portReadTakesBothRecords();
    void portReadGivesUpAfterThreeAttempts();
    void portReadSurvivesMissingProtocols_data();
    void portReadSurvivesMissingProtocols();
    void portWriteSendsBothBlocks();
    void portWriteStopsWhenPortsRefused();
    void nothingWithoutConnector();
    void applyWritesOnlyTheBlocksThatDiffer_data();
    void applyWritesOnlyTheBlocksThatDiffer();
    void applyUpdatesFirmwareOnlyWhenDue_data();
    void applyUpdatesFirmwareOnlyWhenDue();
};

void TestConfigCommands::diDoReadFollowsTheBoard_data()
{
    QTest::addColumn<BoardState>("state");
    QTest::addColumn<QList<int>>("codes");

    QTest::newRow("type 1, 0.0.6") << board(1) << QList<int>({ 0xA0, 0xA7, 0xAA, 0xA4 });
    QTest::newRow("type 1, 0.0.4") << board(1, "0.0.4") << QList<int>({ 0xA0, 0xA4 });
    QTest::newRow("type 2, 0.0.5") << board(2, "0.0.5") << QList<int>({ 0xA0, 0xA7, 0xA4 });
    QTest::newRow("type 3") << board(3) << QList<int>({ 0xA4 });
    QTest::newRow("type 4") << board(4) << QList<int>({ 0xA0, 0xA7, 0xAA });
    QTest::newRow("type unknown") << board(0) << QList<int>({ 0xA4 });
}

void TestConfigCommands::diDoReadFollowsTheBoard()
{
    QFETCH(BoardState, state);
    QFETCH(QList<int>, codes);
    ScriptedConnector link;
    link.setTimeout(3000);
    link.setResponder(goodBoard(state.diChannelCount()));
    DiDoConfig config;
    QVERIFY(ConfigCommands(&link, state).readDiDoConfig(config));
    QCOMPARE(codesOf(link), codes);
    QCOMPARE(link.readTimeouts, repeated(codes.size(), 2000));
    QCOMPARE(link.getTimeout(), 3000);
    if (codes.contains(0xA4))
        QCOMPARE(rawBytes(config.doEntries), QByteArray(144, 0x44));
}

void TestConfigCommands::diDoReadAttemptsEveryRead()
{
    ScriptedConnector link;
    link.queue(ScriptedConnector::silence());       // 0xA0
    link.queue(ScriptedConnector::replyHex("a7"));  // 0xA7, wrong length
    link.setResponder(goodBoard(16));
    DiDoConfig config;
    std::memset(static_cast<void*>(&config), 0x5A, sizeof(config));
    const DiDoConfig before = config;

    QVERIFY(!ConfigCommands(&link, board(1)).readDiDoConfig(config));
    QCOMPARE(codesOf(link), QList<int>({ 0xA0, 0xA7, 0xAA, 0xA4 }));
    // The failed reads left their parts alone; the good ones filled theirs.
    QCOMPARE(rawBytes(config.diEntries), rawBytes(before.diEntries));
    QCOMPARE(rawBytes(config.diDebounceMs), rawBytes(before.diDebounceMs));
    QCOMPARE(int(config.diDpPair[0]), 1);
    QCOMPARE(int(config.diDpRole[16]), 0); // defaults beyond 16 inputs
    QCOMPARE(int(config.diDpRole[17]), 1);
    QCOMPARE(rawBytes(config.doEntries), QByteArray(144, 0x44));
}

void TestConfigCommands::gatedReadsFillDefaultsWithoutAsking()
{
    ScriptedConnector link;
    DiDoConfig config;
    std::memset(static_cast<void*>(&config), 0x5A, sizeof(config));
    const ConfigCommands commands(&link, board(3));
    QVERIFY(commands.readDiDebounce(config));
    QVERIFY(commands.readDiExtended(config));
    QVERIFY(link.writes.isEmpty());
    QCOMPARE(rawBytes(config.diDebounceMs), QByteArray(128, '\0'));
    for (int i = 0; i < 32; ++i) {
        QCOMPARE(int(config.diDpPair[i]), 0);
        QCOMPARE(int(config.diDpRole[i]), i & 1);
        QCOMPARE(int(config.diInputType[i]), 0);
        QCOMPARE(int(config.diNominal[i]), 0);
    }
    // Saving on type 3 touches neither the DI table nor its companions.
    QVERIFY(commands.writeDiTable(config));
    QVERIFY(commands.writeDiDebounce(config));
    QVERIFY(commands.writeDiExtended(config));
    QVERIFY(link.writes.isEmpty());
}

void TestConfigCommands::debounceReplyLengthFollowsChannelCount()
{
    DiDoConfig config;
    {
        ScriptedConnector link;
        link.queue(ScriptedConnector::reply(block(0xA7, 64, 0x01)));
        QVERIFY(!ConfigCommands(&link, board(4)).readDiDebounce(config));
    }
    {
        ScriptedConnector link;
        link.queue(ScriptedConnector::reply(block(0xA7, 128, 0x01)));
        QVERIFY(ConfigCommands(&link, board(4)).readDiDebounce(config));
        QCOMPARE(config.diDebounceMs[31], 0x01010101);
    }
}

void TestConfigCommands::diDoSaveFollowsTheBoard_data()
{
    QTest::addColumn<BoardState>("state");
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QList<int>>("sizes");

    QTest::newRow("type 1, 0.0.6") << board(1) << QList<int>({ 0xA2, 0xA8, 0xA9, 0xA6 })
                                   << QList<int>({ 64, 64, 64, 144 });
    QTest::newRow("type 1, 0.0.4") << board(1, "0.0.4") << QList<int>({ 0xA2, 0xA5 }) << QList<int>({ 64, 108 });
    QTest::newRow("type 2, 0.0.4") << board(2, "0.0.4") << QList<int>({ 0xA2, 0xA8, 0xA5 })
                                   << QList<int>({ 64, 64, 108 });
    QTest::newRow("type 2, version unknown") << board(2, nullptr) << QList<int>({ 0xA2, 0xA8, 0xA5 })
                                             << QList<int>({ 64, 64, 108 });
    QTest::newRow("type 3") << board(3) << QList<int>({ 0xA6 }) << QList<int>({ 144 });
    QTest::newRow("type 4") << board(4) << QList<int>({ 0xA2, 0xA8, 0xA9 }) << QList<int>({ 128, 128, 128 });
    QTest::newRow("type unknown") << board(0) << QList<int>({ 0xA6 }) << QList<int>({ 144 });
}

void TestConfigCommands::diDoSaveFollowsTheBoard()
{
    QFETCH(BoardState, state);
    QFETCH(QList<int>, codes);
    QFETCH(QList<int>, sizes);
    ScriptedConnector link;
    link.setResponder(goodBoard(state.diChannelCount()));
    DiDoConfig config;
    ConfigBlocks::resetDiDoRecord(config);
    QVERIFY(ConfigCommands(&link, state).writeDiDoConfig(config));
    QCOMPARE(codesOf(link), codes);
    QCOMPARE(sizesOf(link), sizes);
}

void TestConfigCommands::diDoSaveAttemptsEveryStep()
{
    ScriptedConnector link;
    link.queue(ScriptedConnector::writeFailure());    // 0xA2
    link.queue(ScriptedConnector::replyHex("c8"));    // 0xA8 refused
    link.queue(ScriptedConnector::silence());         // 0xA9
    link.queue(ScriptedConnector::replyHex("c9"));    // 0xA6
    DiDoConfig config;
    QVERIFY(!ConfigCommands(&link, board(1)).writeDiDoConfig(config));
    QCOMPARE(codesOf(link), QList<int>({ 0xA2, 0xA8, 0xA9, 0xA6 }));

    // Only the last step failing fails the save as well.
    ScriptedConnector last;
    last.queue({ ScriptedConnector::replyHex("c9"), ScriptedConnector::replyHex("c9"),
                 ScriptedConnector::replyHex("c9"), ScriptedConnector::replyHex("a6") });
    QVERIFY(!ConfigCommands(&last, board(1)).writeDiDoConfig(config));
    QCOMPARE(last.writes.size(), 4);
}

// "Reset to factory" then "Save" on a board with both features: debounce 3 on
// every input and DP roles alternating from DP_OFF on the first input.
void TestConfigCommands::factoryValuesAsSaved()
{
    ScriptedConnector link;
    link.setResponder(goodBoard(16));
    DiDoConfig config;
    ConfigBlocks::resetDiDoRecord(config);
    QVERIFY(ConfigCommands(&link, board(2)).writeDiDoConfig(config));
    QCOMPARE(link.writes.size(), 4);

    QByteArray debounce = hex("a8");
    QByteArray modes = hex("a9");
    QByteArray table = hex("a2");
    for (int i = 0; i < 16; ++i) {
        debounce += hex("03000000");
        modes += (i % 2 ? hex("00010000") : hex("00000000"));
        table += hex("00000001");
    }
    QCOMPARE(link.writes.at(0), table);
    QCOMPARE(link.writes.at(1), debounce);
    QCOMPARE(link.writes.at(2), modes);
    QByteArray outputs = hex("a6");
    for (int i = 0; i < 9; ++i)
        outputs += hex("000000 01 00 000000 00000000 00 000000");
    QCOMPARE(link.writes.at(3), outputs);
}

void TestConfigCommands::shortDoReplyWrittenBackInShortForm()
{
    QByteArray reply(1, char(0xA4));
    for (int i = 0; i < 9; ++i)
        reply += hex("050000 01 01 ffffff 10270000");
    ScriptedConnector link;
    link.queue(ScriptedConnector::reply(reply));
    link.queue(ScriptedConnector::replyHex("c9"));
    DiDoConfig config;
    const BoardState oldFirmware = board(1, "0.0.4");
    QVERIFY(ConfigCommands(&link, oldFirmware).readDoConfig(config));
    QVERIFY(ConfigCommands(&link, oldFirmware).writeDoConfig(config));
    QByteArray expected = hex("a5");
    for (int i = 0; i < 9; ++i)
        expected += hex("050000 01 01 000000 10270000");
    QCOMPARE(link.writes.at(1), expected);
}

void TestConfigCommands::boardFactoryRestoreOutcomes()
{
    ScriptedConnector link;
    link.queue({ ScriptedConnector::writeFailure(), ScriptedConnector::replyHex("a1"), ScriptedConnector::replyHex("c9") });
    const ConfigCommands commands(&link, board(1));
    const ExchangeResult notWritten = commands.restoreFactory();
    QVERIFY(!notWritten.written());
    const ExchangeResult refused = commands.restoreFactory();
    QVERIFY(refused.written() && !refused.accepted);
    QVERIFY(commands.restoreFactory().accepted);
    QCOMPARE(link.writes, repeated(3, hex("a1")));
}

void TestConfigCommands::portReadTakesBothRecords()
{
    ScriptedConnector link;
    link.setTimeout(900);
    link.setResponder(goodBoard(16));
    Rs485Ports ports;
    Iec101Ports protocols;
    const auto r = ConfigCommands(&link, board(1)).readRs485Params(ports, protocols);
    QVERIFY(r.ok());
    QVERIFY(r.protocols);
    QCOMPARE(link.writes, QList<QByteArray>({ hex("71"), hex("9d") }));
    QCOMPARE(link.readTimeouts, QList<int>({ 2000, 2000 }));
    QCOMPARE(link.getTimeout(), 900);
    QCOMPARE(ConfigBlocks::rs485PortsData(ports), QByteArray(56, 0x55));
    QCOMPARE(ConfigBlocks::iec101Data(protocols), QByteArray(48, 0x66));
}

void TestConfigCommands::portReadGivesUpAfterThreeAttempts()
{
    ScriptedConnector link;
    link.setTimeout(900);
    link.queue({ ScriptedConnector::silence(), ScriptedConnector::reply(block(0x71, 55, 1)),
                 ScriptedConnector::writeFailure() });
    link.setResponder(goodBoard(16));
    Rs485Ports ports;
    ports[0].baudRate = 4800;
    Iec101Ports protocols;
    const auto r = ConfigCommands(&link, board(1)).readRs485Params(ports, protocols);
    QVERIFY(!r.ok());
    QCOMPARE(link.writes, repeated(3, hex("71")));
    QCOMPARE(ports[0].baudRate, 4800u);
    QCOMPARE(link.getTimeout(), 900);

    // A one-byte-short reply counts as a failed attempt; the next good one wins.
    ScriptedConnector again;
    again.queue(ScriptedConnector::reply(block(0x71, 55, 1)));
    again.setResponder(goodBoard(16));
    QVERIFY(ConfigCommands(&again, board(1)).readRs485Params(ports, protocols).ok());
    QCOMPARE(codesOf(again), QList<int>({ 0x71, 0x71, 0x9D }));
}

void TestConfigCommands::portReadSurvivesMissingProtocols_data()
{
    QTest::addColumn<ScriptedConnector::Step>("protocolStep");
    QTest::newRow("silence") << ScriptedConnector::silence();
    QTest::newRow("48 bytes") << ScriptedConnector::reply(block(0x9D, 47, 1));
    QTest::newRow("acknowledge") << ScriptedConnector::replyHex("c9");
    QTest::newRow("not written") << ScriptedConnector::writeFailure();
}

void TestConfigCommands::portReadSurvivesMissingProtocols()
{
    QFETCH(ScriptedConnector::Step, protocolStep);
    ScriptedConnector link;
    link.queue({ ScriptedConnector::reply(block(0x71, 56, 0x55)), protocolStep });
    Rs485Ports ports;
    Iec101Ports protocols;
    protocols[1].commonAddress = 321;
    const auto r = ConfigCommands(&link, board(1)).readRs485Params(ports, protocols);
    QVERIFY(r.ok());
    QVERIFY(!r.protocols);
    QCOMPARE(protocols[1].commonAddress, quint16(321));
    QCOMPARE(ConfigBlocks::rs485PortsData(ports), QByteArray(56, 0x55));
    QCOMPARE(link.writes.size(), 2); // 0x9D is asked once only
}

void TestConfigCommands::portWriteSendsBothBlocks()
{
    ScriptedConnector link;
    link.setResponder(goodBoard(16));
    Rs485Ports ports;
    ports[0].baudRate = 9600;
    ports[1].baudRate = 115200;
    Iec101Ports protocols;
    protocols[1].iec101Enabled = 1;
    QVERIFY(ConfigCommands(&link, board(1)).writeRs485Params(ports, protocols));
    QCOMPARE(link.writes.size(), 2);
    QCOMPARE(link.writes.at(0), hex("72") + ConfigBlocks::rs485PortsData(ports));
    QCOMPARE(link.writes.at(0).mid(29, 4), hex("00c20100"));
    QCOMPARE(link.writes.at(1), hex("9e") + ConfigBlocks::iec101Data(protocols));
    QCOMPARE(link.writes.at(1).size(), 49);
    QCOMPARE(int(link.writes.at(1).at(1 + 24 + 13)), 1);

    ScriptedConnector refusesProtocols;
    refusesProtocols.queue({ ScriptedConnector::replyHex("c9"), ScriptedConnector::silence() });
    QVERIFY(!ConfigCommands(&refusesProtocols, board(1)).writeRs485Params(ports, protocols));
}

void TestConfigCommands::portWriteStopsWhenPortsRefused()
{
    for (const auto& step : { ScriptedConnector::writeFailure(), ScriptedConnector::silence(),
                              ScriptedConnector::replyHex("c8 00 00 00 00") }) {
        ScriptedConnector link;
        link.queue(step);
        link.setResponder(goodBoard(16));
        QVERIFY(!ConfigCommands(&link, board(1)).writeRs485Params(Rs485Ports(), Iec101Ports()));
        QCOMPARE(codesOf(link), QList<int>({ 0x72 }));
    }
}

void TestConfigCommands::nothingWithoutConnector()
{
    const ConfigCommands commands(nullptr, board(1));
    DiDoConfig config;
    Rs485Ports ports;
    Iec101Ports protocols;
    QVERIFY(!commands.readDiDoConfig(config));
    QVERIFY(!commands.writeDiDoConfig(config));
    QVERIFY(!commands.readDiDebounce(config));
    QVERIFY(!commands.writeDiExtended(config));
    QVERIFY(!commands.readRs485Params(ports, protocols).ok());
    QVERIFY(!commands.writeRs485Params(ports, protocols));
    QVERIFY(!commands.restoreFactory().written());
}


using Block = ConfigCommands::Block;
Q_DECLARE_METATYPE(QList<ConfigCommands::Block>)

void TestConfigCommands::applyWritesOnlyTheBlocksThatDiffer_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("field");
    QTest::addColumn<QList<Block>>("blocks");

    // What a field edit makes differ: exactly the block that carries it.
    QTest::newRow("nothing") << 1 << 0 << QList<Block>();
    QTest::newRow("DI address") << 1 << 1 << QList<Block>({ Block::DiTable });
    QTest::newRow("DI debounce") << 1 << 2 << QList<Block>({ Block::DiDebounce });
    QTest::newRow("DI input type") << 1 << 3 << QList<Block>({ Block::DiModes });
    QTest::newRow("DO hold and baud rate") << 1 << 4 << QList<Block>({ Block::DoTable, Block::Rs485Ports });
    QTest::newRow("IEC101 address") << 1 << 5 << QList<Block>({ Block::Iec101 });
    // A board without inputs never gets a DI block, whatever the file says.
    QTest::newRow("DI address, type 3") << 3 << 1 << QList<Block>();
}

void TestConfigCommands::applyWritesOnlyTheBlocksThatDiffer()
{
    QFETCH(int, type);
    QFETCH(int, field);
    QFETCH(QList<Block>, blocks);

    const BoardState b = board(type);
    DiDoConfig dido;
    ConfigBlocks::resetDiDoRecord(dido);
    const ConfigFile current = ConfigFile::fromBoard(b, dido, Rs485Ports {}, Iec101Ports {});
    ConfigFile desired = current;
    switch (field) {
    case 1: desired.dido.diEntries[2].setObjectAddress(77); break;
    case 2: desired.dido.diDebounceMs[5] = 40; break;
    case 3: desired.dido.diInputType[0] = 1; break;
    case 4:
        desired.dido.doEntries[1].holdMs = 500;
        desired.ports[1].baudRate = 19200;
        break;
    case 5: desired.protocols[0].commonAddress = 9; break;
    default: break;
    }
    QCOMPARE(DesiredState::differingBlocks(b, current, desired), blocks);
}

void TestConfigCommands::applyUpdatesFirmwareOnlyWhenDue_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reported");
    QTest::addColumn<bool>("due");

    QTest::newRow("runs it") << 0 << "0.0.7" << false;
    QTest::newRow("runs another") << 0 << "0.0.6" << true;
    // In its bootloader a board is not where it should be, whatever it reports.
    QTest::newRow("in its bootloader") << 1 << "0.0.7" << true;
    QTest::newRow("version unread") << 0 << QString() << true;
}

void TestConfigCommands::applyUpdatesFirmwareOnlyWhenDue()
{
    QFETCH(int, mode);
    QFETCH(QString, reported);
    QFETCH(bool, due);

    BoardState b = board(1, nullptr);
    b.mode = quint8(mode);
    b.firmwareVersionKnown = !reported.isEmpty();
    b.firmwareVersion = reported;
    QCOMPARE(DesiredState::firmwareDue(b, QStringLiteral(" 0.0.7 ")), due);
}

QTEST_GUILESS_MAIN(TestConfigCommands)
#include "tst_configcommands.moc"
