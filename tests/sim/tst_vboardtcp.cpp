// The virtual board as a separate process, reached over loopback TCP through
// the program's own transport: replies, layouts, clients one after another,
// every fault knob, the state file, firmware images by both methods and
// clients that vanish mid-transfer.

#include "boardstate.h"
#include "configcommands.h"
#include "connectorip.h"
#include "firmwareflash.h"
#include "firmwareplan.h"
#include "firmwaretransfer.h"
#include "framecodec.h"
#include "virtualboardprocess.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

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

QByteArray block(int opcode, int number, const QByteArray& data)
{
    return request(opcode, le(quint32(number), 2) + le(quint32(data.size()), 2) + data);
}

QByteArray pattern(int size, int seed)
{
    QByteArray out;
    for (int i = 0; i < size; ++i)
        out.append(char((i * 29 + seed * 13 + 1) & 0xFF));
    return out;
}

const QByteArray ack(1, char(0xC9));

std::unique_ptr<ConnectorIP> connectTo(const VirtualBoardProcess& board, unsigned char address = 0)
{
    auto link = std::make_unique<ConnectorIP>(board.host(), int(board.port()));
    link->setDevID(address);
    return link;
}

// One exchange as the program makes it; "<write failed>" when the write fails.
QByteArray exchange(Connector& link, const QByteArray& req, int timeoutMs = 2000)
{
    if (link.write(req) < 0)
        return QByteArray("<write failed>");
    const int saved = link.getTimeout();
    link.setTimeout(timeoutMs);
    const QByteArray reply = link.read();
    link.setTimeout(saved);
    return reply;
}

QByteArray firmwareLikeImage(int size)
{
    QRandomGenerator rng(77);
    QByteArray image;
    while (image.size() < size) {
        image.append(int(rng.bounded(0, 600)), char(0xFF));
        for (int k = rng.bounded(1, 300); k > 0; --k)
            image.append(char(rng.bounded(256)));
    }
    image.truncate(size);
    return image;
}

} // namespace

class TestVirtualBoardTcp : public QObject
{
    Q_OBJECT

private slots:
    void identityFromTheCommandLine();
    void blockLayouts_data();
    void blockLayouts();
    void answersOnlyItsOwnAddress();
    void severalBoardsEachAnswerForThemselves_data();
    void severalBoardsEachAnswerForThemselves();
    void severalBoardsKeepTheirOwnStateAcrossARestart();
    void clientsOneAfterAnotherShareTheBoard();
    void modeSwitchIsReportedToTheNextClient();
    void silentKnobSkipsRequests();
    void corruptCrcKnobFailsOneRead();
    void junkAndForeignFramesAreSkippedByTheTransport();
    void splitKnobWithinAndBeyondTheReadersGap();
    void delayKnobAgainstTheTimeOut();
    void lineRateKnobSlowsTheReply();
    void dropAfterKnobCutsTheConnection();
    void rebootSilentAndFlashRefusal();
    void faultOptionsAtStartActLikeCommands();
    void runTimeCommandsAnswerOneLine_data();
    void runTimeCommandsAnswerOneLine();
    void programConfigurationRoundTrip_data();
    void programConfigurationRoundTrip();
    void firmwareByBothMethodsComesBackByteIdentical();
    void clientVanishingMidTransfer();
    void garbageNeverWedgesTheBoard();
    void stateFileSurvivesARestart();
    void malformedStateFileIsRefusedAndKept();
    void optionsAreCheckedBeforeServing_data();
    void optionsAreCheckedBeforeServing();
};

void TestVirtualBoardTcp::identityFromTheCommandLine()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--board-type", "4", "--firmware", "0.0.6", "--bootloader", "0.0.7", "--mode", "boot" }),
             qPrintable(board.errorString()));
    auto link = connectTo(board);
    QVERIFY(link->isConnected());
    QCOMPARE(exchange(*link, request(0x78)).toHex(), QByteArray("\xC9\x05" "0.0.6").toHex());
    QCOMPARE(exchange(*link, request(0x64)).toHex(), QByteArray("\xC9\x01\x05" "0.0.7").toHex());
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90400").toHex());
    QCOMPARE(exchange(*link, request(0x79)).toHex(), QByteArray::fromHex("c900000000").toHex());
}

