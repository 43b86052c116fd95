// Every configuration block byte for byte: decoding of each accepted reply
// layout, refusal of every other length without touching the record, encoding
// of every write, carried bytes preserved, factory values, port table mapping.

#include "configblocks.h"
#include "rs485fields.h"
#include "valuerules.h"
#include "referenceframes.h"

#include <QtTest>

#include <cstring>

namespace {

template <typename T>
QByteArray rawBytes(const T& value)
{
    return QByteArray(reinterpret_cast<const char*>(&value), int(sizeof(T)));
}

// Bytes 0, 1, 2, ... n-1 (mod 256) offset by `seed`, after the lead byte.
QByteArray patternedReply(quint8 lead, int dataLength, int seed = 0)
{
    QByteArray reply(1, char(lead));
    for (int i = 0; i < dataLength; ++i)
        reply.append(char((i * 7 + seed) & 0xFF));
    return reply;
}

// A record where every byte differs from zero and from the factory values, so
// that any byte a decoder touches, or fails to touch, shows.
DiDoConfig scribbled()
{
    DiDoConfig config;
    std::memset(static_cast<void*>(&config), 0x5A, sizeof(config));
    return config;
}

} // namespace

class TestConfigBlocks : public QObject
{
    Q_OBJECT

private slots:
    void addressesAreTwentyFourBitLittleEndian();
    void diTableReply_data();
    void diTableReply();
    void diTableData();
    void diDebounceReply_data();
    void diDebounceReply();
    void diDebounceData();
    void diModesReply_data();
    void diModesReply();
    void diModesData();
    void doTableFullRoundTrip();
    void doTableShortReplyWidens();
    void doTableShortWriteNarrows();
    void doTableRejects_data();
    void doTableRejects();
    void factoryValues();
    void rs485PortsRoundTripKeepsCarriedBytes();
    void rs485PortsRejects_data();
    void rs485PortsRejects();
    void rs485PortLayout();
    void iec101RoundTripAndLayout();
    void portFields_data();
    void portFields();
    void modbusAddressText_data();
    void modbusAddressText();
    void portFieldsShownBack();
    void iec101Fields_data();
    void iec101Fields();
    void iec101FieldsShownBack();
    void changedValuesMustBeInRange_data();
    void changedValuesMustBeInRange();
};

void TestConfigBlocks::addressesAreTwentyFourBitLittleEndian()
{
    DiEntry di;
    di.setObjectAddress(0x123456);
    QCOMPARE(rawBytes(di), hex("56 34 12 00"));
    QCOMPARE(di.objectAddress(), 0x123456u);
    di.setObjectAddress(0x01ABCDEF); // only 24 bits travel
    QCOMPARE(di.objectAddress(), 0xABCDEFu);

    DoEntry entry;
    entry.setObjectAddress(4095);
    entry.enabled = 1;
    entry.mode = 2;
    entry.holdMs = 100000;
    entry.dp = 1;
    QCOMPARE(ConfigBlocks::encodeDoEntry(entry), hex("ff 0f 00 01 02 000000 a0 86 01 00 01 000000"));
}

void TestConfigBlocks::diTableReply_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("entries"); // -1: refused

    QTest::newRow("129 bytes: all 32") << patternedReply(0xA0, 128) << 32;
    QTest::newRow("65 bytes: 16, rest cleared") << patternedReply(0xA0, 64) << 16;
    QTest::newRow("128 bytes") << patternedReply(0xA0, 127) << -1;
    QTest::newRow("130 bytes") << patternedReply(0xA0, 129) << -1;
    QTest::newRow("64 bytes") << patternedReply(0xA0, 63) << -1;
    QTest::newRow("66 bytes") << patternedReply(0xA0, 65) << -1;
    QTest::newRow("wrong lead") << patternedReply(0xC9, 128) << -1;
    QTest::newRow("empty") << QByteArray() << -1;
}

