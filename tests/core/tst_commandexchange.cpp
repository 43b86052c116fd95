// The request/reply pattern every command uses, against the scripted connector:
// time-outs, attempts, and how each command treats the reply codes.

#include "commandexchange.h"
#include "commandset.h"
#include "devicecommands.h"
#include "firmwareflash.h"
#include "scriptedconnector.h"
#include "referenceframes.h"

#include <QtTest>

using Step = ScriptedConnector::Step;

Q_DECLARE_METATYPE(ScriptedConnector::Step)
Q_DECLARE_METATYPE(QList<ScriptedConnector::Step>)

namespace {

QList<quint8> allTableCodes()
{
    QList<quint8> codes;
    for (const Command::Entry& s : Command::table)
        codes.append(s.code);
    return codes;
}
} // namespace

class TestCommandExchange : public QObject
{
    Q_OBJECT

private slots:
    void timeoutIsRestoredWhateverTheOutcome_data();
    void timeoutIsRestoredWhateverTheOutcome();
    void eachCommandReadsWithItsOwnTimeout_data();
    void eachCommandReadsWithItsOwnTimeout();
    void onlyThePortReadIsRetried_data();
    void onlyThePortReadIsRetried();
    void portReadRetriesStopAtFirstGoodReply();
    void repliesCountOnlyForTheirOwnRequest_data();
    void repliesCountOnlyForTheirOwnRequest();
    void failedWriteCountsAsAnAttempt();
    void abandonedExchangeSkipsTheRead();
    void noConnectorSendsNothing();
    void statusLeadIsAcceptedOnlyWithAStatus_data();
    void statusLeadIsAcceptedOnlyWithAStatus();
    void readoutsTellSilenceFromWrongReply_data();
    void readoutsTellSilenceFromWrongReply();
    void modeSwitchTargetFollowsRunningMode_data();
    void modeSwitchTargetFollowsRunningMode();
    void rebootCountsSilenceAsSent_data();
    void rebootCountsSilenceAsSent();
};

void TestCommandExchange::timeoutIsRestoredWhateverTheOutcome_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("reads");

    QTest::newRow("acknowledged") << ScriptedConnector::replyHex("c9") << int(ExchangeResult::Replied) << true << 1;
    QTest::newRow("no reply") << ScriptedConnector::silence() << int(ExchangeResult::NoReply) << false << 1;
    QTest::newRow("wrong reply") << ScriptedConnector::replyHex("a1") << int(ExchangeResult::Replied) << false << 1;
    QTest::newRow("write failed") << ScriptedConnector::writeFailure() << int(ExchangeResult::WriteFailed) << false
                                  << 0;
}

void TestCommandExchange::timeoutIsRestoredWhateverTheOutcome()
{
    QFETCH(Step, step);
    QFETCH(int, outcome);
    QFETCH(bool, accepted);
    QFETCH(int, reads);

    ScriptedConnector link;
    link.setTimeout(1234);
    link.queue(step);
    const ExchangeResult r = CommandExchange(&link).sendExpectingAck(Command::RestoreFactory);

    QCOMPARE(int(r.outcome), outcome);
    QCOMPARE(r.accepted, accepted);
    QCOMPARE(link.getTimeout(), 1234);
    QCOMPARE(link.writes, QList<QByteArray>({ hex("a1") }));
    // The command's time-out is set only around the read, never before the write.
    QCOMPARE(link.writeTimeouts, QList<int>({ 1234 }));
    QCOMPARE(link.readTimeouts.size(), reads);
    if (reads)
        QCOMPARE(link.readTimeouts.first(), 2000);
}

void TestCommandExchange::eachCommandReadsWithItsOwnTimeout_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("timeout");
    QTest::newRow("0x64 status") << 0x64 << 2000;
    QTest::newRow("0x67 flash") << 0x67 << 60000;
    QTest::newRow("0x71 ports") << 0x71 << 2000;
    QTest::newRow("0x72 write ports") << 0x72 << 2000;
    QTest::newRow("0x78 firmware version") << 0x78 << 1000;
    QTest::newRow("0x79 error code") << 0x79 << 2000;
    QTest::newRow("0x7A bootloader") << 0x7A << 2000;
    QTest::newRow("0x7B main firmware") << 0x7B << 2000;
    QTest::newRow("0x7C reboot") << 0x7C << 1000;
    QTest::newRow("0x7D board version") << 0x7D << 1000;
    QTest::newRow("0x9D protocols") << 0x9D << 2000;
    QTest::newRow("0x9E write protocols") << 0x9E << 2000;
    QTest::newRow("0xA0 DI table") << 0xA0 << 2000;
    QTest::newRow("0xA6 DO table") << 0xA6 << 2000;
    QTest::newRow("0xAA DI modes") << 0xAA << 2000;
    QTest::newRow("0xAB zero calibration") << 0xAB << 3000;
    QTest::newRow("0xAC scale calibration") << 0xAC << 3000;
}

