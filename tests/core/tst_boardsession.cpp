// The board session and the firmware job against the scripted connector and
// the virtual board: the readout's texts as the window's labels show them and
// what the connect readout asks of which board, writes read back and compared
// (what a board normalises is no difference), the window's text for each
// action's outcome, one log line per operation where it is carried out, and
// an update that proves by the version that the image took.

#include "boardmemory.h"
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
using Step = ScriptedConnector::Step;

Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(Step)
Q_DECLARE_METATYPE(FirmwareJob::UpdateResult::Failure)

class TestBoardSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readoutShowsTheWindowsTexts_data();
    void readoutShowsTheWindowsTexts();
    void connectReadoutAsksWhatTheBoardKnows_data();
    void connectReadoutAsksWhatTheBoardKnows();
    void diDoSaveSendsWhatTheBoardTakes_data();
    void diDoSaveSendsWhatTheBoardTakes();
    void writesAreReadBackAndCompared_data();
    void writesAreReadBackAndCompared();
    void actionsSayWhatCameOfThem_data();
    void actionsSayWhatCameOfThem();
    void eachOperationLogsItsLine_data();
    void eachOperationLogsItsLine();
    void updateProvesItTookByTheVersion_data();
    void updateProvesItTookByTheVersion();
};

namespace {

// A board of `type` (0: the board version goes unanswered) running `mode`
// whose configuration reads give back what the writes stored, but for one
// byte of one read reply that `patch` sets.
struct MemoryBoard
{
    quint16 type = 1;
    quint8 mode = 0;
    QByteArray firmware = "0.0.6";
    QByteArray bootloader = "0.0.7";
    BoardMemory memory = BoardMemory::blank(16);
    quint8 patchedRead = 0;
    int patchAt = 0;
    char patchValue = 0;
    bool doubleFirstAck = false; // the first write is acknowledged twice

    ScriptedConnector::Responder responder()
    {
        return [this](const QByteArray& request) {
            const quint8 code = quint8(request.at(0));
            switch (code) {
            case 0x78: return ScriptedConnector::reply(QByteArray::fromHex("c9") + char(firmware.size()) + firmware);
            case 0x64:
                return ScriptedConnector::reply(QByteArray::fromHex("c9") + char(mode) + char(bootloader.size())
                                                + bootloader);
            case 0x7D: return type ? ScriptedConnector::reply(QByteArray::fromHex("c9") + char(type) + '\0')
                                   : ScriptedConnector::silence();
            case 0x79: return ScriptedConnector::replyHex("c9 00 00 00 00");
            default: break;
            }
            std::optional<Step> step = memory.answer(request);
            if (!step)
                return ScriptedConnector::replyHex("c9");
            if (request.size() > 1 && doubleFirstAck) {
                doubleFirstAck = false;
                return ScriptedConnector::reads({ QByteArray::fromHex("c9"), QByteArray::fromHex("c9") });
            }
            if (code == patchedRead && patchAt < step->bytes.size())
                step->bytes[patchAt] = patchValue;
            return *step;
        };
    }

    // A link to this board, attached to `session`, which has read the
    // board's identity; what the link recorded so far is forgotten.
    QSharedPointer<ScriptedConnector> identified(BoardSession& session)
    {
        const auto link = QSharedPointer<ScriptedConnector>::create();
        link->setResponder(responder());
        session.attach(link);
        if (!session.readIdentity(false))
            QTest::qFail("the board's identity was not read", __FILE__, __LINE__);
        link->forgetRecords();
        return link;
    }
};

QList<int> codesOf(const ScriptedConnector& link)
{
    QList<int> codes;
    for (const QByteArray& request : link.writes)
        codes << quint8(request.at(0));
    return codes;
}

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
    QTest::newRow("not written") << QStringList { "write failure", "write failure" } << false << true
                                 << QStringList { "-", "Ошибка", "Ошибка", "Ошибка", "-" };
}