void TestVirtualBoardTcp::blockLayouts_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("length");
    QTest::newRow("A0 current") << QStringList() << 0xA0 << 129;
    QTest::newRow("A0 old") << QStringList { "--old-layout" } << 0xA0 << 65;
    QTest::newRow("A4 old") << QStringList { "--old-layout" } << 0xA4 << 109;
    QTest::newRow("A7 type 4") << QStringList { "--board-type", "4" } << 0xA7 << 129;
    QTest::newRow("AA type 4 old") << QStringList { "--board-type", "4", "--old-layout" } << 0xAA << 97;
    QTest::newRow("AA type 3") << QStringList { "--board-type", "3" } << 0xAA << 1;
}

void TestVirtualBoardTcp::blockLayouts()
{
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(int, length);
    VirtualBoardProcess board;
    QVERIFY2(board.start(args), qPrintable(board.errorString()));
    auto link = connectTo(board);
    const QByteArray reply = exchange(*link, request(code));
    QCOMPARE(reply.size(), length);
    QCOMPARE(quint8(reply.at(0)), quint8(code));
}

void TestVirtualBoardTcp::answersOnlyItsOwnAddress()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--address", "7" }), qPrintable(board.errorString()));
    auto other = connectTo(board, 0);
    QVERIFY(exchange(*other, request(0x7D), 400).isEmpty());
    auto mine = connectTo(board, 7);
    QCOMPARE(exchange(*mine, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());
    QCOMPARE(board.state().value("counters").toObject().value("requests").toInt(), 1);
}

void TestVirtualBoardTcp::severalBoardsEachAnswerForThemselves_data()
{
    QTest::addColumn<int>("address");
    QTest::addColumn<QByteArray>("version"); // 0x78 reply, empty for silence
    QTest::addColumn<QByteArray>("status");  // 0x64 reply
    QTest::addColumn<QByteArray>("type");    // 0x7D reply
    const QStringList args { "--boards", "1,5,17", "--firmware", "0.0.7", "--board", "5:type=2,firmware=0.0.5,mode=boot",
                             "--board", "40:type=4,bootloader=2.0.1" };
    QTest::newRow("1: the defaults") << 1 << QByteArray("\xC9\x05" "0.0.7") << QByteArray::fromHex("c90005") + "1.1.0"
                                     << QByteArray::fromHex("c90100");
    QTest::newRow("5: set one by one") << 5 << QByteArray("\xC9\x05" "0.0.5") << QByteArray("\xC9\x01\x05" "1.1.0")
                                       << QByteArray::fromHex("c90200");
    QTest::newRow("40: added by --board") << 40 << QByteArray("\xC9\x05" "0.0.7")
                                          << QByteArray::fromHex("c90005") + "2.0.1" << QByteArray::fromHex("c90400");
    QTest::newRow("2: nobody there") << 2 << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("0: nobody there") << 0 << QByteArray() << QByteArray() << QByteArray();
}

void TestVirtualBoardTcp::severalBoardsEachAnswerForThemselves()
{
    QFETCH(int, address);
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, status);
    QFETCH(QByteArray, type);
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "1,5,17", "--firmware", "0.0.7", "--board", "5:type=2,firmware=0.0.5,mode=boot",
                           "--board", "40:type=4,bootloader=2.0.1" }),
             qPrintable(board.errorString()));
    auto link = connectTo(board, quint8(address));
    const int wait = version.isEmpty() ? 300 : 2000;
    QCOMPARE(exchange(*link, request(0x78), wait).toHex(), version.toHex());
    QCOMPARE(exchange(*link, request(0x64), wait).toHex(), status.toHex());
    QCOMPARE(exchange(*link, request(0x7D), wait).toHex(), type.toHex());

    // Only the addressed board counted the requests.
    const QJsonArray boards = board.state().value("boards").toArray();
    QCOMPARE(boards.size(), 4);
    for (const QJsonValue& one : boards) {
        const int requests = one.toObject().value("counters").toObject().value("requests").toInt();
        QCOMPARE(requests, one.toObject().value("address").toInt() == address ? 3 : 0);
    }
    // Operator commands reach one board by its address.
    QVERIFY(board.command("@17 mode boot").startsWith("OK"));
    QCOMPARE(board.command("@17 state").contains("\"mode\":1"), true);
    QVERIFY(board.command("@3 state").startsWith("ERROR"));
}

