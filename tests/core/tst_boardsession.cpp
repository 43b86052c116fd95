// The board session and the firmware job against the scripted connector and
// the virtual board: the readout's texts as the window's labels show them,
// writes read back and compared (what a board normalises is no difference),
// one log line per operation where it is carried out, and an update that
// proves by the version that the image took.

#include "boardsession.h"
#include "connectorip.h"
#include "firmwarejob.h"
#include "operationslog.h"
#include "scriptedconnector.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using Field = BoardReadout::Field;
using Failure = BoardSession::WriteResult::Failure;

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(FirmwareJob::UpdateResult::Failure)

class TestBoardSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readoutShowsTheWindowsTexts_data();
    void readoutShowsTheWindowsTexts();
    void connectReadoutFollowsTheWindowsOrder();
    void writesAreReadBackAndCompared_data();
    void writesAreReadBackAndCompared();
    void eachOperationLogsItsLine_data();
    void eachOperationLogsItsLine();
    void updateProvesItTookByTheVersion_data();
    void updateProvesItTookByTheVersion();
};

namespace {

// A type 1 board on firmware 0.0.6 whose configuration reads give back what
// the writes stored, but for one byte of one read reply that `patch` sets.
struct MemoryBoard
{
    QMap<quint8, QByteArray> stored; // read code -> block
    quint8 patchedRead = 0;
    int patchAt = 0;
    char patchValue = 0;
    bool doubleFirstAck = false; // the first write is acknowledged twice

    ScriptedConnector::Responder responder()
    {
        return [this](const QByteArray& request) {
            static const QMap<quint8, quint8> readOf = { { 0xA2, 0xA0 }, { 0xA8, 0xA7 }, { 0xA9, 0xAA },
                                                         { 0xA6, 0xA4 }, { 0x72, 0x71 }, { 0x9E, 0x9D } };
            const quint8 code = quint8(request.at(0));
            switch (code) {
            case 0x78: return ScriptedConnector::reply(QByteArray::fromHex("c905") + "0.0.6");
            case 0x64: return ScriptedConnector::reply(QByteArray::fromHex("c90005") + "0.0.7");
            case 0x7D: return ScriptedConnector::replyHex("c9 01 00");
            case 0x79: return ScriptedConnector::replyHex("c9 00 00 00 00");
            default: break;
            }
            if (readOf.contains(code))
                stored.insert(readOf.value(code), request.mid(1));
            if (!readOf.values().contains(code)) {
                if (doubleFirstAck && readOf.contains(code)) {
                    doubleFirstAck = false;
                    return ScriptedConnector::reads({ QByteArray::fromHex("c9"), QByteArray::fromHex("c9") });
                }
                return ScriptedConnector::replyHex("c9");
            }
            QByteArray reply = QByteArray(1, char(code)) + stored.value(code);
            if (code == patchedRead && patchAt < reply.size())
                reply[patchAt] = patchValue;
            return ScriptedConnector::reply(reply);
        };
    }
};

QStringList lines(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)
                                          : QStringList();
}

} // namespace

void TestBoardSession::initTestCase()
{
    TestSettings::isolate();
}

void TestBoardSession::readoutShowsTheWindowsTexts_data()
{
    QTest::addColumn<QStringList>("replies"); // 0x78, 0x64, then what follows; "" is silence
    QTest::addColumn<bool>("usable");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<QStringList>("texts"); // board, firmware, status, bootloader, error code

    QTest::newRow("silent board") << QStringList { "", "" } << false << true
                                  << QStringList { "-", "Нет ответа", "Нет ответа", "Нет ответа", "-" };
    QTest::newRow("malformed status") << QStringList { "c9 05 302e302e36", "c8" } << false << false
                                      << QStringList { "-", "0.0.6", "Ошибка", "Ошибка", "-" };
    QTest::newRow("empty version, mode 7") << QStringList { "c9 00", "c9 07 00", "c9 ff ff ff ff" } << true << false
                                           << QStringList { "-", "Не определена", "Неизвестно (7)", "-", "-1" };
    QTest::newRow("bootloader, board version unanswered")
        << QStringList { "c9 00", "c9 01 05 302e302e35", "", "c8 05 00 00 00" } << true << true
        << QStringList { "Нет ответа", "Не определена", "Загрузчик", "0.0.5", "5" };
}

void TestBoardSession::readoutShowsTheWindowsTexts()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, usable);
    QFETCH(bool, silent);
    QFETCH(QStringList, texts);

    const auto link = QSharedPointer<ScriptedConnector>::create();
    for (const QString& reply : replies)
        link->queue(reply.isEmpty() ? ScriptedConnector::silence() : ScriptedConnector::replyHex(qPrintable(reply)));
    BoardSession session;
    QList<QPair<Field, QString>> shown;
    connect(&session, &BoardSession::fieldRead, [&shown](Field field, const QString& text) { shown.append({ field, text }); });
    session.attach(link);

    QCOMPARE(session.readIdentity(true), usable);
    QCOMPARE(session.readout().silent(), silent);
    const QList<Field> fields = { Field::BoardVersion, Field::FirmwareVersion, Field::Status, Field::BootloaderVersion,
                                  Field::ErrorCode };
    for (int i = 0; i < fields.size(); ++i)
        QCOMPARE(session.readout().text(fields.at(i)), QString(texts.at(i)));
    // A label reads "Чтение..." while its request is out, then its value.
    QCOMPARE(shown.value(0), qMakePair(Field::FirmwareVersion, QString::fromUtf8("Чтение...")));
    QCOMPARE(shown.value(1), qMakePair(Field::FirmwareVersion, QString(texts.at(1))));
    QCOMPARE(link->pending(), 0);
}