void TestConfigBlocks::diTableReply()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, entries);
    DiDoConfig config = scribbled();
    const DiDoConfig before = config;
    const bool ok = ConfigBlocks::takeDiTable(config, reply);
    QCOMPARE(ok, entries >= 0);
    if (!ok) {
        QCOMPARE(rawBytes(config), rawBytes(before));
        return;
    }
    const QByteArray table = rawBytes(config.diEntries);
    QCOMPARE(table.left(4 * entries), reply.mid(1));
    QCOMPARE(table.mid(4 * entries), QByteArray(128 - 4 * entries, '\0'));
    // Nothing outside the DI table moves.
    QCOMPARE(rawBytes(config).mid(128), rawBytes(before).mid(128));
    if (entries == 16) {
        QCOMPARE(config.diEntries[16].objectAddress(), 0u);
        QCOMPARE(int(config.diEntries[31].enabled), 0);
    }
}

void TestConfigBlocks::diTableData()
{
    DiDoConfig config;
    for (int i = 0; i < 32; ++i) {
        config.diEntries[i].setObjectAddress(quint32(0x010203 * (i + 1)));
        config.diEntries[i].enabled = quint8(i & 1);
    }
    const QByteArray all = ConfigBlocks::diTableData(config, 32);
    QCOMPARE(all.size(), 128);
    QCOMPARE(all, rawBytes(config.diEntries));
    QCOMPARE(all.mid(4, 4), hex("06 04 02 01")); // channel 2: 0x020406, enabled
    QCOMPARE(ConfigBlocks::diTableData(config, 16), all.left(64));
    QVERIFY(ConfigBlocks::diTableData(config, 0).isEmpty());
}

void TestConfigBlocks::diDebounceReply_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("ok");

    QTest::newRow("16 channels, 65 bytes") << 16 << patternedReply(0xA7, 64) << true;
    QTest::newRow("32 channels, 129 bytes") << 32 << patternedReply(0xA7, 128) << true;
    QTest::newRow("16 channels, 129 bytes") << 16 << patternedReply(0xA7, 128) << false;
    QTest::newRow("32 channels, 65 bytes") << 32 << patternedReply(0xA7, 64) << false;
    QTest::newRow("16 channels, 64 bytes") << 16 << patternedReply(0xA7, 63) << false;
    QTest::newRow("16 channels, 66 bytes") << 16 << patternedReply(0xA7, 65) << false;
    QTest::newRow("wrong lead") << 16 << patternedReply(0xA0, 64) << false;
}

void TestConfigBlocks::diDebounceReply()
{
    QFETCH(int, channels);
    QFETCH(QByteArray, reply);
    QFETCH(bool, ok);
    DiDoConfig config = scribbled();
    const DiDoConfig before = config;
    QCOMPARE(ConfigBlocks::takeDiDebounce(config, reply, channels), ok);
    if (!ok) {
        QCOMPARE(rawBytes(config), rawBytes(before));
        return;
    }
    const QByteArray table = rawBytes(config.diDebounceMs);
    QCOMPARE(table.left(4 * channels), reply.mid(1));
    QCOMPARE(table.mid(4 * channels), QByteArray(128 - 4 * channels, '\0'));
    QCOMPARE(config.diDebounceMs[1], qint32(0x312A231C)); // pattern bytes 1c 23 2a 31
}

void TestConfigBlocks::diDebounceData()
{
    DiDoConfig config;
    ConfigBlocks::resetDiDoRecord(config);
    config.diDebounceMs[1] = 60000;
    config.diDebounceMs[20] = -1;
    const QByteArray sixteen = ConfigBlocks::diDebounceData(config, 16);
    QCOMPARE(sixteen.size(), 64);
    QCOMPARE(sixteen.left(12), hex("03000000 60ea0000 03000000"));
    const QByteArray all = ConfigBlocks::diDebounceData(config, 32);
    QCOMPARE(all.size(), 128);
    QCOMPARE(all.mid(80, 4), hex("ffffffff"));
}

void TestConfigBlocks::diModesReply_data()
{
    QTest::addColumn<int>("channels");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("recordSize"); // 0: refused

    QByteArray four(1, char(0xAA));
    for (int i = 0; i < 16; ++i)
        four.append(QByteArray::fromHex("01 00 05 01")); // 5 is stored as 1
    QByteArray three(1, char(0xAA));
    for (int i = 0; i < 16; ++i)
        three.append(QByteArray::fromHex("00 ff 01"));
    QByteArray thirtyTwo(1, char(0xAA));
    for (int i = 0; i < 32; ++i)
        thirtyTwo.append(QByteArray::fromHex("01 01 00 02"));

    QTest::newRow("16 x 4 bytes") << 16 << four << 4;
    QTest::newRow("16 x 3 bytes") << 16 << three << 3;
    QTest::newRow("32 x 4 bytes") << 32 << thirtyTwo << 4;
    QTest::newRow("one byte short") << 16 << four.left(64) << 0;
    QTest::newRow("one byte long") << 16 << four + QByteArray(1, '\0') << 0;
    QTest::newRow("32 channels, 16 records") << 32 << four << 0;
    QTest::newRow("wrong lead") << 16 << QByteArray(1, char(0xA9)) + four.mid(1) << 0;
}

