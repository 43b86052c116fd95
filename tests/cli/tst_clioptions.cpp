// The command line of quorvel-cli: every link, every subcommand, and the
// mistakes a technician can type, each refused with a reason.

#include "clioptions.h"

#include <QtTest>

class TestCliOptions : public QObject
{
    Q_OBJECT

private slots:
    void acceptedLines_data();
    void acceptedLines();
    void refusedLines_data();
    void refusedLines();
    void helpAndVersionStopEarly();
    void subcommandHelpTellsItsOwnPart_data();
    void subcommandHelpTellsItsOwnPart();
    void addressListsAndScanRanges_data();
    void addressListsAndScanRanges();
    void linkTimingKeepsItsDefaults_data();
    void linkTimingKeepsItsDefaults();
};

namespace {

QStringList argv(const QString& line)
{
    return QStringList { QStringLiteral("quorvel-cli") } + line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

void TestCliOptions::acceptedLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("described");
    QTest::addColumn<bool>("flash");
    QTest::addColumn<bool>("json");

    const int tcp = int(LinkOptions::Kind::Tcp);
    const int serial = int(LinkOptions::Kind::Serial);
    const int usb = int(LinkOptions::Kind::Usb);

    QTest::newRow("tcp default port") << "--tcp 10.0.0.5 info" << "info" << QStringList() << tcp << "10.0.0.5:4001"
                                      << true << false;
    QTest::newRow("tcp with port") << "--tcp 10.0.0.5:502 info --json" << "info" << QStringList() << tcp
                                   << "10.0.0.5:502" << true << true;
    QTest::newRow("tcp port 0 as the bar allows") << "--tcp host:0 reboot" << "reboot" << QStringList() << tcp
                                                  << "host:0" << true << false;
    QTest::newRow("bracketed IPv6 with port") << "--tcp [::1]:4002 flash" << "flash" << QStringList() << tcp
                                              << "[::1]:4002" << true << false;
    QTest::newRow("bare IPv6 takes the default port") << "--tcp fe80::1 info" << "info" << QStringList() << tcp
                                                      << "[fe80::1]:4001" << true << false;
    QTest::newRow("equals form") << "--tcp=board.local:7000 mode boot" << "mode" << QStringList { "boot" } << tcp
                                 << "board.local:7000" << true << false;
    QTest::newRow("serial defaults") << "--serial /dev/ttyUSB0 config-read out.json" << "config-read"
                                     << QStringList { "out.json" } << serial
                                     << "Port=/dev/ttyUSB0, Baud=9600, DataBits=8, Parity=None, StopBits=1, DeviceId=0"
                                     << true << false;
    QTest::newRow("serial line and address") << "--serial /dev/ttyS1 --baud 115200 --data-bits 7 --parity EVEN "
                                                "--stop-bits 2 --address 300 config-write in.json"
                                             << "config-write" << QStringList { "in.json" } << serial
                                             << "Port=/dev/ttyS1, Baud=115200, DataBits=7, Parity=Even, StopBits=2, "
                                                "DeviceId=300"
                                             << true << false;
    QTest::newRow("odd parity") << "--serial COM3 --parity odd mode main" << "mode" << QStringList { "main" } << serial
                                << "Port=COM3, Baud=9600, DataBits=8, Parity=Odd, StopBits=1, DeviceId=0" << true
                                << false;
    QTest::newRow("usb") << "--usb /dev/ttyACM0 firmware fw_main_VRELL_A.frm" << "firmware"
                         << QStringList { "fw_main_VRELL_A.frm" } << usb << "/dev/ttyACM0 (USB COM)" << true << false;
    QTest::newRow("copy without flash") << "--tcp h firmware a_boot.frm --no-flash" << "firmware"
                                        << QStringList { "a_boot.frm" } << tcp << "h:4001" << false << false;
    QTest::newRow("explicit flash") << "--tcp h --flash firmware a_boot.frm" << "firmware"
                                    << QStringList { "a_boot.frm" } << tcp << "h:4001" << true << false;
    QTest::newRow("standard output as file") << "--tcp h config-read -" << "config-read" << QStringList { "-" } << tcp
                                             << "h:4001" << true << false;
    QTest::newRow("diff as JSON, not logged") << "--tcp h --no-log config-diff saved.json --json" << "config-diff"
                                              << QStringList { "saved.json" } << tcp << "h:4001" << true << true;
    const int none = int(LinkOptions::Kind::None);
    QTest::newRow("ports, no link") << "ports" << "ports" << QStringList() << none << "" << true << false;
    QTest::newRow("ports as JSON") << "ports --json" << "ports" << QStringList() << none << "" << true << true;
    QTest::newRow("update as JSON, quiet") << "--tcp h --quiet update f.frm --json" << "update"
                                           << QStringList { "f.frm" } << tcp << "h:4001" << true << true;
}

void TestCliOptions::acceptedLines()
{
    QFETCH(QString, line);
    QFETCH(QString, command);
    QFETCH(QStringList, arguments);
    QFETCH(int, kind);
    QFETCH(QString, described);
    QFETCH(bool, flash);
    QFETCH(bool, json);

    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    const CliOptions options = CliOptions::parse(argv(line), &outcome);
    QVERIFY2(outcome == CliOptions::Outcome::Run, qPrintable(options.error));
    QCOMPARE(options.command, command);
    QCOMPARE(options.arguments, arguments);
    QCOMPARE(int(options.link.kind), kind);
    QCOMPARE(options.link.describe(), described);
    QCOMPARE(options.flashAfterCopy, flash);
    QCOMPARE(options.json, json);
    QCOMPARE(options.operationsLog, !line.contains(QStringLiteral("--no-log")));
    QCOMPARE(options.quiet, line.contains(QStringLiteral("--quiet")));
}

void TestCliOptions::refusedLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("reason");

