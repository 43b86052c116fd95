// The virtual board's model, payload in, payload out: reply layouts by board
// type and layout, writes read back, refusals, factory restore, mode switch,
// and firmware images rebuilt from hand-built block requests.

#include "boardmodel.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <initializer_list>
#include <iterator>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray le(quint32 value, int width)
{
    QByteArray out;
    for (int i = 0; i < width; ++i)
        out.append(char((value >> (8 * i)) & 0xFF));
    return out;
}

QByteArray request(int code, const QByteArray& data = QByteArray())
{
    return QByteArray(1, char(code)) + data;
}

// Distinct, non-trivial content of `size` bytes.
QByteArray pattern(int size, int seed)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out.append(char((i * 37 + seed * 11 + 5) & 0xFF));
    return out;
}

QByteArray block(int opcode, int number, const QByteArray& data)
{
    return request(opcode, le(quint32(number), 2) + le(quint32(data.size()), 2) + data);
}

QByteArray runToken(int count, int value)
{
    return le(0x800000u | quint32(count), 3) + QByteArray(1, char(value));
}

QByteArray literalToken(const QByteArray& data)
{
    return le(quint32(data.size()), 3) + data;
}

QByteArray refusal(quint32 code)
{
    return QByteArray(1, char(0xC8)) + le(code, 4);
}

const QByteArray ack(1, char(0xC9));

QByteArray reply(BoardModel& board, const QByteArray& req)
{
    const std::optional<QByteArray> r = board.handle(req);
    return r ? *r : QByteArray("<silence>");
}

} // namespace

class TestBoardModel : public QObject
{
    Q_OBJECT

private slots:
    void identityReplies_data();
    void identityReplies();
    void blockReplyLengths_data();
    void blockReplyLengths();
    void writesReadBack_data();
    void writesReadBack();
    void badWriteLengthsAreRefusedAndChangeNothing_data();
    void badWriteLengthsAreRefusedAndChangeNothing();
    void oldLayoutShowsShortDoEntriesAndShortWritesKeepTheRest();
    void oldLayoutInputModesLeaveOutTheNominal();
    void factoryRestoreResetsDiDoOnly();
    void modeSwitchIsReportedByTheStatusReply();
    void rebootAnswersOrStaysSilent();
    void unknownAndEmptyRequestsGetNoReply_data();
    void unknownAndEmptyRequestsGetNoReply();
    void calibrationsAreAcknowledgedAndCounted();
    void bothMethodsRebuildTheSameImage();
    void malformedBlocksAreRefused_data();
    void malformedBlocksAreRefused();
    void brokenStreamRefusesTheRestUntilANewFirstBlock();
    void refusedBlockLeavesTheTransferUsable();
    void resentBlockIsAcknowledgedButAppliedOnce();
    void flashOutcomes_data();
    void flashOutcomes();
    void flashRefusalKnobReportsItsCode();
    void modeSwitchDropsAHalfTransferredImage();
    void randomRequestsKeepTheBoardConsistent();
};

void TestBoardModel::identityReplies_data()
{
    QTest::addColumn<int>("boardType");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<QByteArray>("bootloader");
    QTest::addColumn<QByteArray>("req");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("firmware version") << 1 << 0 << 0 << QByteArray("0.0.6") << QByteArray("1.1.0") << request(0x78)
                                      << bytes({ 0xC9, 5, '0', '.', '0', '.', '6' });
    QTest::newRow("empty firmware version") << 1 << 0 << 0 << QByteArray() << QByteArray("1.1.0") << request(0x78)
                                            << bytes({ 0xC9, 0 });
    QTest::newRow("status, main firmware") << 1 << 0 << 0 << QByteArray("1.2.0") << QByteArray("0.0.7")
                                           << request(0x64) << bytes({ 0xC9, 0, 5, '0', '.', '0', '.', '7' });
    QTest::newRow("status, bootloader") << 2 << 1 << 0 << QByteArray("1.2.0") << QByteArray("12.3.45")
                                        << request(0x64)
                                        << bytes({ 0xC9, 1, 7, '1', '2', '.', '3', '.', '4', '5' });
    QTest::newRow("board type 4") << 4 << 0 << 0 << QByteArray("1") << QByteArray("1") << request(0x7D)
                                  << bytes({ 0xC9, 4, 0 });
    QTest::newRow("board type 0x0102") << 0x0102 << 0 << 0 << QByteArray("1") << QByteArray("1") << request(0x7D)
                                       << bytes({ 0xC9, 0x02, 0x01 });
    QTest::newRow("error code -1") << 1 << 0 << -1 << QByteArray("1") << QByteArray("1") << request(0x79)
                                   << bytes({ 0xC9, 0xFF, 0xFF, 0xFF, 0xFF });
    QTest::newRow("error code 0x12345678") << 1 << 0 << 0x12345678 << QByteArray("1") << QByteArray("1")
                                           << request(0x79) << bytes({ 0xC9, 0x78, 0x56, 0x34, 0x12 });
}