void TestVirtualBoardTcp::severalBoardsKeepTheirOwnStateAcrossARestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("line.json");
    const QStringList args { "--boards", "3,4", "--state", path };
    {
        VirtualBoardProcess board;
        QVERIFY2(board.start(args), qPrintable(board.errorString()));
        QCOMPARE(exchange(*connectTo(board, 3), request(0x72, pattern(56, 3))), ack);
        QCOMPARE(exchange(*connectTo(board, 4), request(0x72, pattern(56, 4))), ack);
    }
    VirtualBoardProcess board;
    QVERIFY2(board.start(args), qPrintable(board.errorString()));
    QCOMPARE(exchange(*connectTo(board, 3), request(0x71)).toHex(), request(0x71, pattern(56, 3)).toHex());
    QCOMPARE(exchange(*connectTo(board, 4), request(0x71)).toHex(), request(0x71, pattern(56, 4)).toHex());
}

void TestVirtualBoardTcp::clientsOneAfterAnotherShareTheBoard()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QByteArray ports = pattern(56, 1);
    {
        auto first = connectTo(board);
        QCOMPARE(exchange(*first, request(0x72, ports)), ack);
    }
    {
        auto second = connectTo(board);
        QCOMPARE(exchange(*second, request(0x71)).toHex(), request(0x71, ports).toHex());
        // A third client at the same time gets its own answers.
        auto third = connectTo(board);
        QCOMPARE(exchange(*third, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());
        QCOMPARE(exchange(*second, request(0x78)).left(1), ack);
    }
}

void TestVirtualBoardTcp::modeSwitchIsReportedToTheNextClient()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    {
        auto link = connectTo(board);
        QCOMPARE(quint8(exchange(*link, request(0x64)).at(1)), quint8(0));
        QCOMPARE(exchange(*link, request(0x7A)), ack);
    }
    auto again = connectTo(board);
    QCOMPARE(quint8(exchange(*again, request(0x64)).at(1)), quint8(1));
    QCOMPARE(exchange(*again, request(0x7B)), ack);
    QCOMPARE(quint8(exchange(*again, request(0x64)).at(1)), quint8(0));
}

void TestVirtualBoardTcp::silentKnobSkipsRequests()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(board.command("silent 2"), QStringLiteral("OK silent 2"));
    QVERIFY(exchange(*link, request(0x72, pattern(56, 3)), 400).isEmpty());
    QVERIFY(exchange(*link, request(0x7D), 400).isEmpty());
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());
    // The ignored write was not carried out.
    QVERIFY(exchange(*link, request(0x71)).mid(1) != pattern(56, 3));
}

void TestVirtualBoardTcp::corruptCrcKnobFailsOneRead()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(board.command("corrupt-crc 1"), QStringLiteral("OK corrupt-crc 1"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(exchange(*link, request(0x78), 5000).isEmpty());
    // A bad checksum ends the read at once rather than at the time-out.
    QVERIFY(clock.elapsed() < 4000);
    QCOMPARE(exchange(*link, request(0x78)).left(2).toHex(), QByteArray("\xC9\x05").toHex());
}

void TestVirtualBoardTcp::junkAndForeignFramesAreSkippedByTheTransport()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(board.command("junk 1"), QStringLiteral("OK junk 1"));
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());
    QCOMPARE(board.command("foreign 1"), QStringLiteral("OK foreign 1"));
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());

    // The bytes on the wire really carry the junk and the foreign frame.
    QTcpSocket raw;
    raw.connectToHost(board.host(), board.port());
    QVERIFY(raw.waitForConnected(3000));
    QCOMPARE(board.command("junk 1"), QStringLiteral("OK junk 1"));
    QCOMPARE(board.command("foreign 1"), QStringLiteral("OK foreign 1"));
    raw.write(FrameCodec::pack(0, request(0x7D)));
    QByteArray wire;
    const QByteArray mine = FrameCodec::pack(0, QByteArray::fromHex("c90100"));
    QElapsedTimer clock;
    clock.start();
    while (!wire.endsWith(mine) && clock.elapsed() < 3000 && raw.waitForReadyRead(3000))
        wire += raw.readAll();
    QVERIFY(wire.endsWith(mine));
    QVERIFY(wire.startsWith(QByteArray::fromHex("0011fe4522ff5433fe")));
    QByteArray rest = wire;
    QCOMPARE(FrameCodec::unpack(rest, 0).status, int32_t(UnpackForeignAddress));
}