void TestConfigBlocks::diModesReply()
{
    QFETCH(int, channels);
    QFETCH(QByteArray, reply);
    QFETCH(int, recordSize);
    DiDoConfig config = scribbled();
    const DiDoConfig before = config;
    const bool ok = ConfigBlocks::takeDiModes(config, reply, channels);
    QCOMPARE(ok, recordSize != 0);
    if (!ok) {
        QCOMPARE(rawBytes(config), rawBytes(before));
        return;
    }
    for (int i = 0; i < channels; ++i) {
        const char* record = reply.constData() + 1 + recordSize * i;
        QCOMPARE(int(config.diDpPair[i]), record[0] ? 1 : 0);
        QCOMPARE(int(config.diDpRole[i]), record[1] ? 1 : 0);
        QCOMPARE(int(config.diInputType[i]), record[2] ? 1 : 0);
        QCOMPARE(int(config.diNominal[i]), recordSize == 4 && record[3] ? 1 : 0);
    }
    for (int i = channels; i < 32; ++i) {
        QCOMPARE(int(config.diDpPair[i]), 0);
        QCOMPARE(int(config.diDpRole[i]), i % 2);
        QCOMPARE(int(config.diInputType[i]), 0);
        QCOMPARE(int(config.diNominal[i]), 0);
    }
    // Only the mode arrays change.
    QCOMPARE(rawBytes(config).left(256), rawBytes(before).left(256));
    QCOMPARE(rawBytes(config.doEntries), rawBytes(before.doEntries));
}

void TestConfigBlocks::diModesData()
{
    DiDoConfig config;
    for (int i = 0; i < 32; ++i) {
        config.diDpPair[i] = quint8(i == 2);
        config.diDpRole[i] = quint8(i & 1);
        config.diInputType[i] = quint8(i == 3);
        config.diNominal[i] = quint8(i >= 30);
    }
    const QByteArray all = ConfigBlocks::diModesData(config, 32);
    QCOMPARE(all.size(), 128);
    QCOMPARE(all.left(16), hex("00000000 00010000 01000000 00010100"));
    QCOMPARE(all.right(8), hex("00000001 00010001"));
    QCOMPARE(ConfigBlocks::diModesData(config, 16), all.left(64));
}

void TestConfigBlocks::doTableFullRoundTrip()
{
    const QByteArray reply = patternedReply(0xA4, 144, 3);
    DiDoConfig config = scribbled();
    const DiDoConfig before = config;
    QVERIFY(ConfigBlocks::takeDoTable(config, reply));
    QCOMPARE(rawBytes(config.doEntries), reply.mid(1));
    QCOMPARE(rawBytes(config).left(384), rawBytes(before).left(384));
    QCOMPARE(ConfigBlocks::doTableData(config, true), reply.mid(1));
    // Entry 1 starts at data byte 16 of the pattern 7 * i + 3: 73 7a 81 ..., hold at 24: ab b2 b9 c0.
    QCOMPARE(config.doEntries[1].objectAddress(), quint32(0x817A73));
    QCOMPARE(config.doEntries[1].holdMs, quint32(0xC0B9B2AB));
}