void TestBoardModel::identityReplies()
{
    QFETCH(int, boardType);
    QFETCH(int, mode);
    QFETCH(int, errorCode);
    QFETCH(QByteArray, firmware);
    QFETCH(QByteArray, bootloader);
    QFETCH(QByteArray, req);
    QFETCH(QByteArray, expected);

    BoardModel board;
    board.setBoardType(quint16(boardType));
    board.setMode(quint8(mode));
    board.setErrorCode(errorCode);
    board.setFirmwareVersion(firmware);
    board.setBootloaderVersion(bootloader);
    QCOMPARE(reply(board, req).toHex(' '), expected.toHex(' '));
}

void TestBoardModel::blockReplyLengths_data()
{
    QTest::addColumn<int>("boardType");
    QTest::addColumn<bool>("oldLayout");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("expectedLength");

    QTest::newRow("A0 current") << 1 << false << 0xA0 << 129;
    QTest::newRow("A0 old") << 1 << true << 0xA0 << 65;
    QTest::newRow("A0 current, type 4") << 4 << false << 0xA0 << 129;
    QTest::newRow("A4 current") << 1 << false << 0xA4 << 145;
    QTest::newRow("A4 old") << 2 << true << 0xA4 << 109;
    QTest::newRow("A7 type 1") << 1 << false << 0xA7 << 65;
    QTest::newRow("A7 type 2") << 2 << false << 0xA7 << 65;
    QTest::newRow("A7 type 3") << 3 << false << 0xA7 << 1;
    QTest::newRow("A7 type 4") << 4 << false << 0xA7 << 129;
    QTest::newRow("A7 type 9") << 9 << false << 0xA7 << 65;
    QTest::newRow("A7 type 4, old layout") << 4 << true << 0xA7 << 129;
    QTest::newRow("AA type 1") << 1 << false << 0xAA << 65;
    QTest::newRow("AA type 4") << 4 << false << 0xAA << 129;
    QTest::newRow("AA type 1 old") << 1 << true << 0xAA << 49;
    QTest::newRow("AA type 4 old") << 4 << true << 0xAA << 97;
    QTest::newRow("AA type 3") << 3 << false << 0xAA << 1;
    QTest::newRow("71") << 1 << false << 0x71 << 57;
    QTest::newRow("9D") << 1 << true << 0x9D << 49;
}

void TestBoardModel::blockReplyLengths()
{
    QFETCH(int, boardType);
    QFETCH(bool, oldLayout);
    QFETCH(int, code);
    QFETCH(int, expectedLength);

    BoardModel board;
    board.setBoardType(quint16(boardType));
    board.setOldLayout(oldLayout);
    const QByteArray r = reply(board, request(code));
    QCOMPARE(r.size(), expectedLength);
    QCOMPARE(quint8(r.at(0)), quint8(code));
}

void TestBoardModel::writesReadBack_data()
{
    QTest::addColumn<int>("boardType");
    QTest::addColumn<int>("writeCode");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("readCode");

    QTest::newRow("DI table, 16 entries") << 1 << 0xA2 << 64 << 0xA0;
    QTest::newRow("DI table, 32 entries") << 4 << 0xA2 << 128 << 0xA0;
    QTest::newRow("DO table, full entries") << 1 << 0xA6 << 144 << 0xA4;
    QTest::newRow("port settings") << 1 << 0x72 << 56 << 0x71;
    QTest::newRow("protocol settings") << 1 << 0x9E << 48 << 0x9D;
    QTest::newRow("debounce, 16 inputs") << 1 << 0xA8 << 64 << 0xA7;
    QTest::newRow("debounce, 32 inputs") << 4 << 0xA8 << 128 << 0xA7;
    QTest::newRow("input modes, 16 inputs") << 2 << 0xA9 << 64 << 0xAA;
    QTest::newRow("input modes, 32 inputs") << 4 << 0xA9 << 128 << 0xAA;
}