void TestVirtualBoardTcp::splitKnobWithinAndBeyondTheReadersGap()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    {
        auto link = connectTo(board);
        QCOMPARE(board.command("split 4 10"), QStringLiteral("OK split 4 10"));
        const QByteArray reply = exchange(*link, request(0xA0));
        QCOMPARE(reply.size(), 129);
    }
    // Pauses longer than the transport's 50 ms gap cut the reply short.
    QCOMPARE(board.command("split 3 400"), QStringLiteral("OK split 3 400"));
    auto link = connectTo(board);
    QVERIFY(exchange(*link, request(0xA0), 3000).isEmpty());
}

void TestVirtualBoardTcp::delayKnobAgainstTheTimeOut()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--delay", "1500" }), qPrintable(board.errorString()));
    {
        auto link = connectTo(board);
        QVERIFY(exchange(*link, request(0x7D), 700).isEmpty());
    }
    auto link = connectTo(board);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(exchange(*link, request(0x7D), 5000).toHex(), QByteArray::fromHex("c90100").toHex());
    QVERIFY(clock.elapsed() >= 1400);
}

void TestVirtualBoardTcp::lineRateKnobSlowsTheReply()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(board.command("baud 9600"), QStringLiteral("OK baud 9600"));
    // 12 request bytes and a 156-byte reply frame take 175 ms at 9600 baud.
    QElapsedTimer clock;
    clock.start();
    const QByteArray reply = exchange(*link, request(0xA4), 5000);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(reply.size(), 145);
    QVERIFY2(elapsed >= 140, qPrintable(QString::number(elapsed)));
    qInfo("A4 at 9600 baud took %lld ms (line time 175 ms)", elapsed);
}

void TestVirtualBoardTcp::dropAfterKnobCutsTheConnection()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(board.command("drop-after 9"), QStringLiteral("OK drop-after 9"));
    QVERIFY(exchange(*link, request(0x78), 2000).isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!link->isConnected(), 3000);
    QCOMPARE(link->write(request(0x78)), -1);
    QCOMPARE(board.state().value("faults").toObject().value("dropAfter").toInt(), -1);
    auto next = connectTo(board);
    QCOMPARE(exchange(*next, request(0x78)).left(1), ack);
}

void TestVirtualBoardTcp::rebootSilentAndFlashRefusal()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(exchange(*link, request(0x7C)), ack);
    QCOMPARE(board.command("reboot-silent 1"), QStringLiteral("OK reboot-silent 1"));
    QVERIFY(exchange(*link, request(0x7C), 500).isEmpty());
    QCOMPARE(board.state().value("counters").toObject().value("reboots").toInt(), 2);

    QCOMPARE(exchange(*link, block(0xB0, 0, pattern(40, 1))), ack);
    QCOMPARE(board.command("flash-refuse 5"), QStringLiteral("OK flash-refuse 5"));
    QCOMPARE(exchange(*link, request(0x67)).toHex(), QByteArray::fromHex("c805000000").toHex());
    QCOMPARE(exchange(*link, request(0x79)).toHex(), QByteArray::fromHex("c905000000").toHex());
    QCOMPARE(board.command("faults off"), QStringLiteral("OK faults off"));
    QCOMPARE(exchange(*link, request(0x67)), ack);
    QCOMPARE(exchange(*link, request(0x7C)), ack);
}

void TestVirtualBoardTcp::faultOptionsAtStartActLikeCommands()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--silent", "1", "--split", "2,5", "--flash-refuse", "9", "--reboot-silent" }),
             qPrintable(board.errorString()));
    const QJsonObject faults = board.state().value("faults").toObject();
    QCOMPARE(faults.value("silent").toInt(), 1);
    QCOMPARE(faults.value("splitPieces").toInt(), 2);
    QCOMPARE(faults.value("splitPauseMs").toInt(), 5);
    auto link = connectTo(board);
    QVERIFY(exchange(*link, request(0x67), 400).isEmpty());
    QCOMPARE(exchange(*link, request(0x67)).toHex(), QByteArray::fromHex("c809000000").toHex());
    QVERIFY(exchange(*link, request(0x7C), 400).isEmpty());

    VirtualBoardProcess wrong;
    QVERIFY(!wrong.start({ "--split", "x" }));
    QVERIFY(wrong.errorString().contains("split"));
}