    QTest::newRow("nothing") << "--tcp h" << "no subcommand";
    QTest::newRow("retries outside firmware") << "--tcp h --retries 4 info" << "--retries belongs to the firmware";
    QTest::newRow("retries beyond reason") << "--tcp h --retries 99 update f.frm" << "--retries wants 0 to 20";
    QTest::newRow("connect time-out on a serial port") << "--serial /dev/ttyUSB0 --connect-timeout 9000 info"
                                                       << "--connect-timeout belongs to --tcp";
    QTest::newRow("extra wait not a number") << "--tcp h --extra-wait 1s info" << "--extra-wait wants 0 to 600000";
    QTest::newRow("unknown subcommand") << "--tcp h erase" << "unknown subcommand \"erase\" (try --help)";
    // Within one slip (two in a longer word) the nearest subcommand is named.
    QTest::newRow("one slip") << "--tcp h infp" << "unknown subcommand \"infp\"; did you mean \"info\"? (try --help)";
    QTest::newRow("neighbours swapped") << "--tcp h udpate f.frm" << "did you mean \"update\"?";
    QTest::newRow("capitals") << "--tcp h REBOOT" << "did you mean \"reboot\"?";
    QTest::newRow("two slips, long word") << "--tcp h konfig-rite f" << "did you mean \"config-write\"?";
    QTest::newRow("two slips, short word") << "--tcp h mpdr" << "unknown subcommand \"mpdr\" (try --help)";
    QTest::newRow("stray argument") << "--tcp h info now" << "info takes no argument";
    QTest::newRow("file missing") << "--tcp h config-write" << "config-write wants FILE";
    QTest::newRow("two files") << "--tcp h firmware a.frm b.frm" << "firmware wants FILE";
    QTest::newRow("mode target") << "--tcp h mode sideways" << "mode wants main or boot";
    QTest::newRow("no link") << "info" << "--tcp, --serial or --usb";
    QTest::newRow("two links") << "--tcp h --serial /dev/ttyS0 info" << "exclude each other";
    QTest::newRow("same option twice") << "--tcp a --tcp b info" << "--tcp is given more than once";
    QTest::newRow("line options over tcp") << "--tcp h --baud 19200 info" << "belong to --serial";
    QTest::newRow("line options over usb") << "--usb /dev/ttyACM0 --parity even info" << "belong to --serial";
    QTest::newRow("address over usb") << "--usb /dev/ttyACM0 --address 3 info" << "no meaning over USB";
    QTest::newRow("address too large") << "--tcp h --address 65536 info" << "--address wants a number from 0 to 65535";
    QTest::newRow("address not decimal") << "--tcp h --address 0x10 info" << "--address wants";
    QTest::newRow("port missing after colon") << "--tcp h: info" << "the port after ':' is missing";
    QTest::newRow("port too large") << "--tcp h:70000 info" << "from 0 to 65535";
    QTest::newRow("port not a number") << "--tcp h:http info" << "from 0 to 65535";
    QTest::newRow("host missing") << "--tcp :4001 info" << "the host is missing";
    QTest::newRow("unclosed bracket") << "--tcp [::1:4001 info" << "missing ']'";
    QTest::newRow("baud zero") << "--serial p --baud 0 info" << "--baud wants a positive number";
    QTest::newRow("nine data bits") << "--serial p --data-bits 9 info" << "--data-bits wants 5, 6, 7 or 8";
    QTest::newRow("mark parity") << "--serial p --parity mark info" << "--parity wants none, even or odd";
    QTest::newRow("three stop bits") << "--serial p --stop-bits 3 info" << "--stop-bits wants 1 or 2";
    QTest::newRow("flash outside firmware") << "--tcp h --flash info" << "belong to the firmware subcommand";
    QTest::newRow("flash and no-flash") << "--tcp h --flash --no-flash firmware a.frm" << "exclude each other";
    QTest::newRow("json outside info") << "--tcp h --json reboot" << "--json belongs to the info, config-diff, apply, scan and update";
    QTest::newRow("unknown option") << "--tcp h --speed 5 info" << "speed";
    // The refusal is JSON too when JSON was asked for, even on a line the parser rejects.
    QTest::newRow("unknown option, JSON asked") << "--json --tcp h --speed 5 info" << "speed";
    QTest::newRow("list for firmware") << "--tcp h --address 1-3 firmware a.frm" << "firmware takes one address";
    QTest::newRow("range backwards") << "--tcp h --address 9-3 info" << "not \"9-3\"";
    QTest::newRow("address twice in a list") << "--tcp h --address 1-5,3 info" << "names 3 twice";
    QTest::newRow("empty list item") << "--tcp h --address 1,,2 info" << "not \"\"";
    // Only the low byte travels: one board would be worked on twice.
    QTest::newRow("one board twice by its low byte") << "--tcp h --address 1,257,513 reboot"
                                                     << "names 1 and 257, which are one board";
    QTest::newRow("standard input for a list") << "--tcp h --address 1,2 config-write -"
                                               << "reads standard input once";
    QTest::newRow("keep going for one board") << "--tcp h --keep-going info" << "belongs to a list";
    QTest::newRow("scan range outside info") << "--tcp h --from 3 info" << "belong to the scan subcommand";
    QTest::newRow("scan over usb") << "--usb /dev/ttyACM0 scan" << "USB COM carries one board";
    QTest::newRow("scan with an address") << "--tcp h --address 4 scan" << "--address does not belong";
    QTest::newRow("scan beyond a byte") << "--tcp h scan --to 256" << "--to wants an address from 0 to 255";
    QTest::newRow("scan range backwards") << "--tcp h scan --from 9 --to 3" << "lies before";
    QTest::newRow("scan time-out zero") << "--tcp h scan --timeout 0" << "--timeout wants";
    QTest::newRow("ports with a link") << "--serial /dev/ttyUSB0 ports" << "--serial does not belong";
    QTest::newRow("ports with an address") << "ports --address 3" << "--address does not belong";
}