void TestBoardModel::writesReadBack()
{
    QFETCH(int, boardType);
    QFETCH(int, writeCode);
    QFETCH(int, size);
    QFETCH(int, readCode);

    BoardModel board;
    board.setBoardType(quint16(boardType));
    const QByteArray before = reply(board, request(readCode));
    const quint64 revision = board.configurationRevision();
    const QByteArray data = pattern(size, writeCode);

    QCOMPARE(reply(board, request(writeCode, data)).toHex(), ack.toHex());
    const QByteArray after = reply(board, request(readCode));
    QCOMPARE(after.size(), before.size());
    QCOMPARE(after.mid(1, size).toHex(), data.toHex());
    // Bytes beyond the written part keep their values.
    QCOMPARE(after.mid(1 + size).toHex(), before.mid(1 + size).toHex());
    QVERIFY(board.configurationRevision() > revision);
}

void TestBoardModel::badWriteLengthsAreRefusedAndChangeNothing_data()
{
    QTest::addColumn<int>("boardType");
    QTest::addColumn<int>("writeCode");
    QTest::addColumn<int>("size");

    QTest::newRow("DI table 63") << 1 << 0xA2 << 63;
    QTest::newRow("DI table 65") << 1 << 0xA2 << 65;
    QTest::newRow("DI table empty") << 1 << 0xA2 << 0;
    QTest::newRow("DO full 143") << 1 << 0xA6 << 143;
    QTest::newRow("DO short 109") << 1 << 0xA5 << 109;
    QTest::newRow("ports 55") << 1 << 0x72 << 55;
    QTest::newRow("ports 57") << 1 << 0x72 << 57;
    QTest::newRow("protocol 47") << 1 << 0x9E << 47;
    QTest::newRow("debounce 128 on 16 inputs") << 1 << 0xA8 << 128;
    QTest::newRow("debounce 64 on 32 inputs") << 4 << 0xA8 << 64;
    QTest::newRow("debounce 4 on no inputs") << 3 << 0xA8 << 4;
    QTest::newRow("input modes 48 (3 per input)") << 1 << 0xA9 << 48;
}

void TestBoardModel::badWriteLengthsAreRefusedAndChangeNothing()
{
    QFETCH(int, boardType);
    QFETCH(int, writeCode);
    QFETCH(int, size);

    BoardModel board;
    board.setBoardType(quint16(boardType));
    const BoardConfiguration before = board.configuration();
    QCOMPARE(reply(board, request(writeCode, pattern(size, 3))).toHex(), refusal(BoardModel::BadRequestLength).toHex());
    QVERIFY(board.configuration() == before);
    QCOMPARE(board.configurationRevision(), quint64(0));
    QCOMPARE(reply(board, request(0x79)).toHex(), (ack + le(BoardModel::BadRequestLength, 4)).toHex());
}

void TestBoardModel::oldLayoutShowsShortDoEntriesAndShortWritesKeepTheRest()
{
    BoardModel board;
    const QByteArray full = pattern(144, 9);
    QCOMPARE(reply(board, request(0xA6, full)), ack);

    board.setOldLayout(true);
    const QByteArray shortReply = reply(board, request(0xA4));
    QCOMPARE(shortReply.size(), 109);
    for (int ch = 0; ch < 9; ++ch) {
        const QByteArray entry = shortReply.mid(1 + ch * 12, 12);
        const QByteArray stored = full.mid(ch * 16, 16);
        QCOMPARE(entry.left(5).toHex(), stored.left(5).toHex());
        QCOMPARE(entry.mid(5, 3).toHex(), QByteArray(3, '\0').toHex());
        QCOMPARE(entry.mid(8, 4).toHex(), stored.mid(8, 4).toHex());
    }

    // A short write changes bytes 0-4 and the hold time of each entry only.
    const QByteArray shortData = pattern(108, 21);
    QCOMPARE(reply(board, request(0xA5, shortData)), ack);
    board.setOldLayout(false);
    const QByteArray after = reply(board, request(0xA4)).mid(1);
    for (int ch = 0; ch < 9; ++ch) {
        const QByteArray entry = after.mid(ch * 16, 16);
        const QByteArray written = shortData.mid(ch * 12, 12);
        const QByteArray old = full.mid(ch * 16, 16);
        QCOMPARE(entry.left(5).toHex(), written.left(5).toHex());
        QCOMPARE(entry.mid(5, 3).toHex(), old.mid(5, 3).toHex());
        QCOMPARE(entry.mid(8, 4).toHex(), written.mid(8, 4).toHex());
        QCOMPARE(entry.mid(12, 4).toHex(), old.mid(12, 4).toHex());
    }
}