void TestVirtualBoardTcp::runTimeCommandsAnswerOneLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("answerStart");
    QTest::newRow("help") << "help" << "OK commands:";
    QTest::newRow("unknown") << "explode 3" << "ERROR unknown command";
    QTest::newRow("image before any transfer") << "image /tmp/never-written" << "ERROR no complete image";
    QTest::newRow("mode boot") << "mode boot" << "OK mode boot";
    QTest::newRow("mode sideways") << "mode sideways" << "ERROR usage";
    QTest::newRow("error-code 0x10") << "error-code 0x10" << "OK error-code 16";
    QTest::newRow("flash-refuse x") << "flash-refuse x" << "ERROR usage";
    QTest::newRow("state") << "state" << "{";
}

void TestVirtualBoardTcp::runTimeCommandsAnswerOneLine()
{
    QFETCH(QString, line);
    QFETCH(QString, answerStart);
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QString answer = board.command(line);
    QVERIFY2(answer.startsWith(answerStart), qPrintable(answer));
    // The next command gets its own answer, not a leftover line.
    QCOMPARE(board.command("split 1"), QStringLiteral("OK split 1 0"));
    QVERIFY(!QFile::exists("/tmp/never-written"));
}

void TestVirtualBoardTcp::programConfigurationRoundTrip_data()
{
    QTest::addColumn<int>("boardType");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("oldLayout");
    QTest::newRow("type 1, current") << 1 << "1.2.0" << false;
    QTest::newRow("type 2, current") << 2 << "0.0.6" << false;
    QTest::newRow("type 3") << 3 << "1.2.0" << false;
    QTest::newRow("type 4") << 4 << "1.2.0" << false;
    QTest::newRow("type 1, old layout, firmware 0.0.4") << 1 << "0.0.4" << true;
    QTest::newRow("type 4, old layout") << 4 << "0.0.6" << true;
}

void TestVirtualBoardTcp::programConfigurationRoundTrip()
{
    QFETCH(int, boardType);
    QFETCH(QString, firmware);
    QFETCH(bool, oldLayout);

    QStringList args { "--board-type", QString::number(boardType), "--firmware", firmware, "--quiet" };
    if (oldLayout)
        args << "--old-layout";
    VirtualBoardProcess board;
    QVERIFY2(board.start(args), qPrintable(board.errorString()));
    auto link = connectTo(board);

    BoardState state;
    state.modeKnown = true;
    state.mode = 0;
    state.firmwareVersionKnown = true;
    state.firmwareVersion = firmware;
    state.boardTypeKnown = true;
    state.boardType = quint16(boardType);
    const ConfigCommands commands(link.get(), state);

    DiDoConfig config;
    QVERIFY(commands.readDiDoConfig(config));
    // Change what this board and firmware can keep.
    for (int ch = 0; ch < state.diChannelCount(); ++ch) {
        // The old DI table holds 16 entries whatever the board.
        if (!oldLayout || ch < 16) {
            config.diEntries[ch].setObjectAddress(quint32(1000 + ch * 77));
            config.diEntries[ch].enabled = quint8(ch % 3 == 0 ? 0 : 1);
        }
        if (state.diDebounceSupported())
            config.diDebounceMs[ch] = 5 + ch;
        if (state.diExtendedSupported()) {
            config.diDpPair[ch] = quint8(ch % 4 == 0);
            config.diInputType[ch] = quint8(ch % 2);
            config.diNominal[ch] = oldLayout ? 0 : quint8(ch % 5 == 0);
        }
    }
    for (int ch = 0; ch < state.doChannelCount(); ++ch) {
        config.doEntries[ch].setObjectAddress(quint32(50000 + ch));
        config.doEntries[ch].mode = quint8(ch % 3);
        config.doEntries[ch].holdMs = quint32(250 * ch);
        if (state.doDpSupported())
            config.doEntries[ch].dp = quint8(ch % 2);
    }
    QVERIFY(commands.writeDiDoConfig(config));

    DiDoConfig back;
    QVERIFY(commands.readDiDoConfig(back));
    QVERIFY(std::memcmp(&config, &back, sizeof config) == 0);

    Rs485Ports ports;
    Iec101Ports protocols;
    QVERIFY(commands.readRs485Params(ports, protocols).protocols);
    ports[0].baudRate = 57600;
    ports[1].modbusAddress = 17;
    protocols[0].linkAddress = 321;
    QVERIFY(commands.writeRs485Params(ports, protocols));
    Rs485Ports portsBack;
    Iec101Ports protocolsBack;
    QVERIFY(commands.readRs485Params(portsBack, protocolsBack).protocols);
    QVERIFY(std::memcmp(&ports, &portsBack, sizeof ports) == 0);
    QVERIFY(std::memcmp(&protocols, &protocolsBack, sizeof protocols) == 0);
}