void TestBoardSession::connectReadoutFollowsTheWindowsOrder()
{
    MemoryBoard board;
    for (const auto& block : { qMakePair(0xA0, 64), qMakePair(0xA7, 64), qMakePair(0xAA, 64), qMakePair(0xA4, 144),
                               qMakePair(0x71, 56), qMakePair(0x9D, 48) })
        board.stored.insert(quint8(block.first), QByteArray(block.second, '\x01'));
    const auto link = QSharedPointer<ScriptedConnector>::create();
    link->setResponder(board.responder());
    BoardSession session;
    int recordChanges = 0;
    connect(&session, &BoardSession::recordsChanged, [&recordChanges] { ++recordChanges; });
    session.attach(link);

    const BoardSession::ConnectResult result = session.connectReadout();
    QVERIFY(result.usable && result.boardVersion && result.diDo && result.errorCode && result.rs485);
    QList<int> codes;
    for (const QByteArray& request : link->writes)
        codes << quint8(request.at(0));
    QCOMPARE(codes, QList<int>({ 0x78, 0x64, 0x7D, 0xA0, 0xA7, 0xAA, 0xA4, 0x79, 0x71, 0x9D }));
    QVERIFY(session.diDoRead() && session.rs485Read() && session.iec101Read());
    QCOMPARE(session.rs485Ports()[0].baudRate, 0x01010101u);
    QVERIFY(recordChanges > 0);
}

void TestBoardSession::writesAreReadBackAndCompared_data()
{
    QTest::addColumn<bool>("rs485");     // the RS-485 save, else the DI/DO save
    QTest::addColumn<int>("patchedRead");
    QTest::addColumn<int>("patchAt");
    QTest::addColumn<int>("patchValue");
    QTest::addColumn<bool>("verify");
    QTest::addColumn<bool>("doubledAck");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("difference");

    // The nominal 2 sent for DI_4 comes back as 1 (the reads store any
    // input-mode byte but 0 so): what a board cannot keep is no difference.
    QTest::newRow("board keeps it all") << false << 0 << 0 << 0 << true << false << Failure::None << QString();
    QTest::newRow("DI address not kept") << false << 0xA0 << 1 + 4 * 3 << 0 << true << false
                                         << Failure::ReadBackDiffers << "di[3].address: 0 -> 12";
    QTest::newRow("baud rate clamped") << true << 0x71 << 2 << 0xE0 << true << false << Failure::ReadBackDiffers
                                       << "rs485[0].baudRate: 57344 -> 57600";
    QTest::newRow("not verified") << false << 0xA0 << 1 + 4 * 3 << 0 << false << false << Failure::None
                                  << QString();
    // A reply beyond one per request: the acknowledgements prove nothing, so
    // the board is read back although the caller waived it.
    QTest::newRow("not verified, replies shifted")
        << false << 0xA0 << 1 + 4 * 3 << 0 << false << true << Failure::ReadBackDiffers << "di[3].address: 0 -> 12";
}

void TestBoardSession::writesAreReadBackAndCompared()
{
    QFETCH(bool, rs485);
    QFETCH(int, patchedRead);
    QFETCH(int, patchAt);
    QFETCH(int, patchValue);
    QFETCH(bool, verify);
    QFETCH(bool, doubledAck);
    QFETCH(Failure, failure);
    QFETCH(QString, difference);

    MemoryBoard board;
    board.doubleFirstAck = doubledAck;
    board.patchedRead = quint8(patchedRead);
    board.patchAt = patchAt;
    board.patchValue = char(patchValue);
    const auto link = QSharedPointer<ScriptedConnector>::create();
    link->setResponder(board.responder());
    BoardSession session;
    session.setLogging(false);
    session.setVerifyWrites(verify);
    session.attach(link);
    QVERIFY(session.readIdentity(false));
    const int before = link->writes.size();

    DiDoConfig dido = session.diDo();
    dido.diEntries[3].setObjectAddress(12);
    dido.diNominal[3] = 2;
    Rs485Ports ports {};
    ports[0].baudRate = 57600;
    const BoardSession::WriteResult result = rs485 ? session.writeRs485(ports, Iec101Ports {}) : session.writeDiDo(dido);

    QCOMPARE(result.failure, failure);
    const bool readBack = verify || doubledAck;
    QCOMPARE(result.verified, readBack);
    QCOMPARE(result.differences.isEmpty() ? QString() : result.differences.first().line(), difference);
    QCOMPARE(result.differences.size(), difference.isEmpty() ? 0 : 1);
    // A read for every block written, and none without the check.
    const int written = result.written.size();
    QCOMPARE(link->writes.size() - before, readBack ? 2 * written : written);
    QCOMPARE(written, rs485 ? 2 : 4);
}