void TestCliOptions::refusedLines()
{
    QFETCH(QString, line);
    QFETCH(QString, reason);

    CliOptions::Outcome outcome = CliOptions::Outcome::Run;
    const CliOptions options = CliOptions::parse(argv(line), &outcome);
    QCOMPARE(int(outcome), int(CliOptions::Outcome::Invalid));
    QVERIFY2(options.error.contains(reason), qPrintable(options.error));
    QCOMPARE(options.json, line.contains(QStringLiteral("--json")));
}

void TestCliOptions::addressListsAndScanRanges_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QList<int>>("addresses");
    QTest::addColumn<int>("linkAddress");
    QTest::addColumn<QList<int>>("scan"); // from, to, time-out

    const QList<int> defaultScan { 0, 255, 100 };
    QTest::newRow("one address") << "--tcp h --address 7 info" << QList<int> { 7 } << 7 << defaultScan;
    QTest::newRow("no address") << "--tcp h reboot" << QList<int> { 0 } << 0 << defaultScan;
    QTest::newRow("range and single") << "--tcp h --address 3-5,25 --keep-going update f.frm"
                                      << QList<int> { 3, 4, 5, 25 } << 3 << defaultScan;
    QTest::newRow("order kept") << "--serial p --address 9,2,0-1 --json mode boot" << QList<int> { 9, 2, 0, 1 } << 9
                                << defaultScan;
    QTest::newRow("above a byte, low bytes apart") << "--tcp h --address 300,2 info" << QList<int> { 300, 2 } << 300
                                                   << defaultScan;
    QTest::newRow("scan defaults") << "--tcp h scan" << QList<int> { 0 } << 0 << defaultScan;
    QTest::newRow("scan range") << "--serial p scan --from 1 --to 20 --timeout 40 --json" << QList<int> { 0 } << 0
                                << QList<int> { 1, 20, 40 };
}