void TestBoardSession::readoutShowsTheWindowsTexts()
{
    QFETCH(QStringList, replies);
    QFETCH(bool, usable);
    QFETCH(bool, silent);
    QFETCH(QStringList, texts);

    const auto link = QSharedPointer<ScriptedConnector>::create();
    for (const QString& reply : replies) {
        link->queue(reply.isEmpty()                 ? ScriptedConnector::silence()
                        : reply == "write failure" ? ScriptedConnector::writeFailure()
                                                   : ScriptedConnector::replyHex(qPrintable(reply)));
    }
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

void TestBoardSession::connectReadoutAsksWhatTheBoardKnows_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<QByteArray>("bootloader");
    QTest::addColumn<QList<int>>("codes");

    // The error code and the RS-485 settings whatever came before.
    const QList<int> tail = { 0x79, 0x71, 0x9D };
    QTest::newRow("main 0.0.6") << 0 << QByteArray("0.0.6") << QByteArray("0.0.7")
                                << QList<int>({ 0x78, 0x64, 0x7D, 0xA0, 0xA7, 0xAA, 0xA4 }) + tail;
    // Too old to be asked its type, so the DI/DO layout is unknown too.
    QTest::newRow("main 0.0.3") << 0 << QByteArray("0.0.3") << QByteArray("9.9.9") << QList<int>({ 0x78, 0x64 }) + tail;
    QTest::newRow("bootloader 0.0.5") << 1 << QByteArray("9.9.9") << QByteArray("0.0.5")
                                      << QList<int>({ 0x78, 0x64, 0x7D }) + tail;
    QTest::newRow("bootloader 0.0.4") << 1 << QByteArray("9.9.9") << QByteArray("0.0.4")
                                      << QList<int>({ 0x78, 0x64 }) + tail;
    QTest::newRow("other mode") << 7 << QByteArray("9.9.9") << QByteArray("9.9.9") << QList<int>({ 0x78, 0x64 }) + tail;
}

void TestBoardSession::connectReadoutAsksWhatTheBoardKnows()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, firmware);
    QFETCH(QByteArray, bootloader);
    QFETCH(QList<int>, codes);

    MemoryBoard board;
    board.mode = quint8(mode);
    board.firmware = firmware;
    board.bootloader = bootloader;
    for (const auto& block : { qMakePair(0xA0, 64), qMakePair(0xA7, 64), qMakePair(0xAA, 64), qMakePair(0xA4, 144),
                               qMakePair(0x71, 56), qMakePair(0x9D, 48) })
        board.memory.blocks.insert(quint8(block.first), QByteArray(block.second, '\x01'));
    const auto link = QSharedPointer<ScriptedConnector>::create();
    link->setResponder(board.responder());
    link->setTimeout(3210);
    BoardSession session;
    int recordChanges = 0;
    connect(&session, &BoardSession::recordsChanged, [&recordChanges] { ++recordChanges; });
    session.attach(link);

    const BoardSession::ConnectResult result = session.connectReadout();
    QVERIFY(result.usable && result.boardVersion && result.diDo && result.errorCode && result.rs485 && result.protocols);
    QCOMPARE(codesOf(*link), codes);
    const bool typeAsked = codes.contains(0x7D);
    QCOMPARE(link->readTimeouts.mid(0, typeAsked ? 3 : 2), QList<int>({ 1000, 2000, 1000 }).mid(0, typeAsked ? 3 : 2));
    QCOMPARE(link->getTimeout(), 3210);
    QCOMPARE(session.board().boardTypeKnown, typeAsked);
    QCOMPARE(session.readout().text(Field::BoardVersion), typeAsked ? QStringLiteral("VRELL_A") : QStringLiteral("-"));
    QCOMPARE(result.diDoAsked, codes.contains(0xA0));
    QCOMPARE(session.diDoRead(), result.diDoAsked);
    QVERIFY(session.rs485Read() && session.iec101Read());
    QCOMPARE(session.rs485Ports()[0].baudRate, 0x01010101u);
    QVERIFY(recordChanges > 0);
}