void TestBoardModel::oldLayoutInputModesLeaveOutTheNominal()
{
    BoardModel board;
    const QByteArray modes = pattern(64, 4);
    QCOMPARE(reply(board, request(0xA9, modes)), ack);
    board.setOldLayout(true);
    const QByteArray r = reply(board, request(0xAA));
    QCOMPARE(r.size(), 1 + 48);
    for (int ch = 0; ch < 16; ++ch)
        QCOMPARE(r.mid(1 + ch * 3, 3).toHex(), modes.mid(ch * 4, 3).toHex());
}

void TestBoardModel::factoryRestoreResetsDiDoOnly()
{
    BoardModel board;
    board.setBoardType(4);
    QCOMPARE(reply(board, request(0xA2, pattern(128, 1))), ack);
    QCOMPARE(reply(board, request(0xA8, pattern(128, 2))), ack);
    QCOMPARE(reply(board, request(0xA9, pattern(128, 3))), ack);
    const QByteArray doTable = pattern(144, 4);
    QCOMPARE(reply(board, request(0xA6, doTable)), ack);
    const QByteArray ports = pattern(56, 5);
    QCOMPARE(reply(board, request(0x72, ports)), ack);
    const QByteArray protocol = pattern(48, 6);
    QCOMPARE(reply(board, request(0x9E, protocol)), ack);

    QCOMPARE(reply(board, request(0xA1)), ack);

    const QByteArray di = reply(board, request(0xA0)).mid(1);
    const QByteArray debounce = reply(board, request(0xA7)).mid(1);
    const QByteArray modes = reply(board, request(0xAA)).mid(1);
    for (int ch = 0; ch < 32; ++ch) {
        QCOMPARE(di.mid(ch * 4, 4).toHex(), bytes({ 0, 0, 0, 1 }).toHex());
        QCOMPARE(debounce.mid(ch * 4, 4).toHex(), le(3, 4).toHex());
        QCOMPARE(modes.mid(ch * 4, 4).toHex(), bytes({ 0, ch & 1, 0, 0 }).toHex());
    }
    const QByteArray dos = reply(board, request(0xA4)).mid(1);
    for (int ch = 0; ch < 9; ++ch) {
        const QByteArray entry = dos.mid(ch * 16, 16);
        QCOMPARE(entry.left(5).toHex(), bytes({ 0, 0, 0, 1, 0 }).toHex());
        QCOMPARE(entry.mid(8, 5).toHex(), bytes({ 0, 0, 0, 0, 0 }).toHex());
        QCOMPARE(entry.mid(5, 3).toHex(), doTable.mid(ch * 16 + 5, 3).toHex());
        QCOMPARE(entry.mid(13, 3).toHex(), doTable.mid(ch * 16 + 13, 3).toHex());
    }
    QCOMPARE(reply(board, request(0x71)).mid(1).toHex(), ports.toHex());
    QCOMPARE(reply(board, request(0x9D)).mid(1).toHex(), protocol.toHex());
}

void TestBoardModel::modeSwitchIsReportedByTheStatusReply()
{
    BoardModel board;
    QCOMPARE(quint8(reply(board, request(0x64)).at(1)), quint8(0));
    QCOMPARE(reply(board, request(0x7A)), ack);
    QCOMPARE(quint8(reply(board, request(0x64)).at(1)), quint8(1));
    QCOMPARE(reply(board, request(0x7A)), ack);
    QCOMPARE(quint8(reply(board, request(0x64)).at(1)), quint8(1));
    QCOMPARE(reply(board, request(0x7B)), ack);
    QCOMPARE(quint8(reply(board, request(0x64)).at(1)), quint8(0));
    QCOMPARE(board.counters().modeSwitches, 3);
}

void TestBoardModel::rebootAnswersOrStaysSilent()
{
    BoardModel board;
    board.setErrorCode(9);
    QCOMPARE(reply(board, request(0x7C)), ack);
    QCOMPARE(board.errorCode(), 0);
    board.setRebootSilent(true);
    QVERIFY(!board.handle(request(0x7C)).has_value());
    QCOMPARE(board.counters().reboots, 2);
}

void TestBoardModel::unknownAndEmptyRequestsGetNoReply_data()
{
    QTest::addColumn<QByteArray>("req");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("00") << bytes({ 0x00 });
    QTest::newRow("55 with data") << bytes({ 0x55, 1, 2, 3 });
    QTest::newRow("B3, between the block opcodes") << bytes({ 0xB3, 0, 0, 0, 0 });
    QTest::newRow("C9") << bytes({ 0xC9 });
    QTest::newRow("A3") << bytes({ 0xA3 });
    QTest::newRow("FF") << bytes({ 0xFF });
}