void TestVirtualBoardTcp::firmwareByBothMethodsComesBackByteIdentical()
{
    const QByteArray image = firmwareLikeImage(40000);
    const QByteArray sha1 = QCryptographicHash::hash(image, QCryptographicHash::Sha1).toHex();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    for (const FirmwareMethod method : { FirmwareMethod::Legacy, FirmwareMethod::Rle }) {
        VirtualBoardProcess board;
        QVERIFY2(board.start({ "--mode", "boot", "--quiet" }), qPrintable(board.errorString()));
        QSharedPointer<Connector> link(connectTo(board).release());
        const FirmwarePlan plan = planFirmwareTransfer(image, method);
        QVERIFY(plan.ok());
        FirmwareTransfer transfer(link);
        const FirmwareTransfer::Result sent = transfer.run(plan);
        QVERIFY2(sent.ok(), qPrintable(QStringLiteral("block %1").arg(sent.failedBlock)));
        QCOMPARE(sent.blocksAcknowledged, plan.blocks.size());

        const FirmwareFlash::Result flashed = FirmwareFlash(link).run();
        QVERIFY(flashed.ok);

        const QString file = dir.filePath(firmwareMethodName(method) + ".bin");
        QCOMPARE(board.command("image " + file), QStringLiteral("OK image %1 bytes").arg(image.size()));
        QFile written(file);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll() == image);
        const QJsonObject state = board.state();
        QCOMPARE(state.value("flashedSha1").toString(), QString::fromLatin1(sha1));
        QCOMPARE(state.value("transfer").toObject().value("method").toString(), firmwareMethodName(method));
        if (method == FirmwareMethod::Rle)
            QVERIFY(plan.blocks.size() < (image.size() + 249) / 250);
    }
}

void TestVirtualBoardTcp::clientVanishingMidTransfer()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    const QByteArray a = pattern(250, 1);
    const QByteArray b = pattern(250, 2);
    const QByteArray c = pattern(99, 3);
    {
        auto link = connectTo(board);
        QCOMPARE(exchange(*link, block(0xB0, 0, a)), ack);
        QCOMPARE(exchange(*link, block(0xB1, 1, b)), ack);
    }
    {
        // Half a frame, then gone.
        QTcpSocket raw;
        raw.connectToHost(board.host(), board.port());
        QVERIFY(raw.waitForConnected(3000));
        raw.write(FrameCodec::pack(0, block(0xB2, 2, c)).left(40));
        QVERIFY(raw.waitForBytesWritten(3000));
        raw.abort();
    }
    auto link = connectTo(board);
    QCOMPARE(exchange(*link, request(0x7D)).toHex(), QByteArray::fromHex("c90100").toHex());
    const QJsonObject transfer = board.state().value("transfer").toObject();
    QCOMPARE(transfer.value("phase").toString(), QStringLiteral("receiving"));
    QCOMPARE(transfer.value("blocks").toInt(), 2);
    // The half frame did not count; the next client finishes the transfer.
    QCOMPARE(exchange(*link, request(0x67)).toHex(), QByteArray::fromHex("c802000000").toHex());
    QCOMPARE(exchange(*link, block(0xB2, 2, c)), ack);
    QCOMPARE(exchange(*link, request(0x67)), ack);
    QCOMPARE(board.state().value("flashedBytes").toInt(), 599);

    // A client that drops in the middle of a reply leaves the board serving.
    QCOMPARE(board.command("delay 300"), QStringLiteral("OK delay 300"));
    {
        QTcpSocket raw;
        raw.connectToHost(board.host(), board.port());
        QVERIFY(raw.waitForConnected(3000));
        raw.write(FrameCodec::pack(0, request(0xA0)));
        QVERIFY(raw.waitForBytesWritten(3000));
        raw.abort();
    }
    QTest::qWait(500);
    QCOMPARE(board.command("delay 0"), QStringLiteral("OK delay 0"));
    auto last = connectTo(board);
    QCOMPARE(exchange(*last, request(0xA0)).size(), 129);
}