void TestConfigBlocks::doTableShortReplyWidens()
{
    QByteArray reply(1, char(0xA4));
    for (int i = 0; i < 9; ++i) {
        // address i+1, enabled, mode 1, three bytes the board calls padding, hold 1000 * i
        reply.append(char(i + 1)).append('\0').append('\0').append(char(1)).append(char(1));
        reply.append(QByteArray::fromHex("aabbcc"));
        const quint32 hold = 1000u * quint32(i);
        for (int b = 0; b < 4; ++b)
            reply.append(char((hold >> (8 * b)) & 0xFF));
    }
    QCOMPARE(reply.size(), 109);

    DiDoConfig config = scribbled();
    for (DoEntry& entry : config.doEntries)
        entry.dp = 1;
    QVERIFY(ConfigBlocks::takeDoTable(config, reply));
    for (int i = 0; i < 9; ++i) {
        const QByteArray entry = ConfigBlocks::encodeDoEntry(config.doEntries[i]);
        QCOMPARE(entry.left(12), reply.mid(1 + 12 * i, 12));
        QCOMPARE(int(config.doEntries[i].dp), 0);
        QCOMPARE(entry.mid(13), hex("5a5a5a")); // bytes 13 to 15 kept
        QCOMPARE(config.doEntries[i].holdMs, 1000u * quint32(i));
    }
}

void TestConfigBlocks::doTableShortWriteNarrows()
{
    DiDoConfig config = scribbled();
    for (int i = 0; i < 9; ++i) {
        config.doEntries[i].setObjectAddress(quint32(i + 1));
        config.doEntries[i].enabled = 1;
        config.doEntries[i].mode = quint8(i % 3);
        config.doEntries[i].holdMs = 0x01020304;
        config.doEntries[i].dp = 1;
    }
    const QByteArray data = ConfigBlocks::doTableData(config, false);
    QCOMPARE(data.size(), 108);
    QCOMPARE(data.left(24), hex("010000 01 00 000000 04030201  020000 01 01 000000 04030201"));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(data.mid(12 * i + 5, 3), QByteArray(3, '\0')); // padding zero whatever was carried
    const QByteArray full = ConfigBlocks::doTableData(config, true);
    QCOMPARE(full.size(), 144);
    QCOMPARE(full.left(16), hex("010000 01 00 5a5a5a 04030201 01 5a5a5a"));
}

void TestConfigBlocks::doTableRejects_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("144 bytes") << patternedReply(0xA4, 143);
    QTest::newRow("146 bytes") << patternedReply(0xA4, 145);
    QTest::newRow("108 bytes") << patternedReply(0xA4, 107);
    QTest::newRow("110 bytes") << patternedReply(0xA4, 109);
    QTest::newRow("acknowledge") << hex("c9");
    QTest::newRow("wrong lead") << patternedReply(0xA0, 144);
}

void TestConfigBlocks::doTableRejects()
{
    QFETCH(QByteArray, reply);
    DiDoConfig config = scribbled();
    const DiDoConfig before = config;
    QVERIFY(!ConfigBlocks::takeDoTable(config, reply));
    QCOMPARE(rawBytes(config), rawBytes(before));
}

void TestConfigBlocks::factoryValues()
{
    DiDoConfig config = scribbled();
    ConfigBlocks::resetDiDoRecord(config);
    for (int i = 0; i < 32; ++i) {
        QCOMPARE(rawBytes(config.diEntries[i]), hex("000000 01"));
        QCOMPARE(config.diDebounceMs[i], 3);
        QCOMPARE(int(config.diDpPair[i]), 0);
        QCOMPARE(int(config.diDpRole[i]), i % 2);
        QCOMPARE(int(config.diInputType[i]), 0);
        QCOMPARE(int(config.diNominal[i]), 0);
    }
    for (const DoEntry& entry : config.doEntries)
        QCOMPARE(ConfigBlocks::encodeDoEntry(entry), hex("000000 01 00 5a5a5a 00000000 00 5a5a5a"));
    // What "Reset to factory" followed by "Save" sends for the modes of 16 inputs.
    QCOMPARE(ConfigBlocks::diModesData(config, 16).left(8), hex("00000000 00010000"));
}

void TestConfigBlocks::rs485PortsRoundTripKeepsCarriedBytes()
{
    const QByteArray reply = patternedReply(0x71, 56, 1);
    Rs485Ports ports;
    QVERIFY(ConfigBlocks::takeRs485Ports(ports, reply));
    QCOMPARE(ConfigBlocks::rs485PortsData(ports), reply.mid(1));
    QCOMPARE(int(ports[1].carried21), int(quint8(reply.at(1 + 28 + 21))));

    // A longer reply is accepted; only bytes 1 to 56 count.
    Rs485Ports longer;
    QVERIFY(ConfigBlocks::takeRs485Ports(longer, reply + hex("eeee")));
    QCOMPARE(ConfigBlocks::rs485PortsData(longer), reply.mid(1));
}