void TestCliOptions::addressListsAndScanRanges()
{
    QFETCH(QString, line);
    QFETCH(QList<int>, addresses);
    QFETCH(int, linkAddress);
    QFETCH(QList<int>, scan);

    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    const CliOptions options = CliOptions::parse(argv(line), &outcome);
    QVERIFY2(outcome == CliOptions::Outcome::Run, qPrintable(options.error));
    QCOMPARE(options.addresses, addresses);
    QCOMPARE(options.link.deviceAddress, linkAddress);
    QCOMPARE(options.isList(), addresses.size() > 1);
    QCOMPARE(QList<int>({ options.scanFrom, options.scanTo, options.scanTimeoutMs }), scan);
}

void TestCliOptions::helpAndVersionStopEarly()
{
    // Help wins over whatever else is wrong on the line.
    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    CliOptions::parse(argv(QStringLiteral("--help erase")), &outcome);
    QCOMPARE(int(outcome), int(CliOptions::Outcome::Help));
    CliOptions::parse(argv(QStringLiteral("--version")), &outcome);
    QCOMPARE(int(outcome), int(CliOptions::Outcome::Version));

    // The exit codes a script relies on are documented in the help.
    const QString help = CliOptions::helpText();
    for (const char* line : { "0  success", "2  usage", "3  cannot connect", "4  no reply", "5  wrong reply",
                              "6  file refused", "7  firmware transfer failed", "8  flash refused" })
        QVERIFY2(help.contains(QLatin1String(line)), line);
}