void TestCommandExchange::eachCommandReadsWithItsOwnTimeout()
{
    QFETCH(int, code);
    QFETCH(int, timeout);
    ScriptedConnector link;
    link.setTimeout(777);
    link.queue(ScriptedConnector::replyHex("c9"));
    CommandExchange(&link).send(quint8(code), QByteArray(), CommandExchange::ack());
    QCOMPARE(link.readTimeouts, QList<int>({ timeout }));
    QCOMPARE(link.getTimeout(), 777);
}

void TestCommandExchange::onlyThePortReadIsRetried_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("writes");
    for (quint8 code : allTableCodes()) {
        QTest::newRow(qPrintable(QStringLiteral("0x%1").arg(code, 2, 16, QLatin1Char('0'))))
            << int(code) << (code == 0x71 ? 3 : 1);
    }
}

void TestCommandExchange::onlyThePortReadIsRetried()
{
    QFETCH(int, code);
    QFETCH(int, writes);
    ScriptedConnector link;
    link.setTimeout(500);
    const ExchangeResult r = CommandExchange(&link).send(quint8(code), QByteArray(), CommandExchange::ack());
    QCOMPARE(r.outcome, ExchangeResult::NoReply);
    QVERIFY(!r.accepted);
    QCOMPARE(r.attempts, writes);
    QCOMPARE(link.writes.size(), writes);
    QCOMPARE(link.readTimeouts.size(), writes);
    QCOMPARE(link.getTimeout(), 500);
}

void TestCommandExchange::portReadRetriesStopAtFirstGoodReply()
{
    ScriptedConnector link;
    QByteArray good(57, '\0');
    good[0] = char(0x71);
    const QByteArray oneShort = good.left(56);
    link.queue({ ScriptedConnector::reply(oneShort), ScriptedConnector::reply(good), ScriptedConnector::replyHex("c9") });

    const ExchangeResult r =
        CommandExchange(&link).send(Command::ReadRs485Ports, QByteArray(), CommandExchange::atLeast(0x71, 57));
    QVERIFY(r.accepted);
    QCOMPARE(r.attempts, 2);
    QCOMPARE(r.reply, good);
    QCOMPARE(link.writes.size(), 2);
    QCOMPARE(link.pending(), 1);
}

// A late reply is waited for instead of resending; once a resent request is
// answered, the link is drained of the answer to the first copy.
void TestCommandExchange::repliesCountOnlyForTheirOwnRequest_data()
{
    QTest::addColumn<QList<Step>>("steps");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("late");
    QTest::addColumn<int>("writes");
    QTest::addColumn<QList<int>>("laterReads");
    QTest::addColumn<int>("extra"); // replies beyond one per request

    QByteArray good(57, '\0');
    good[0] = char(0x71);
    const int grace = CommandExchange::lateReplyGraceMs;
    const int quiet = CommandExchange::settleQuietMs;
    QTest::newRow("late, within the grace") << QList<Step>{ ScriptedConnector::reads({ {}, good }) } << true << true
                                            << 1 << QList<int>{ grace } << 0;
    QTest::newRow("resent, answered twice")
        << QList<Step>{ ScriptedConnector::silence(), ScriptedConnector::reads({ good, good }) } << true << false << 2
        << QList<int>{ grace, quiet, quiet } << 1;
    QTest::newRow("wrong, then right: nothing to drain")
        << QList<Step>{ ScriptedConnector::reply(good.left(9)), ScriptedConnector::reply(good) } << true << false << 2
        << QList<int>{} << 0;
    QTest::newRow("never answered") << QList<Step>{} << false << false << 3 << QList<int>{ grace, grace, grace } << 0;
}