void TestConfigBlocks::rs485PortsRejects_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("56 bytes, one short") << patternedReply(0x71, 55);
    QTest::newRow("lead only") << hex("71");
    QTest::newRow("wrong lead") << patternedReply(0x9D, 56);
}

void TestConfigBlocks::rs485PortsRejects()
{
    QFETCH(QByteArray, reply);
    Rs485Ports ports;
    ports[0].baudRate = 1234;
    QVERIFY(!ConfigBlocks::takeRs485Ports(ports, reply));
    QCOMPARE(ports[0].baudRate, 1234u);
    Iec101Ports params;
    params[1].linkAddress = 77;
    QVERIFY(!ConfigBlocks::takeIec101(params, patternedReply(0x9D, 47)));
    QVERIFY(!ConfigBlocks::takeIec101(params, patternedReply(0x71, 48)));
    QCOMPARE(params[1].linkAddress, quint16(77));
}

void TestConfigBlocks::rs485PortLayout()
{
    Rs485PortParams port;
    port.baudRate = 115200;
    port.wordLength = 0x2000;
    port.stopBits = 0x2000;
    port.parity = 0x600;
    port.reserved0 = 0;
    port.modbusAddress = 247;
    port.carried21 = 0x11;
    port.fixedWord = 1000;
    port.modbusEnabled = 1;
    port.carried25[0] = 0x22;
    port.carried25[2] = 0x33;
    QCOMPARE(ConfigBlocks::encodeRs485Port(port),
             hex("00c20100 00200000 00200000 00060000 00000000 f7 11 e803 01 220033"));
    QCOMPARE(rawBytes(port), ConfigBlocks::encodeRs485Port(port)); // the record is the wire form
}

void TestConfigBlocks::iec101RoundTripAndLayout()
{
    Iec101Params params;
    params.linkAddress = 0x1234;
    params.linkAddressLength = 2;
    params.originatorAddress = 1;
    params.stationAddressLength = 1;
    params.objectAddressLength = 3;
    params.commonAddress = 65535;
    params.clockSyncPeriod = 268435455;
    params.giTime = 1;
    params.iec101Enabled = 1;
    const QByteArray bytes = ConfigBlocks::encodeIec101(params);
    QCOMPARE(bytes, hex("3412 02 01 01 03 ffff ffffff0f 01 01 00000000000000000000"));
    QCOMPARE(rawBytes(params), bytes);

    const QByteArray reply = patternedReply(0x9D, 48, 5);
    Iec101Ports ports;
    QVERIFY(ConfigBlocks::takeIec101(ports, reply));
    QCOMPARE(ConfigBlocks::iec101Data(ports), reply.mid(1));
}

void TestConfigBlocks::portFields_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("dataBits");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stopBits");
    QTest::addColumn<QString>("protocol");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QByteArray>("expected"); // empty: the fill fails

    QTest::newRow("9600 8N1 ModBus 17") << "9600" << "8" << "None" << "1" << "ModBusRTU" << "17"
                                        << hex("80250000 00000000 00000000 00000000 00000000 11 aa e803 01 bbccdd");
    QTest::newRow("rate off the list, 9E2") << "250000" << "9" << "Even" << "2" << "нет" << QString()
                                            << hex("90d00300 00200000 00200000 00040000 00000000 01 aa e803 00 bbccdd");
    QTest::newRow("odd parity, IEC101") << "57600" << "8" << "Odd" << "1" << "IEC101" << ""
                                        << hex("00e10000 00000000 00000000 00060000 00000000 01 aa e803 00 bbccdd");
    QTest::newRow("address 0 stays 0") << "1200" << "8" << "None" << "1" << "ModBusRTU" << "0"
                                       << hex("b0040000 00000000 00000000 00000000 00000000 00 aa e803 01 bbccdd");
    QTest::newRow("letters in the rate") << "96OO" << "8" << "None" << "1" << "нет" << "" << QByteArray();
    QTest::newRow("rate 0") << "0" << "8" << "None" << "1" << "нет" << "" << QByteArray();
    QTest::newRow("negative rate") << "-9600" << "8" << "None" << "1" << "нет" << "" << QByteArray();
    QTest::newRow("empty rate") << "" << "8" << "None" << "1" << "нет" << "" << QByteArray();
}