void TestCliOptions::subcommandHelpTellsItsOwnPart_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("usage"); // the first line; empty for the whole help
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QStringList>("absent");

    QTest::newRow("info") << "info --help" << "Usage: quorvel-cli LINK [OPTIONS] info"
                          << QStringList { "  info                 Board type", "--tcp HOST[:PORT]", "--quiet",
                                           "  5  wrong reply", "quorvel-cli --tcp 192.168.0.7 info" }
                          << QStringList { "config-write FILE", "  6  file refused", "  1  config-diff", "mode boot" };
    // After a whole command line too; the subcommand's own options come along.
    QTest::newRow("firmware") << "--tcp h firmware a.frm --no-flash --help" << "Usage: quorvel-cli LINK [OPTIONS] firmware FILE"
                              << QStringList { "      --no-flash", "  7  firmware transfer failed", "  8  flash refused",
                                               "firmware fw_main_VRELL_A.frm" }
                              << QStringList { "Flash the image the board holds", "  9  config-write", "--from A" };
    QTest::newRow("mode") << "mode --help" << "Usage: quorvel-cli LINK [OPTIONS] mode main|boot"
                          << QStringList { "  mode main|boot", "--tcp 192.168.0.7 mode boot" }
                          << QStringList { "Reboot the board.", "  6  file refused", "Examples:\n  quorvel-cli --tcp 192.168.0.7 info" };
    QTest::newRow("scan") << "scan --help" << "Usage: quorvel-cli LINK [OPTIONS] scan"
                          << QStringList { "--from A, --to B", "--timeout MS", "  11 scan" }
                          << QStringList { "  update FILE", "  6  file refused" };
    QTest::newRow("update") << "update --help" << "Usage: quorvel-cli LINK [OPTIONS] update FILE"
                            << QStringList { "oldVersion", "  10 update", "  4  no reply" }
                            << QStringList { "  11 scan", "  9  config-write" };
    QTest::newRow("unknown word") << "--help erase" << "" << QStringList { "Subcommands:" } << QStringList {};
}

void TestCliOptions::subcommandHelpTellsItsOwnPart()
{
    QFETCH(QString, line);
    QFETCH(QString, usage);
    QFETCH(QStringList, present);
    QFETCH(QStringList, absent);

    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    const CliOptions options = CliOptions::parse(argv(line), &outcome);
    QCOMPARE(int(outcome), int(CliOptions::Outcome::Help));
    if (usage.isEmpty()) {
        QVERIFY(options.command.isEmpty());
        return;
    }
    const QString help = CliOptions::subcommandHelp(options.command);
    QCOMPARE(help.section(QLatin1Char('\n'), 0, 0), usage);
    for (const QString& text : present + QStringList { "  0  success", "  2  usage", "Other options:" })
        QVERIFY2(help.contains(text), qPrintable(text + QStringLiteral("\n---\n") + help));
    for (const QString& text : absent)
        QVERIFY2(!help.contains(text), qPrintable(text + QStringLiteral("\n---\n") + help));
}

void TestCliOptions::linkTimingKeepsItsDefaults_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("connectMs");
    QTest::addColumn<int>("extraMs");
    QTest::addColumn<int>("retries");

    // Without the options, exactly the window's timing.
    QTest::newRow("defaults") << "--tcp h update f.frm" << 5000 << 0 << 2;
    QTest::newRow("slow gateway") << "--tcp h --connect-timeout 20000 --extra-wait 1500 update f.frm --retries 5"
                                  << 20000 << 1500 << 5;
    QTest::newRow("no retry at all") << "--serial /dev/ttyUSB0 --retries 0 firmware f.frm" << 5000 << 0 << 0;
}

void TestCliOptions::linkTimingKeepsItsDefaults()
{
    QFETCH(QString, line);
    QFETCH(int, connectMs);
    QFETCH(int, extraMs);
    QFETCH(int, retries);

    CliOptions::Outcome outcome = CliOptions::Outcome::Invalid;
    const CliOptions options = CliOptions::parse(argv(line), &outcome);
    QVERIFY2(outcome == CliOptions::Outcome::Run, qPrintable(options.error));
    QCOMPARE(options.link.connectTimeoutMs, connectMs);
    QCOMPARE(options.extraWaitMs, extraMs);
    QCOMPARE(options.retries, retries);
}

QTEST_GUILESS_MAIN(TestCliOptions)
#include "tst_clioptions.moc"