void TestBoardSession::eachOperationLogsItsLine_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("ending");

    QTest::newRow("reboot") << "reboot" << "\toperation=reboot\toutcome=ok";
    QTest::newRow("mode switch") << "mode" << "\toperation=mode-switch bootloader\toutcome=ok";
    QTest::newRow("calibration") << "calibrate" << "\toperation=calibration DI 24V\toutcome=ok";
    QTest::newRow("factory restore") << "restore" << "\toperation=factory-restore\toutcome=ok";
    QTest::newRow("RS-485 save") << "rs485" << "\toperation=config-write RS-485\toutcome=ok";
    QTest::newRow("flash") << "flash" << "\toperation=flash\toutcome=ok";
    QTest::newRow("log off") << "off" << QString();
}

void TestBoardSession::eachOperationLogsItsLine()
{
    QFETCH(QString, operation);
    QFETCH(QString, ending);

    QFile::remove(OperationsLog::defaultPath());
    MemoryBoard board;
    const auto link = QSharedPointer<ScriptedConnector>::create();
    link->setResponder(board.responder());
    BoardSession session;
    session.setProgramName(QStringLiteral("window"));
    session.setLinkDescription(QStringLiteral("RS485 TCP 127.0.0.1:4001, address 5"));
    session.attach(link);
    QVERIFY(session.readIdentity(false));
    // A read changes nothing on the board.
    session.readConfiguration();
    QCOMPARE(lines(OperationsLog::defaultPath()).size(), 0);

    FirmwareJob job(&session);
    if (operation == "reboot")
        session.reboot();
    else if (operation == "mode")
        session.switchMode();
    else if (operation == "calibrate")
        QVERIFY(session.calibrate(true).available);
    else if (operation == "restore")
        session.restoreFactory();
    else if (operation == "rs485")
        session.writeRs485(Rs485Ports {}, Iec101Ports {});
    else if (operation == "flash")
        job.flash();
    session.setLogging(false);
    if (operation == "off")
        session.reboot();

    const QStringList logged = lines(OperationsLog::defaultPath());
    QCOMPARE(logged.size(), ending.isEmpty() ? 0 : 1);
    if (!ending.isEmpty()) {
        QVERIFY2(logged.first().contains("\tprogram=window\tlink=RS485 TCP 127.0.0.1:4001, address 5\tboard=VRELL_A\t"),
                 qPrintable(logged.first()));
        QVERIFY2(logged.first().endsWith(ending), qPrintable(logged.first()));
    }
}

void TestBoardSession::updateProvesItTookByTheVersion_data()
{
    QTest::addColumn<QByteArray>("tag"); // what the image says of its version
    QTest::addColumn<QString>("expected");
    QTest::addColumn<FirmwareJob::UpdateResult::Failure>("failure");

    using Failure = FirmwareJob::UpdateResult::Failure;
    QTest::newRow("new version") << QByteArray("version=2.0.0") << QString() << Failure::None;
    QTest::newRow("version unchanged") << QByteArray() << QString() << Failure::WrongVersion;
    QTest::newRow("the same version, as expected") << QByteArray() << "1.2.0" << Failure::None;
    QTest::newRow("not the expected version") << QByteArray("version=2.0.0") << "2.0.1" << Failure::WrongVersion;
}

void TestBoardSession::updateProvesItTookByTheVersion()
{
    QFETCH(QByteArray, tag);
    QFETCH(QString, expected);
    QFETCH(FirmwareJob::UpdateResult::Failure, failure);

    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fw_main_VRELL_A.frm"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(4000, 'x') + tag) > 0);
    file.close();

    BoardSession session;
    session.setLogging(false);
    FirmwareJob job(&session);
    QList<FirmwareJob::Step> steps;
    connect(&job, &FirmwareJob::stepStarted, [&steps](FirmwareJob::Step step) { steps.append(step); });
    job.setReconnect([&board](QString*) {
        return QSharedPointer<Connector>(new ConnectorIP(board.host(), board.port()));
    });
    const FirmwareJob::UpdateResult result =
        job.update(path, expected.isEmpty() ? std::nullopt : std::optional<QString>(expected));

    QCOMPARE(result.failure, failure);
    QCOMPARE(result.step, FirmwareJob::Step::ReadVersion);
    QCOMPARE(steps.count(FirmwareJob::Step::Reconnect), 2);
    QCOMPARE(result.versionLine(), QStringLiteral("Версия прошивки: 1.2.0 -> %1")
                                       .arg(tag.isEmpty() ? QStringLiteral("1.2.0") : QStringLiteral("2.0.0")));
    QCOMPARE(board.state().value("counters").toObject().value("flashes").toInt(), 1);
}

QTEST_GUILESS_MAIN(TestBoardSession)
#include "tst_boardsession.moc"