void TestConfigBlocks::portFields()
{
    QFETCH(QString, baud);
    QFETCH(QString, dataBits);
    QFETCH(QString, parity);
    QFETCH(QString, stopBits);
    QFETCH(QString, protocol);
    QFETCH(QString, address);
    QFETCH(QByteArray, expected);

    Rs485PortParams port = ConfigBlocks::decodeRs485Port(
        hex("01010101 02020202 03030303 04040404 05050505 06 aa 0707 08 bbccdd").constData());
    const Rs485PortParams before = port;
    const bool ok = fillRs485Port(port, { baud, dataBits, parity, stopBits, protocol, address });
    QCOMPARE(ok, !expected.isEmpty());
    QCOMPARE(ConfigBlocks::encodeRs485Port(port),
             ok ? expected : ConfigBlocks::encodeRs485Port(before));
}

void TestConfigBlocks::modbusAddressText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("address");
    QTest::newRow("0") << "0" << 0;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("247") << "247" << 247;
    QTest::newRow("248") << "248" << 1;
    QTest::newRow("250") << "250" << 1;
    QTest::newRow("-5") << "-5" << 1;
    QTest::newRow("empty") << "" << 1;
    QTest::newRow("no item") << QString() << 1;
    QTest::newRow("letters") << "abc" << 1;
    QTest::newRow("beyond int") << "99999999999" << 1;
}

void TestConfigBlocks::modbusAddressText()
{
    QFETCH(QString, text);
    QFETCH(int, address);
    QCOMPARE(int(modbusAddressFromText(text)), address);
}

void TestConfigBlocks::portFieldsShownBack()
{
    Rs485PortParams port;
    QVERIFY(fillRs485Port(port, { "19200", "9", "Odd", "2", "ModBusRTU", "33" }));
    const Rs485PortFields shown = describeRs485Port(port);
    QCOMPARE(shown.baudRate, QStringLiteral("19200"));
    QCOMPARE(shown.dataBits, QStringLiteral("9"));
    QCOMPARE(shown.parity, QStringLiteral("Odd"));
    QCOMPARE(shown.stopBits, QStringLiteral("2"));
    QCOMPARE(shown.protocol, QStringLiteral("ModBusRTU"));
    QCOMPARE(shown.modbusAddress, QStringLiteral("33"));

    // Values the board may hold that no row offers fall back to the first choice.
    port.parity = 0x200;
    port.wordLength = 1;
    port.modbusEnabled = 0;
    const Rs485PortFields odd = describeRs485Port(port);
    QCOMPARE(odd.parity, QStringLiteral("None"));
    QCOMPARE(odd.dataBits, QStringLiteral("8"));
    QVERIFY(odd.protocol.isEmpty()); // the table keeps its protocol row
}

void TestConfigBlocks::iec101Fields_data()
{
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QStringList>("texts"); // link address, common address, clock period
    QTest::addColumn<QList<int>>("indices"); // link length, originator, station length, object length, GI
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("defaults of a new table") << true << QStringList({ "", "", "" }) << QList<int>({ 1, 0, 1, 1, 1 })
                                             << hex("0000 02 01 02 03 0000 00000000 00 01 00000000000000000000");
    QTest::newRow("first choices") << true << QStringList({ "65535", "1", "268435455" })
                                   << QList<int>({ 0, 1, 0, 0, 0 })
                                   << hex("ffff 01 00 01 02 0100 ffffff0f 01 01 00000000000000000000");
    QTest::newRow("missing editors") << true << QStringList({ QString(), QString(), QString() })
                                     << QList<int>({ -1, -1, -1, -1, -1 })
                                     << hex("0000 00 00 00 00 0000 00000000 00 01 00000000000000000000");
    QTest::newRow("address beyond 16 bits") << true << QStringList({ "65536", "70000", "4294967296" })
                                            << QList<int>({ 0, 0, 0, 0, 0 })
                                            << hex("0000 01 01 01 02 0000 00000000 01 01 00000000000000000000");
    QTest::newRow("protocol not IEC101") << false << QStringList({ "5", "6", "7" }) << QList<int>({ 1, 0, 1, 1, 0 })
                                         << QByteArray(24, '\0');
}