void TestCommandExchange::repliesCountOnlyForTheirOwnRequest()
{
    QFETCH(QList<Step>, steps);
    QFETCH(bool, accepted);
    QFETCH(bool, late);
    QFETCH(int, writes);
    QFETCH(QList<int>, laterReads);
    QFETCH(int, extra);

    ScriptedConnector link;
    link.setTimeout(321);
    link.queue(steps);
    const ExchangeResult r =
        CommandExchange(&link).send(Command::ReadRs485Ports, QByteArray(), CommandExchange::atLeast(0x71, 57));
    QCOMPARE(r.accepted, accepted);
    QCOMPARE(r.late, late);
    QCOMPARE(link.writes.size(), writes);
    QCOMPARE(link.laterReadTimeouts, laterReads);
    QCOMPARE(CommandExchange(&link).extraReplies(), qint64(extra));
    QCOMPARE(link.read(), QByteArray()); // nothing left for the next request
    QCOMPARE(link.getTimeout(), 321);
}

void TestCommandExchange::failedWriteCountsAsAnAttempt()
{
    QByteArray good(57, '\0');
    good[0] = char(0x71);
    {
        ScriptedConnector link;
        link.queue({ ScriptedConnector::writeFailure(), ScriptedConnector::writeFailure(),
                     ScriptedConnector::reply(good) });
        const ExchangeResult r =
            CommandExchange(&link).send(Command::ReadRs485Ports, QByteArray(), CommandExchange::atLeast(0x71, 57));
        QVERIFY(r.accepted);
        QCOMPARE(r.attempts, 3);
        QCOMPARE(link.readTimeouts.size(), 1);
    }
    {
        ScriptedConnector link;
        link.setTimeout(42);
        link.queue({ ScriptedConnector::writeFailure(), ScriptedConnector::writeFailure(),
                     ScriptedConnector::writeFailure(), ScriptedConnector::reply(good) });
        const ExchangeResult r =
            CommandExchange(&link).send(Command::ReadRs485Ports, QByteArray(), CommandExchange::atLeast(0x71, 57));
        QVERIFY(!r.accepted);
        QCOMPARE(r.outcome, ExchangeResult::WriteFailed);
        QCOMPARE(link.writes.size(), 3);
        QVERIFY(link.readTimeouts.isEmpty());
        QCOMPARE(link.getTimeout(), 42);
    }
}

void TestCommandExchange::abandonedExchangeSkipsTheRead()
{
    ScriptedConnector link;
    link.setTimeout(300);
    link.queue(ScriptedConnector::replyHex("c9"));
    int calls = 0;
    const ExchangeResult r = CommandExchange(&link).transact(hex("67"), 60000, [&] {
        ++calls;
        return false;
    });
    QCOMPARE(calls, 1);
    QCOMPARE(r.outcome, ExchangeResult::WriteFailed);
    QVERIFY(link.readTimeouts.isEmpty());
    QCOMPARE(link.getTimeout(), 300);
}

void TestCommandExchange::noConnectorSendsNothing()
{
    const ExchangeResult r = CommandExchange(nullptr).sendExpectingAck(Command::Reboot);
    QCOMPARE(r.outcome, ExchangeResult::WriteFailed);
    QCOMPARE(r.attempts, 0);
    QVERIFY(!DeviceCommands(nullptr).readFirmwareVersion().ok());
    QVERIFY(!FirmwareFlash(QSharedPointer<Connector>()).run().ok);
}

// The refusal lead 0xC8 carries a status code; it is a valid reply only for the
// error-code read, and the flash parses its code but still fails.
void TestCommandExchange::statusLeadIsAcceptedOnlyWithAStatus_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("0x79 error code") << 0x79 << true;
    QTest::newRow("0x67 flash") << 0x67 << false;
    QTest::newRow("0xA1 factory") << 0xA1 << false;
    QTest::newRow("0x72 write ports") << 0x72 << false;
    QTest::newRow("0x9E write protocols") << 0x9E << false;
    QTest::newRow("0x7A bootloader") << 0x7A << false;
    QTest::newRow("0x7B main firmware") << 0x7B << false;
    QTest::newRow("0x7C reboot") << 0x7C << false;
    QTest::newRow("0xAB zero calibration") << 0xAB << false;
    QTest::newRow("0xAC scale calibration") << 0xAC << false;
    QTest::newRow("0x78 firmware version") << 0x78 << false;
    QTest::newRow("0x64 status") << 0x64 << false;
    QTest::newRow("0x7D board version") << 0x7D << false;
}