void TestBoardSession::diDoSaveSendsWhatTheBoardTakes_data()
{
    QTest::addColumn<quint16>("type");
    QTest::addColumn<QByteArray>("firmware");
    QTest::addColumn<QStringList>("writes"); // code/data length; each then read back

    QTest::newRow("type 1, 0.0.6") << quint16(1) << QByteArray("0.0.6")
                                   << QStringList({ "a2/64", "a8/64", "a9/64", "a6/144" });
    QTest::newRow("type 1, 0.0.5") << quint16(1) << QByteArray("0.0.5") << QStringList({ "a2/64", "a8/64", "a6/144" });
    QTest::newRow("type 1, 0.0.4") << quint16(1) << QByteArray("0.0.4") << QStringList({ "a2/64", "a5/108" });
    QTest::newRow("type 2, 0.0.4") << quint16(2) << QByteArray("0.0.4") << QStringList({ "a2/64", "a8/64", "a5/108" });
    QTest::newRow("type 4: no DO command") << quint16(4) << QByteArray("0.0.6")
                                           << QStringList({ "a2/128", "a8/128", "a9/128" });
    QTest::newRow("type 3: no DI command") << quint16(3) << QByteArray("0.0.6") << QStringList({ "a6/144" });
    QTest::newRow("type unknown") << quint16(0) << QByteArray("0.0.6") << QStringList({ "a6/144" });
}

void TestBoardSession::diDoSaveSendsWhatTheBoardTakes()
{
    QFETCH(quint16, type);
    QFETCH(QByteArray, firmware);
    QFETCH(QStringList, writes);

    MemoryBoard board;
    board.type = type;
    board.firmware = firmware;
    board.memory = BoardMemory::blank(type == 4 ? 32 : 16);
    BoardSession session;
    session.setLogging(false);
    const auto link = board.identified(session);

    const BoardSession::WriteResult result = session.writeDiDo(session.diDo());
    QVERIFY(result.ok() && result.verified);
    QCOMPARE(result.text, QStringLiteral("Параметры DI/DO успешно записаны\n"));
    QStringList sent;
    QList<int> reads;
    for (const QByteArray& request : link->writes) {
        if (request.size() > 1)
            sent << QStringLiteral("%1/%2").arg(quint8(request.at(0)), 2, 16).arg(request.size() - 1);
        else
            reads << quint8(request.at(0));
    }
    QCOMPARE(sent, writes);
    QCOMPARE(reads.size(), writes.size());
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
    BoardSession session;
    session.setLogging(false);
    session.setVerifyWrites(verify);
    const auto link = board.identified(session);

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
    QCOMPARE(link->writes.size(), readBack ? 2 * written : written);
    QCOMPARE(written, rs485 ? 2 : 4);
}