void TestBoardModel::unknownAndEmptyRequestsGetNoReply()
{
    QFETCH(QByteArray, req);
    BoardModel board;
    const BoardConfiguration before = board.configuration();
    QVERIFY(!board.handle(req).has_value());
    QVERIFY(board.configuration() == before);
    QCOMPARE(board.counters().requests, 0);
    // And the board still answers afterwards.
    QCOMPARE(reply(board, request(0x7D)).toHex(), bytes({ 0xC9, 1, 0 }).toHex());
}

void TestBoardModel::calibrationsAreAcknowledgedAndCounted()
{
    BoardModel board;
    QCOMPARE(reply(board, request(0xAB)), ack);
    QCOMPARE(reply(board, request(0xAC)), ack);
    QCOMPARE(reply(board, request(0xAC)), ack);
    QCOMPARE(board.counters().zeroCalibrations, 1);
    QCOMPARE(board.counters().scaleCalibrations, 2);
}

void TestBoardModel::bothMethodsRebuildTheSameImage()
{
    // The image is described token by token, so the coded stream is written by
    // hand and does not depend on any encoder.
    QByteArray literal10;
    for (int i = 0; i < 10; ++i)
        literal10.append(char(i));
    const QByteArray literal243 = pattern(243, 7);
    const QByteArray literal5 = bytes({ 1, 1, 1, 2, 2 });
    QByteArray image = literal10 + QByteArray(300, char(0xAA)) + literal243 + QByteArray(4, '\0') + literal5
        + QByteArray(32768, char(0x55)) + QByteArray(1000, char(0x66));
    QCOMPARE(image.size(), 34330);

    const QList<QByteArray> packets = {
        le(quint32(image.size()), 4) + literalToken(literal10) + runToken(300, 0xAA),
        literalToken(literal243),
        runToken(4, 0) + literalToken(literal5),
        runToken(32768, 0x55),
        runToken(1000, 0x66),
    };
    BoardModel rle;
    for (int i = 0; i < packets.size(); ++i) {
        const int opcode = i == 0 ? 0xB4 : (i == packets.size() - 1 ? 0xB6 : 0xB5);
        QVERIFY(packets.at(i).size() <= 250);
        QCOMPARE(reply(rle, block(opcode, i, packets.at(i))).toHex(), ack.toHex());
    }
    QCOMPARE(reply(rle, request(0x67)).toHex(), ack.toHex());

    BoardModel legacy;
    const int count = (image.size() + 249) / 250;
    for (int i = 0; i < count; ++i) {
        const int opcode = i == 0 ? 0xB0 : (i == count - 1 ? 0xB2 : 0xB1);
        QCOMPARE(reply(legacy, block(opcode, i, image.mid(i * 250, 250))).toHex(), ack.toHex());
    }
    QCOMPARE(reply(legacy, request(0x67)).toHex(), ack.toHex());

    QCOMPARE(rle.flashedImage().size(), image.size());
    QVERIFY(rle.flashedImage() == image);
    QVERIFY(legacy.flashedImage() == image);
    QCOMPARE(rle.counters().flashes, 1);
    QCOMPARE(reply(rle, request(0x79)).toHex(), (ack + le(0, 4)).toHex());
}