void TestVirtualBoardTcp::garbageNeverWedgesTheBoard()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QTcpSocket raw;
    raw.connectToHost(board.host(), board.port());
    QVERIFY(raw.waitForConnected(3000));

    QRandomGenerator rng(5);
    QByteArray noise(20000, '\0');
    for (char& ch : noise)
        ch = char(rng.bounded(256));
    raw.write(noise);
    QByteArray badCrc = FrameCodec::pack(0, request(0x7D));
    badCrc[8] = char(badCrc.at(8) ^ 0x55);
    raw.write(badCrc);
    // A start mark with a length byte that promises more than ever comes.
    raw.write(QByteArray::fromHex("fe45ff540000ff0102030405"));
    raw.write(FrameCodec::pack(0, QByteArray()));        // empty payload
    raw.write(FrameCodec::pack(0, request(0x55, "xyz"))); // unknown command
    raw.write(FrameCodec::pack(0, request(0x72, "short")));
    QVERIFY(raw.waitForBytesWritten(3000));
    QTest::qWait(300); // longer than the board waits for a broken frame

    raw.readAll();
    raw.write(FrameCodec::pack(0, request(0x7D)));
    QByteArray wire;
    QElapsedTimer clock;
    clock.start();
    const QByteArray expected = FrameCodec::pack(0, QByteArray::fromHex("c90100"));
    while (!wire.contains(expected) && clock.elapsed() < 5000 && raw.waitForReadyRead(5000))
        wire += raw.readAll();
    QVERIFY2(wire.contains(expected), wire.toHex(' ').constData());
    QVERIFY(board.isRunning());
}

void TestVirtualBoardTcp::stateFileSurvivesARestart()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("board.json");
    const QByteArray ports = pattern(56, 8);
    const QByteArray di = pattern(64, 9);
    {
        VirtualBoardProcess board;
        QVERIFY2(board.start({ "--state", path }), qPrintable(board.errorString()));
        auto link = connectTo(board);
        QCOMPARE(exchange(*link, request(0x72, ports)), ack);
        QCOMPARE(exchange(*link, request(0xA2, di)), ack);
    }
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--state", path }), qPrintable(board.errorString()));
    auto link = connectTo(board);
    QCOMPARE(exchange(*link, request(0x71)).mid(1).toHex(), ports.toHex());
    QCOMPARE(exchange(*link, request(0xA0)).mid(1, 64).toHex(), di.toHex());

    // Without the file the board starts from its defaults.
    VirtualBoardProcess fresh;
    QVERIFY2(fresh.start(), qPrintable(fresh.errorString()));
    auto other = connectTo(fresh);
    QVERIFY(exchange(*other, request(0x71)).mid(1) != ports);
}

void TestVirtualBoardTcp::malformedStateFileIsRefusedAndKept()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("board.json");
    const QByteArray content = "{\"configuration\": {\"ports\": \"00\"}}";
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    VirtualBoardProcess board;
    QVERIFY(!board.start({ "--state", path }));
    QVERIFY2(board.errorString().contains("board.json"), qPrintable(board.errorString()));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestVirtualBoardTcp::optionsAreCheckedBeforeServing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("refusal"); // empty: accepted, with four boards

    QTest::newRow("ranges as quorvel-cli takes them") << QStringList { "--boards", "1-3,7" } << QString();
    QTest::newRow("an empty address") << QStringList { "--boards", "1,,2" } << "not \"\"";
    QTest::newRow("--board without settings") << QStringList { "--board", "5" } << "--board 5 names no settings";
    QTest::newRow("state from a device") << QStringList { "--state", "/dev/zero" } << "not a regular file";
    QTest::newRow("state where no file can be") << QStringList { "--state", "/dev/null/b.json" } << "cannot write";
}

void TestVirtualBoardTcp::optionsAreCheckedBeforeServing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, refusal);
    QProcess process;
    process.start(VirtualBoardProcess::programPath(), arguments + QStringList { "--tcp", "127.0.0.1:0", "--quiet" });
    process.write("state\nquit\n");
    QVERIFY(process.waitForFinished(10000));
    const QString out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    QVERIFY2(out.contains(refusal.isEmpty() ? QStringLiteral("READY") : refusal), qPrintable(out));
    QCOMPARE(process.exitCode() != 0, !refusal.isEmpty());
    if (refusal.isEmpty())
        QCOMPARE(out.count("\"address\":"), 1 + 4);
    else
        QVERIFY(!out.contains("READY"));
}

QTEST_GUILESS_MAIN(TestVirtualBoardTcp)
#include "tst_vboardtcp.moc"