void TestBoardSession::actionsSayWhatCameOfThem_data()
{
    QTest::addColumn<QString>("action"); // reboot, mode, zero, scale, restore
    QTest::addColumn<int>("mode");       // the board's
    QTest::addColumn<Step>("step");      // the answer to the request
    QTest::addColumn<int>("request");    // -1: nothing sent
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");

    const Step ack = ScriptedConnector::replyHex("c9");
    const Step silent = ScriptedConnector::silence();
    const Step notWritten = ScriptedConnector::writeFailure();
    const QString rebooted = QStringLiteral("Команда перезагрузки отправлена.\nПереподключитесь к прибору.");

    // Which replies count as taken is the exchange's; here the texts and the link.
    QTest::newRow("reboot, acknowledged") << "reboot" << 0 << ack << 0x7C << rebooted << true;
    QTest::newRow("reboot, other reply") << "reboot" << 0 << ScriptedConnector::replyHex("7c") << 0x7C
                                         << "Устройство не подтвердило команду перезагрузки\n" << false;
    QTest::newRow("reboot, not written") << "reboot" << 0 << notWritten << 0x7C
                                         << "Ошибка отправки команды перезагрузки\n" << false;
    // A mode switch needs the acknowledgement.
    QTest::newRow("to the bootloader") << "mode" << 0 << ack << 0x7A
                                       << "Устройство переходит в режим загрузчика.\nПереподключитесь к прибору." << true;
    QTest::newRow("to the bootloader, silent") << "mode" << 0 << silent << 0x7A
                                               << "Прибор не подтвердил переход в загрузчик\n" << false;
    QTest::newRow("to the main firmware") << "mode" << 1 << ack << 0x7B
                                          << "Устройство запускает основную прошивку.\nПереподключитесь к прибору."
                                          << true;
    QTest::newRow("to the main firmware, refused") << "mode" << 1 << ScriptedConnector::replyHex("c8 01 00 00 00")
                                                   << 0x7B << "Прибор не подтвердил запуск основной прошивки\n" << false;
    QTest::newRow("to the main firmware, not written") << "mode" << 1 << notWritten << 0x7B
                                                       << "Ошибка команды запуска основной прошивки\n" << false;
    QTest::newRow("zero") << "zero" << 0 << ack << 0xAB << "Калибровка нуля DI выполнена." << true;
    QTest::newRow("zero, refused") << "zero" << 0 << ScriptedConnector::replyHex("c8 01 00 00 00") << 0xAB
                                   << "Ошибка калибровки нуля DI\n" << false;
    QTest::newRow("zero, not written") << "zero" << 0 << notWritten << 0xAB << "Ошибка команды калибровки DI\n"
                                       << false;
    QTest::newRow("zero, in the bootloader")
        << "zero" << 1 << ack << -1
        << "Калибровка нуля DI доступна только в режиме основной прошивки для DI-плат с версией прошивки 0.0.6 и выше."
        << false;
    QTest::newRow("scale") << "scale" << 0 << ack << 0xAC << "Калибровка масштаба DI 24 В выполнена." << true;
    QTest::newRow("scale, silent") << "scale" << 0 << silent << 0xAC << "Ошибка калибровки масштаба DI\n" << false;
    QTest::newRow("scale, not written") << "scale" << 0 << notWritten << 0xAC
                                        << "Ошибка команды калибровки масштаба DI\n" << false;
    // The factory restore reads the DI/DO blocks again after it.
    QTest::newRow("restore") << "restore" << 0 << ack << 0xA1 << "Настройки сброшены, требуется перезагрузка\n"
                             << true;
    QTest::newRow("restore, silent") << "restore" << 0 << silent << 0xA1 << "Ошибка сброса настроек\n" << false;
    QTest::newRow("restore, not written") << "restore" << 0 << notWritten << 0xA1 << "Ошибка команды записи\n"
                                          << false;
}

void TestBoardSession::actionsSayWhatCameOfThem()
{
    QFETCH(QString, action);
    QFETCH(int, mode);
    QFETCH(Step, step);
    QFETCH(int, request);
    QFETCH(QString, text);
    QFETCH(bool, ok);

    MemoryBoard board;
    board.mode = quint8(mode);
    BoardSession session;
    session.setLogging(false);
    const auto link = board.identified(session);
    link->queue(step);

    bool done = false;
    QString said;
    if (action == "restore") {
        const BoardSession::RestoreResult result = session.restoreFactory();
        done = result.ok();
        said = result.text;
    } else {
        const BoardSession::ActionResult result = action == "reboot" ? session.reboot()
            : action == "mode"                                     ? session.switchMode()
                                                                   : session.calibrate(action == "scale");
        done = result.ok();
        said = result.text;
    }

    QCOMPARE(said, text);
    QCOMPARE(done, ok);
    QCOMPARE(codesOf(*link).mid(0, 1), request < 0 ? QList<int>() : QList<int>({ request }));
    // An acknowledged reboot or switch lets the link go: the board drops it.
    QCOMPARE(session.hasLink(), !(ok && (action == "reboot" || action == "mode")));
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
    BoardSession session;
    session.setProgramName(QStringLiteral("window"));
    session.setLinkDescription(QStringLiteral("RS485 TCP 127.0.0.1:4001, address 5"));
    board.identified(session);
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