void TestBoardModel::malformedBlocksAreRefused_data()
{
    QTest::addColumn<QByteArrayList>("requests");
    QTest::addColumn<int>("expectedCode");

    const QByteArray okRaw = block(0xB0, 0, pattern(250, 1));
    const QByteArray okCoded = block(0xB4, 0, le(100, 4) + runToken(50, 7));

    QTest::newRow("middle block without a first") << QByteArrayList { block(0xB1, 1, pattern(10, 1)) } << 0x10;
    QTest::newRow("last block without a first") << QByteArrayList { block(0xB6, 1, runToken(4, 1)) } << 0x10;
    QTest::newRow("first block numbered 1") << QByteArrayList { block(0xB0, 1, pattern(10, 1)) } << 0x11;
    QTest::newRow("block number skipped") << QByteArrayList { okRaw, block(0xB1, 2, pattern(250, 2)) } << 0x11;
    QTest::newRow("block number repeated with other data")
        << QByteArrayList { okRaw, block(0xB1, 1, pattern(250, 2)), block(0xB1, 1, pattern(250, 3)) } << 0x11;
    QTest::newRow("raw block in a coded transfer") << QByteArrayList { okCoded, block(0xB1, 1, pattern(5, 1)) } << 0x10;
    QTest::newRow("coded block in a raw transfer") << QByteArrayList { okRaw, block(0xB5, 1, runToken(4, 1)) } << 0x10;
    QTest::newRow("block after the transfer completed")
        << QByteArrayList { okRaw, block(0xB2, 1, pattern(3, 1)), block(0xB1, 2, pattern(3, 2)) } << 0x10;
    QTest::newRow("length field above the data")
        << QByteArrayList { request(0xB0, le(0, 2) + le(10, 2) + pattern(9, 1)) } << 0x12;
    QTest::newRow("length field below the data")
        << QByteArrayList { request(0xB0, le(0, 2) + le(8, 2) + pattern(9, 1)) } << 0x12;
    QTest::newRow("length 251") << QByteArrayList { block(0xB0, 0, pattern(251, 1)) } << 0x12;
    QTest::newRow("request shorter than its header") << QByteArrayList { bytes({ 0xB0, 0, 0, 0 }) } << 0x12;
    QTest::newRow("coded stream without its length") << QByteArrayList { block(0xB4, 0, bytes({ 1, 0, 0 })) } << 0x13;
    QTest::newRow("run of three") << QByteArrayList { block(0xB4, 0, le(3, 4) + runToken(3, 1)) } << 0x13;
    QTest::newRow("run of zero") << QByteArrayList { block(0xB4, 0, le(3, 4) + runToken(0, 1)) } << 0x13;
    QTest::newRow("run of 32769") << QByteArrayList { block(0xB4, 0, le(40000, 4) + runToken(32769, 1)) } << 0x13;
    QTest::newRow("literal of 0") << QByteArrayList { block(0xB4, 0, le(1, 4) + le(0, 3)) } << 0x13;
    QTest::newRow("literal of 244")
        << QByteArrayList { block(0xB4, 0, le(244, 4) + le(244, 3) + pattern(244, 1)).left(250 + 5) } << 0x12;
    QTest::newRow("literal of 244 in a short block")
        << QByteArrayList { block(0xB4, 0, le(244, 4) + le(244, 3) + pattern(100, 1)) } << 0x13;
    QTest::newRow("literal cut short") << QByteArrayList { block(0xB4, 0, le(5, 4) + le(5, 3) + pattern(4, 1)) } << 0x13;
    QTest::newRow("run value missing") << QByteArrayList { block(0xB4, 0, le(5, 4) + le(0x800005, 3)) } << 0x13;
    QTest::newRow("token header split across blocks")
        << QByteArrayList { block(0xB4, 0, le(8, 4) + runToken(4, 1) + bytes({ 4, 0 })) } << 0x13;
    QTest::newRow("stream longer than declared") << QByteArrayList { block(0xB4, 0, le(4, 4) + runToken(5, 1)) } << 0x13;
    QTest::newRow("stream shorter than declared at the last block")
        << QByteArrayList { okCoded, block(0xB6, 1, runToken(10, 1)) } << 0x13;
    QTest::newRow("one block expanding past 32768")
        << QByteArrayList { block(0xB4, 0, le(40000, 4) + runToken(32768, 1) + runToken(4, 2)) } << 0x13;
    QTest::newRow("empty middle block") << QByteArrayList { okCoded, block(0xB5, 1, QByteArray()) } << 0x13;
    QTest::newRow("declared image too large")
        << QByteArrayList { block(0xB4, 0, le(3 * 1024 * 1024, 4) + runToken(4, 1)) } << 0x14;
}

void TestBoardModel::malformedBlocksAreRefused()
{
    QFETCH(QByteArrayList, requests);
    QFETCH(int, expectedCode);

    BoardModel board;
    for (int i = 0; i < requests.size() - 1; ++i)
        QCOMPARE(reply(board, requests.at(i)).toHex(), ack.toHex());
    const QByteArray before = board.firmware().image();
    QCOMPARE(reply(board, requests.last()).toHex(), refusal(quint32(expectedCode)).toHex());
    QCOMPARE(board.errorCode(), expectedCode);
    // Nothing of a refused block reaches the image.
    QCOMPARE(board.firmware().image().toHex(), before.toHex());
}