void TestCommandExchange::statusLeadIsAcceptedOnlyWithAStatus()
{
    QFETCH(int, code);
    QFETCH(bool, accepted);
    QSharedPointer<ScriptedConnector> link(new ScriptedConnector);
    link->queue(ScriptedConnector::replyHex("c8 05 00 00 00"));
    const DeviceCommands commands(link.data());
    BoardState bootloader;
    bootloader.modeKnown = true;
    bootloader.mode = 1;

    bool ok = false;
    switch (code) {
    case 0x79: {
        const auto r = commands.readErrorCode();
        ok = r.ok();
        if (ok)
            QCOMPARE(*r.value, 5);
        break;
    }
    case 0x67: {
        const FirmwareFlash::Result r = FirmwareFlash(link).run();
        ok = r.ok;
        QVERIFY(r.code.has_value());
        QCOMPARE(*r.code, 5u);
        break;
    }
    case 0x7A: ok = commands.switchMode(BoardState()).accepted; break;
    case 0x7B: ok = commands.switchMode(bootloader).accepted; break;
    case 0x7C: ok = commands.reboot().accepted; break;
    case 0xAB: ok = commands.calibrateDiZero().accepted; break;
    case 0xAC: ok = commands.calibrateDiScale24V().accepted; break;
    case 0x78: ok = commands.readFirmwareVersion().ok(); break;
    case 0x64: ok = commands.readDeviceStatus().ok(); break;
    case 0x7D: ok = commands.readBoardVersion().ok(); break;
    default: ok = CommandExchange(link.data()).sendExpectingAck(quint8(code), QByteArray(3, '\0')).accepted; break;
    }
    QCOMPARE(ok, accepted);
    QCOMPARE(link->writes.size(), 1);
    QCOMPARE(quint8(link->writes.first().at(0)), quint8(code));
}

void TestCommandExchange::readoutsTellSilenceFromWrongReply_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<bool>("silent");
    QTest::addColumn<quint16>("boardType");
    QTest::newRow("type 2") << ScriptedConnector::replyHex("c9 02 00") << true << false << quint16(2);
    QTest::newRow("high byte counts") << ScriptedConnector::replyHex("c9 01 02") << true << false << quint16(0x0201);
    QTest::newRow("two bytes is wrong") << ScriptedConnector::replyHex("c9 02") << false << false << quint16(0);
    QTest::newRow("not acknowledged") << ScriptedConnector::replyHex("7d 02 00") << false << false << quint16(0);
    QTest::newRow("silence") << ScriptedConnector::silence() << false << true << quint16(0);
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << false << false << quint16(0);
}

void TestCommandExchange::readoutsTellSilenceFromWrongReply()
{
    QFETCH(Step, step);
    QFETCH(bool, ok);
    QFETCH(bool, silent);
    QFETCH(quint16, boardType);
    ScriptedConnector link;
    link.queue(step);
    const Reading<quint16> r = DeviceCommands(&link).readBoardVersion();
    QCOMPARE(r.ok(), ok);
    QCOMPARE(r.silent(), silent);
    if (ok)
        QCOMPARE(*r.value, boardType);
    QCOMPARE(link.writes, QList<QByteArray>({ hex("7d") }));
}

void TestCommandExchange::modeSwitchTargetFollowsRunningMode_data()
{
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("code");
    QTest::newRow("unknown") << false << 1 << 0x7A;
    QTest::newRow("main firmware") << true << 0 << 0x7A;
    QTest::newRow("bootloader") << true << 1 << 0x7B;
    QTest::newRow("odd mode") << true << 7 << 0x7A;
}

void TestCommandExchange::modeSwitchTargetFollowsRunningMode()
{
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(int, code);
    BoardState board;
    board.modeKnown = modeKnown;
    board.mode = quint8(mode);
    ScriptedConnector link;
    link.queue(ScriptedConnector::silence());
    const ExchangeResult r = DeviceCommands(&link).switchMode(board);
    QVERIFY(!r.accepted); // silence is no acknowledgement for a mode switch
    QCOMPARE(link.writes, QList<QByteArray>({ QByteArray(1, char(code)) }));
    QCOMPARE(link.readTimeouts, QList<int>({ 2000 }));
}

void TestCommandExchange::rebootCountsSilenceAsSent_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("silence") << ScriptedConnector::silence() << true;
    QTest::newRow("acknowledged") << ScriptedConnector::replyHex("c9") << true;
    QTest::newRow("other lead") << ScriptedConnector::replyHex("7c") << false;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << false;
}

void TestCommandExchange::rebootCountsSilenceAsSent()
{
    QFETCH(Step, step);
    QFETCH(bool, accepted);
    ScriptedConnector link;
    link.queue(step);
    QCOMPARE(DeviceCommands(&link).reboot().accepted, accepted);
}

QTEST_GUILESS_MAIN(TestCommandExchange)
#include "tst_commandexchange.moc"