void TestConfigBlocks::iec101Fields()
{
    QFETCH(bool, enabled);
    QFETCH(QStringList, texts);
    QFETCH(QList<int>, indices);
    QFETCH(QByteArray, expected);
    Iec101Fields fields;
    fields.enabled = enabled;
    fields.linkAddress = texts[0];
    fields.commonAddress = texts[1];
    fields.clockSyncPeriod = texts[2];
    fields.linkAddressLengthIndex = indices[0];
    fields.originatorAddressIndex = indices[1];
    fields.stationAddressLengthIndex = indices[2];
    fields.objectAddressLengthIndex = indices[3];
    fields.giTimeIndex = indices[4];
    QCOMPARE(ConfigBlocks::encodeIec101(buildIec101(fields)), expected);
}

void TestConfigBlocks::iec101FieldsShownBack()
{
    Iec101Fields fields;
    fields.enabled = true;
    fields.linkAddress = "300";
    fields.linkAddressLengthIndex = 0;
    fields.originatorAddressIndex = 1;
    fields.stationAddressLengthIndex = 1;
    fields.objectAddressLengthIndex = 0;
    fields.commonAddress = "12";
    fields.clockSyncPeriod = "60000";
    fields.giTimeIndex = 0;
    const Iec101Fields shown = describeIec101(buildIec101(fields));
    QVERIFY(shown.enabled);
    QCOMPARE(shown.linkAddress, fields.linkAddress);
    QCOMPARE(shown.linkAddressLengthIndex, 0);
    QCOMPARE(shown.originatorAddressIndex, 1);
    QCOMPARE(shown.stationAddressLengthIndex, 1);
    QCOMPARE(shown.objectAddressLengthIndex, 0);
    QCOMPARE(shown.commonAddress, fields.commonAddress);
    QCOMPARE(shown.clockSyncPeriod, fields.clockSyncPeriod);
    QCOMPARE(shown.giTimeIndex, 0);
    QVERIFY(!describeIec101(Iec101Params()).enabled);
}

void TestConfigBlocks::changedValuesMustBeInRange_data()
{
    QTest::addColumn<qint64>("held");   // link address the board gave (-1: IEC101 was off)
    QTest::addColumn<qint64>("edited");
    QTest::addColumn<QString>("problem"); // empty: accepted

    // (The DI/DO side is tried through the window's tables.)
    QTest::newRow("IEC101 link address 0 kept") << qint64(0) << qint64(0) << QString();
    QTest::newRow("IEC101 link address 0 typed") << qint64(5) << qint64(0) << "port 2 linkAddress: 0 is outside 1 to 65535";
    QTest::newRow("IEC101 just switched on, 0") << qint64(-1) << qint64(0) << "port 2 linkAddress: 0 is outside 1 to 65535";
    QTest::newRow("IEC101 just switched on, 7") << qint64(-1) << qint64(7) << QString();
}

void TestConfigBlocks::changedValuesMustBeInRange()
{
    QFETCH(qint64, held);
    QFETCH(qint64, edited);
    QFETCH(QString, problem);

    Rs485Ports ports {};
    ports[1].baudRate = 0; // held by the board, so it passes unchanged
    Iec101Ports protocols {};
    protocols[1].iec101Enabled = held < 0 ? 0 : 1;
    protocols[1].linkAddress = quint16(qMax<qint64>(held, 0));
    Iec101Ports editedProtocols = protocols;
    editedProtocols[1].iec101Enabled = 1;
    editedProtocols[1].linkAddress = quint16(edited);
    editedProtocols[1].commonAddress = editedProtocols[1].clockSyncPeriod = 1;
    Rs485Ports editedPorts = ports;
    editedPorts[0].baudRate = 9600;

    QStringList found;
    for (const ValueRules::Problem& p : ValueRules::checkRs485(editedPorts, editedProtocols, ports, protocols))
        found << p.describe();
    QCOMPARE(found, problem.isEmpty() ? QStringList() : QStringList({ problem }));
}

QTEST_GUILESS_MAIN(TestConfigBlocks)
#include "tst_configblocks.moc"