void TestBoardModel::brokenStreamRefusesTheRestUntilANewFirstBlock()
{
    BoardModel board;
    QCOMPARE(reply(board, block(0xB4, 0, le(12, 4) + runToken(4, 1))), ack);
    QCOMPARE(reply(board, block(0xB5, 1, runToken(3, 2))).toHex(), refusal(0x13).toHex());
    QCOMPARE(reply(board, block(0xB5, 1, runToken(4, 2))).toHex(), refusal(0x04).toHex());
    QCOMPARE(reply(board, block(0xB6, 2, runToken(4, 3))).toHex(), refusal(0x04).toHex());
    QCOMPARE(reply(board, request(0x67)).toHex(), refusal(0x04).toHex());

    QCOMPARE(reply(board, block(0xB4, 0, le(8, 4) + runToken(4, 1))), ack);
    QCOMPARE(reply(board, block(0xB6, 1, runToken(4, 2))), ack);
    QCOMPARE(reply(board, request(0x67)), ack);
    QCOMPARE(board.flashedImage().toHex(), (QByteArray(4, char(1)) + QByteArray(4, char(2))).toHex());
}

void TestBoardModel::refusedBlockLeavesTheTransferUsable()
{
    BoardModel board;
    const QByteArray a = pattern(250, 1);
    const QByteArray b = pattern(250, 2);
    const QByteArray c = pattern(17, 3);
    QCOMPARE(reply(board, block(0xB0, 0, a)), ack);
    QCOMPARE(reply(board, block(0xB1, 5, b)).toHex(), refusal(0x11).toHex());
    QCOMPARE(reply(board, block(0xB1, 1, b)), ack);
    QCOMPARE(reply(board, block(0xB2, 2, c)), ack);
    QCOMPARE(reply(board, request(0x67)), ack);
    QVERIFY(board.flashedImage() == a + b + c);
}

void TestBoardModel::resentBlockIsAcknowledgedButAppliedOnce()
{
    BoardModel board;
    const QByteArray a = pattern(250, 1);
    const QByteArray b = pattern(250, 2);
    const QByteArray c = pattern(3, 3);
    QCOMPARE(reply(board, block(0xB0, 0, a)), ack);
    QCOMPARE(reply(board, block(0xB0, 0, a)), ack); // block 0 again starts over
    QCOMPARE(reply(board, block(0xB1, 1, b)), ack);
    QCOMPARE(reply(board, block(0xB1, 1, b)), ack);
    QCOMPARE(reply(board, block(0xB2, 2, c)), ack);
    QCOMPARE(reply(board, block(0xB2, 2, c)), ack);
    QCOMPARE(reply(board, request(0x67)), ack);
    QVERIFY(board.flashedImage() == a + b + c);

    BoardModel coded;
    const QByteArray first = block(0xB4, 0, le(12, 4) + runToken(4, 9));
    const QByteArray middle = block(0xB5, 1, runToken(4, 8));
    QCOMPARE(reply(coded, first), ack);
    QCOMPARE(reply(coded, middle), ack);
    QCOMPARE(reply(coded, middle), ack);
    QCOMPARE(reply(coded, block(0xB6, 2, runToken(4, 7))), ack);
    QCOMPARE(reply(coded, request(0x67)), ack);
    QCOMPARE(coded.flashedImage().toHex(),
             (QByteArray(4, char(9)) + QByteArray(4, char(8)) + QByteArray(4, char(7))).toHex());
}

void TestBoardModel::flashOutcomes_data()
{
    QTest::addColumn<QByteArrayList>("blocks");
    QTest::addColumn<int>("expectedCode"); // 0: success
    QTest::addColumn<QByteArray>("expectedImage");

    const QByteArray a = pattern(250, 1);
    QTest::newRow("nothing received") << QByteArrayList() << 0x01 << QByteArray();
    QTest::newRow("last raw block missing")
        << QByteArrayList { block(0xB0, 0, a), block(0xB1, 1, a) } << 0x02 << QByteArray();
    QTest::newRow("single raw block") << QByteArrayList { block(0xB0, 0, pattern(100, 2)) } << 0 << pattern(100, 2);
    QTest::newRow("single full raw block") << QByteArrayList { block(0xB0, 0, a) } << 0 << a;
    QTest::newRow("single coded block")
        << QByteArrayList { block(0xB4, 0, le(6, 4) + runToken(4, 3) + literalToken(bytes({ 1, 2 }))) } << 0
        << bytes({ 3, 3, 3, 3, 1, 2 });
    QTest::newRow("first coded block short of its length")
        << QByteArrayList { block(0xB4, 0, le(6, 4) + runToken(4, 3)) } << 0x02 << QByteArray();
    QTest::newRow("empty coded image") << QByteArrayList { block(0xB4, 0, le(0, 4)) } << 0x03 << QByteArray();
    QTest::newRow("empty raw block") << QByteArrayList { block(0xB0, 0, QByteArray()) } << 0x03 << QByteArray();
}

void TestBoardModel::flashOutcomes()
{
    QFETCH(QByteArrayList, blocks);
    QFETCH(int, expectedCode);
    QFETCH(QByteArray, expectedImage);

    BoardModel board;
    for (const QByteArray& b : blocks)
        QCOMPARE(reply(board, b).toHex(), ack.toHex());
    const QByteArray r = reply(board, request(0x67));
    if (expectedCode == 0) {
        QCOMPARE(r.toHex(), ack.toHex());
        QCOMPARE(board.flashedImage().toHex(), expectedImage.toHex());
        QCOMPARE(board.latestImage().toHex(), expectedImage.toHex());
    } else {
        QCOMPARE(r.toHex(), refusal(quint32(expectedCode)).toHex());
        QVERIFY(board.flashedImage().isEmpty());
        QCOMPARE(reply(board, request(0x79)).toHex(), (ack + le(quint32(expectedCode), 4)).toHex());
    }
}

void TestBoardModel::flashRefusalKnobReportsItsCode()
{
    BoardModel board;
    QCOMPARE(reply(board, block(0xB0, 0, pattern(10, 1))), ack);
    board.setFlashRefusal(0xDEADBEEF);
    QCOMPARE(reply(board, request(0x67)).toHex(), refusal(0xDEADBEEF).toHex());
    QCOMPARE(reply(board, request(0x79)).toHex(), (ack + le(0xDEADBEEF, 4)).toHex());
    QVERIFY(board.flashedImage().isEmpty());
    // The image is still held: once the knob is off the same flash works.
    board.setFlashRefusal(0);
    QCOMPARE(reply(board, request(0x67)), ack);
    QCOMPARE(board.flashedImage().toHex(), pattern(10, 1).toHex());
    QCOMPARE(board.errorCode(), 0);
}

void TestBoardModel::modeSwitchDropsAHalfTransferredImage()
{
    BoardModel board;
    QCOMPARE(reply(board, block(0xB0, 0, pattern(250, 1))), ack);
    QCOMPARE(reply(board, request(0x7A)), ack);
    QCOMPARE(reply(board, block(0xB1, 1, pattern(250, 2))).toHex(), refusal(0x10).toHex());
    QCOMPARE(reply(board, request(0x67)).toHex(), refusal(0x01).toHex());
}

void TestBoardModel::randomRequestsKeepTheBoardConsistent()
{
    const int codes[] = { 0x64, 0x67, 0x71, 0x72, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x7D, 0x9D, 0x9E, 0xA0, 0xA1, 0xA2,
                          0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xB0, 0xB1, 0xB2, 0xB4, 0xB5, 0xB6 };
    QRandomGenerator rng(1234);
    BoardModel board;
    for (int i = 0; i < 20000; ++i) {
        const int code = rng.bounded(5) == 0 ? int(rng.bounded(256)) : codes[rng.bounded(int(std::size(codes)))];
        QByteArray req(1, char(code));
        const int length = int(rng.bounded(0, 260));
        for (int k = 0; k < length; ++k)
            req.append(char(rng.bounded(256)));
        if (FirmwareReceiver::isBlockOpcode(quint8(code)) && rng.bounded(2) == 0 && req.size() >= 5) {
            // Often a well-formed header, so the receiver goes past its first checks.
            const int n = std::min(req.size() - 5, 250);
            req.truncate(5 + n);
            req[1] = char(rng.bounded(3));
            req[2] = 0;
            req[3] = char(n & 0xFF);
            req[4] = char(n >> 8);
        }
        const std::optional<QByteArray> r = board.handle(req);
        if (!r)
            continue;
        QVERIFY(!r->isEmpty());
        const quint8 lead = quint8(r->at(0));
        QVERIFY2(lead == 0xC9 || lead == 0xC8 || lead == quint8(code), qPrintable(req.left(8).toHex()));
        if (lead == 0xC8)
            QCOMPARE(r->size(), 5);
    }
    const BoardConfiguration& c = board.configuration();
    QCOMPARE(c.diTable.size(), 128);
    QCOMPARE(c.diDebounce.size(), 128);
    QCOMPARE(c.diInputModes.size(), 128);
    QCOMPARE(c.doTable.size(), 144);
    QCOMPARE(c.ports.size(), 56);
    QCOMPARE(c.protocol.size(), 48);
    QCOMPARE(reply(board, request(0x7D)).toHex(), bytes({ 0xC9, 1, 0 }).toHex());
}

QTEST_GUILESS_MAIN(TestBoardModel)
#include "tst_boardmodel.moc"
