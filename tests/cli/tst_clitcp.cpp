// quorvel-cli end to end against the virtual board over TCP: identity, a
// configuration saved, changed, restored and read back byte for byte, a file
// for another board refused with nothing sent, firmware images by both
// methods arriving whole, acknowledgements that come late counted only for
// their own block (over a pty as well), and the exit code of every kind of
// failure.

#include "boardstate.h"
#include "cliprocess.h"
#include "testsettings.h"
#include "configdiff.h"
#include "configfile.h"
#include "virtualboardprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestCliTcp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void infoShowsTheReadout_data();
    void infoShowsTheReadout();
    void deviceAddressReachesTheFrames();
    void configurationSurvivesSaveChangeRestore_data();
    void configurationSurvivesSaveChangeRestore();
    void fileForAnotherBoardIsRefusedWithNothingSent_data();
    void fileForAnotherBoardIsRefusedWithNothingSent();
    void badConfigurationFileNeverReachesTheBoard();
    void configWriteStopsAtTheFirstRefusedBlock_data();
    void configWriteStopsAtTheFirstRefusedBlock();
    void writeTheBoardDidNotKeepFailsNamingTheFields();
    void firmwareArrivesWhole_data();
    void firmwareArrivesWhole();
    void modeSwitchAndReboot();
    void operationsLogHoldsOneLinePerOperation_data();
    void operationsLogHoldsOneLinePerOperation();

    void failuresHaveTheirExitCodes_data();
    void failuresHaveTheirExitCodes();
    void jsonFailureIsOneObjectOnStandardOutput_data();
    void jsonFailureIsOneObjectOnStandardOutput();
    void quietAndTraceShapeStandardError_data();
    void quietAndTraceShapeStandardError();
    void cannotConnect();
    void copyCutShortSaysSo_data();
    void copyCutShortSaysSo();

    void scanFindsExactlyTheBoardsPresent_data();
    void scanFindsExactlyTheBoardsPresent();
    void boardTextsStayOnTheirLine_data();
    void boardTextsStayOnTheirLine();
    void updateEndsWithTheNewVersion_data();
    void updateEndsWithTheNewVersion();
    void updateStopsAtTheFailedStep_data();
    void updateStopsAtTheFailedStep();
    void listStopsOrGoesOnAtASilentAddress_data();
    void listStopsOrGoesOnAtASilentAddress();
    void lateAcknowledgementCountsOnlyForItsBlock_data();
    void lateAcknowledgementCountsOnlyForItsBlock();

private:
    QTemporaryDir folder;
};

namespace {

QStringList linkTo(const VirtualBoardProcess& board)
{
    return { QStringLiteral("--tcp"), QStringLiteral("%1:%2").arg(board.host()).arg(board.port()) };
}

CliProcess::Result cli(const VirtualBoardProcess& board, const QStringList& arguments)
{
    return CliProcess::run(linkTo(board) + arguments);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QString randomHex(QRandomGenerator& random, int size, bool flags = false)
{
    QByteArray bytes;
    for (int i = 0; i < size; ++i)
        bytes.append(char(flags ? random.bounded(2) : random.bounded(256)));
    return QString::fromLatin1(bytes.toHex());
}

// A board state file with random bytes in every block, so that carried and
// reserved bytes are not zero (the input modes only 0 or 1: the board's
// replies are normalised to that by the program, as a board would hold them).
QString randomStateFile(const QString& path, quint32 seed)
{
    QRandomGenerator random(seed);
    QJsonObject config;
    config.insert("diTable", randomHex(random, 128));
    config.insert("diDebounce", randomHex(random, 128));
    config.insert("diInputModes", randomHex(random, 128, true));
    config.insert("doTable", randomHex(random, 144));
    config.insert("ports", randomHex(random, 56));
    config.insert("protocol", randomHex(random, 48));
    QJsonObject root;
    root.insert("configuration", config);
    writeFile(path, QJsonDocument(root).toJson());
    return path;
}

QJsonObject configurationOf(VirtualBoardProcess& board)
{
    return board.state().value("configuration").toObject();
}

QJsonValue edited(const QJsonValue& node, QStringList path, const QJsonValue& value)
{
    const QString head = path.takeFirst();
    if (node.isArray()) {
        QJsonArray array = node.toArray();
        array.replace(head.toInt(), path.isEmpty() ? value : edited(array.at(head.toInt()), path, value));
        return array;
    }
    QJsonObject object = node.toObject();
    object.insert(head, path.isEmpty() ? value : edited(object.value(head), path, value));
    return object;
}

// Configuration writes; none of them may reach a board that refused a file.
const QRegularExpression writeRequest(QStringLiteral("RX (72|9e|a1|a2|a5|a6|a8|a9)\\b"));

QByteArray firmwareImage(int size, quint32 seed)
{
    // Long runs for the run-length coder, noise between them.
    QRandomGenerator random(seed);
    QByteArray image;
    while (image.size() < size) {
        if (random.bounded(3) == 0)
            image.append(QByteArray(int(random.bounded(4, 3000)), char(random.bounded(256))));
        else
            for (int i = random.bounded(1, 600); i > 0; --i)
                image.append(char(random.bounded(256)));
    }
    image.truncate(size);
    return image;
}

QString sha1(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

} // namespace

void TestCliTcp::initTestCase()
{
    // The tool's operations log goes to a private folder, never the user's.
    TestSettings::isolate();
    if (CliProcess::programPath().isEmpty() || VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no quorvel-cli or no virtual board");
    QVERIFY(folder.isValid());
}

void TestCliTcp::infoShowsTheReadout_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("json");

    QTest::newRow("main firmware") << QStringList { "--board-type", "2", "--firmware", "1.3.4", "--bootloader", "0.0.9",
                                                    "--error-code", "17" }
                                   << QStringList { "Версия платы: VRELL_B", "Версия прошивки: 1.3.4",
                                                    "Статус устройства: Основная прошивка",
                                                    "Версия загрузчика: 0.0.9", "Код ошибки загрузчика: 17" }
                                   << "{\"boardName\":\"VRELL_B\",\"boardType\":2,\"bootloaderVersion\":\"0.0.9\","
                                      "\"complete\":true,\"errorCode\":17,\"firmwareVersion\":\"1.3.4\",\"mode\":0,"
                                      "\"modeText\":\"Основная прошивка\"}";
    QTest::newRow("bootloader, negative code")
        << QStringList { "--board-type", "4", "--mode", "boot", "--bootloader", "0.0.7", "--error-code", "-1" }
        << QStringList { "Версия платы: VRELL_D", "Статус устройства: Загрузчик", "Код ошибки загрузчика: -1" }
        << "\"errorCode\":-1";
    // Too old to be asked its type: the window leaves the type unknown, and so
    // does the tool, without calling the readout incomplete.
    // Texts from the board reach the terminal without their control characters.
    QTest::newRow("escape sequences in the version") << QStringList { "--firmware", "1.2\x1b[31m\x1b]0;x\x07.0" }
                                                     << QStringList { "Версия прошивки: 1.2\\u001b[31m\\u001b]0;x\\u0007.0" }
                                                     << "\"firmwareVersion\":\"1.2\\u001b[31m\\u001b]0;x\\u0007.0\"";
    QTest::newRow("firmware without board version") << QStringList { "--firmware", "0.0.3" }
                                                    << QStringList { "Версия платы: -", "Версия прошивки: 0.0.3" }
                                                    << "\"boardType\":null";
}

void TestCliTcp::infoShowsTheReadout()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QStringList, lines);
    QFETCH(QString, json);

    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));

    const CliProcess::Result text = cli(board, { "info" });
    QVERIFY2(text.finished && text.exitCode == 0, qPrintable(text.describe()));
    const QStringList shown = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(shown.size(), 5);
    for (const QString& line : lines)
        QVERIFY2(shown.contains(line), qPrintable(line + "\n" + text.describe()));

    const CliProcess::Result object = cli(board, { "info", "--json" });
    QVERIFY2(object.exitCode == 0, qPrintable(object.describe()));
    QVERIFY2(object.out.contains(json), qPrintable(object.describe()));
    QVERIFY(QJsonDocument::fromJson(object.rawOut).isObject());
}

void TestCliTcp::deviceAddressReachesTheFrames()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--address", "7" }), qPrintable(board.errorString()));

    // 263 is 0x107: only its low byte, 7, travels in the frames.
    const CliProcess::Result low = cli(board, { "--address", "263", "info" });
    QVERIFY2(low.exitCode == 0, qPrintable(low.describe()));

    const CliProcess::Result other = cli(board, { "--address", "8", "info" });
    QVERIFY2(other.exitCode == 4, qPrintable(other.describe()));
    QVERIFY2(other.err.contains("Устройство не ответило"), qPrintable(other.describe()));
}

void TestCliTcp::configurationSurvivesSaveChangeRestore_data()
{
    QTest::addColumn<QStringList>("boardArguments");

    QTest::newRow("VRELL_A") << QStringList { "--board-type", "1" };
    QTest::newRow("VRELL_B, debounce without input modes") << QStringList { "--board-type", "2", "--firmware", "0.0.5" };
    QTest::newRow("VRELL_A, old layouts") << QStringList { "--board-type", "1", "--firmware", "0.0.4", "--old-layout" };
    QTest::newRow("VRELL_C, no DI") << QStringList { "--board-type", "3" };
    QTest::newRow("VRELL_D, no DO") << QStringList { "--board-type", "4" };
}

void TestCliTcp::configurationSurvivesSaveChangeRestore()
{
    QFETCH(QStringList, boardArguments);
    const QString tag = QString::fromLatin1(QTest::currentDataTag()).replace(QRegularExpression("\\W"), "_");
    const QString saved = folder.filePath(tag + "-saved.json");
    const QString changed = folder.filePath(tag + "-changed.json");
    const QString again = folder.filePath(tag + "-again.json");

    VirtualBoardProcess board;
    const QString stateFile = randomStateFile(folder.filePath(tag + "-state.json"), qHash(tag));
    QVERIFY2(board.start(boardArguments + QStringList { "--state", stateFile }), qPrintable(board.errorString()));
    const QJsonObject before = configurationOf(board);
    QVERIFY(!before.isEmpty());

    // Save.
    CliProcess::Result r = cli(board, { "config-read", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    const QByteArray savedBytes = readFile(saved);
    const QJsonObject file = QJsonDocument::fromJson(savedBytes).object();
    QVERIFY(!file.isEmpty());

    // Change the board by writing an edited copy, as a technician would.
    QJsonValue edit = file;
    edit = edited(edit, { "rs485", "0", "baudRate" }, 57600);
    edit = edited(edit, { "iec101", "1", "commonAddress" }, 1234);
    const bool hasDi = !file.value("di").toArray().isEmpty();
    const bool hasDo = !file.value("do").toArray().isEmpty();
    if (hasDi)
        edit = edited(edit, { "di", "0", "address" }, 4000);
    if (hasDo)
        edit = edited(edit, { "do", "1", "holdMs" }, 500);
    QVERIFY(writeFile(changed, QJsonDocument(edit.toObject()).toJson()));
    r = cli(board, { "config-write", changed });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Параметры DI/DO успешно записаны") && r.out.contains("Параметры RS-485 успешно записаны"),
             qPrintable(r.describe()));
    const QJsonObject during = configurationOf(board);
    QVERIFY(during.value("ports") != before.value("ports"));
    QCOMPARE(during.value("ports").toString().left(8), QStringLiteral("00e10000")); // 57600, little-endian
    QCOMPARE(during.value("diTable") != before.value("diTable"), hasDi);
    QCOMPARE(during.value("doTable") != before.value("doTable"), hasDo);
    // The comparison names exactly the changed fields, the board's value first.
    QStringList differences;
    auto difference = [&file, &differences](const char* section, int index, const char* field, qint64 onBoard) {
        const QJsonValue saved = file.value(section).toArray().at(index).toObject().value(field);
        // Random board values outside the editors' ranges were saved as {"raw": N}.
        const QString savedText = saved.isObject()
            ? QStringLiteral("raw %1").arg(qint64(saved.toObject().value("raw").toDouble()))
            : QString::number(qint64(saved.toDouble()));
        differences << QStringLiteral("%1[%2].%3: %4 -> %5").arg(section).arg(index).arg(field).arg(onBoard).arg(savedText);
    };
    if (hasDi)
        difference("di", 0, "address", 4000);
    if (hasDo)
        difference("do", 1, "holdMs", 500);
    difference("rs485", 0, "baudRate", 57600);
    difference("iec101", 1, "commonAddress", 1234);
    auto requests = [&board] { return board.state().value("counters").toObject().value("requests").toInt(); };
    int counted = requests();
    r = cli(board, { "config-read", again });
    const int readRequests = requests() - counted;
    counted = requests();
    r = cli(board, { "config-diff", saved });
    QCOMPARE(requests() - counted, readRequests); // no more exchanges than a read
    QVERIFY2(r.exitCode == 1, qPrintable(r.describe()));
    QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts), differences);
    r = cli(board, { "config-diff", "--json", saved });
    QVERIFY2(r.exitCode == 1, qPrintable(r.describe()));
    const QJsonArray json = QJsonDocument::fromJson(r.rawOut).array();
    QCOMPARE(json.size(), differences.size());
    QCOMPARE(json.last().toObject().value("field").toString(), QStringLiteral("iec101[1].commonAddress"));
    QCOMPARE(json.last().toObject().value("device").toInt(), 1234);
    // What was written is what is read back.
    r = cli(board, { "config-read", again });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(QJsonDocument::fromJson(readFile(again)).object(), edit.toObject());

    // Restore: the board holds exactly what it held, and says so.
    r = cli(board, { "config-write", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(configurationOf(board), before);
    r = cli(board, { "config-read", again });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(readFile(again), savedBytes);
    r = cli(board, { "config-diff", saved });
    QVERIFY2(r.exitCode == 0 && r.out.isEmpty(), qPrintable(r.describe()));

    // The same through standard output and input.
    r = cli(board, { "config-read", "-" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(r.rawOut, savedBytes);
    r = CliProcess::run(linkTo(board) + QStringList { "config-write", "-" }, 60000, savedBytes);
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(configurationOf(board), before);
}

void TestCliTcp::fileForAnotherBoardIsRefusedWithNothingSent_data()
{
    QTest::addColumn<QStringList>("otherBoard");
    QTest::addColumn<QString>("reason");

    QTest::newRow("another type") << QStringList { "--board-type", "2" }
                                  << "made for VRELL_A (type 1), this board is VRELL_B (type 2)";
    QTest::newRow("another layout") << QStringList { "--board-type", "1", "--firmware", "0.0.4" }
                                    << "this board (firmware 0.0.4) exchanges 16 DI without debounce or input modes, "
                                       "DO short entries";
}

void TestCliTcp::fileForAnotherBoardIsRefusedWithNothingSent()
{
    QFETCH(QStringList, otherBoard);
    QFETCH(QString, reason);

    const QString saved = folder.filePath("from-a.json");
    {
        VirtualBoardProcess a;
        QVERIFY2(a.start({ "--board-type", "1" }), qPrintable(a.errorString()));
        const CliProcess::Result r = cli(a, { "config-read", saved });
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    }

    VirtualBoardProcess b;
    QVERIFY2(b.start(otherBoard), qPrintable(b.errorString()));
    const QJsonObject before = configurationOf(b);
    const CliProcess::Result r = cli(b, { "config-write", saved });
    QVERIFY2(r.exitCode == 6, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(reason) && r.err.contains("nothing was sent"), qPrintable(r.describe()));
    QVERIFY2(!r.out.contains("успешно"), qPrintable(r.describe()));

    QCOMPARE(configurationOf(b), before);
    const QString log = QString::fromUtf8(b.log());
    QVERIFY2(log.contains("RX 78"), qPrintable(log)); // the tool did talk to this board
    QVERIFY2(!log.contains(writeRequest), qPrintable(log));
}

void TestCliTcp::badConfigurationFileNeverReachesTheBoard()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start(), qPrintable(board.errorString()));

    const QString broken = folder.filePath("broken.json");
    QVERIFY(writeFile(broken, "{ \"format\": \"quorvel-configuration\", \"version\": 1 }"));
    CliProcess::Result r = cli(board, { "config-write", broken });
    QVERIFY2(r.exitCode == 6, qPrintable(r.describe()));
    QVERIFY2(r.err.contains("board: missing"), qPrintable(r.describe()));

    r = cli(board, { "config-write", folder.filePath("no-such-file.json") });
    QVERIFY2(r.exitCode == 6, qPrintable(r.describe()));
    QVERIFY2(r.err.contains("cannot read"), qPrintable(r.describe()));

    // Input without end, from a device or a pipe, is cut off, not hoarded.
    r = cli(board, { "config-write", "/dev/zero" });
    QVERIFY2(r.exitCode == 6 && r.err.contains("more than 4 MiB"), qPrintable(r.describe()));
    r = CliProcess::run(linkTo(board) + QStringList { "config-write", "-" }, 60000, QByteArray(5 << 20, 'y'));
    QVERIFY2(r.exitCode == 6 && r.err.contains("more than 4 MiB"), qPrintable(r.describe()));
    QCOMPARE(board.state().value("counters").toObject().value("requests").toInt(), 0);

    // A value the window's editors refuse, typed into a good file (baud 0 can cut a port off).
    const QString saved = folder.filePath("good.json");
    r = cli(board, { "config-read", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    const QJsonObject good = QJsonDocument::fromJson(readFile(saved)).object();
    QVERIFY(writeFile(saved, QJsonDocument(edited(good, { "rs485", "0", "baudRate" }, 0).toObject()).toJson()));
    const int requestsBefore = board.state().value("counters").toObject().value("requests").toInt();
    r = cli(board, { "config-write", saved });
    QVERIFY2(r.exitCode == 6 && r.err.contains("rs485[0].baudRate: wants a whole number from 1 to 4294967295, got 0"),
             qPrintable(r.describe()));
    QCOMPARE(board.state().value("counters").toObject().value("requests").toInt(), requestsBefore);
}

void TestCliTcp::configWriteStopsAtTheFirstRefusedBlock_data()
{
    QTest::addColumn<QString>("refused");
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("unchanged"); // state blocks the write never reached

    QTest::newRow("DI input modes") << "0xA9"
                                    << "did not take DI input modes (0xA9); stopped there. Written: DI table (0xA2), "
                                       "DI debounce (0xA8). Not written: DO table (0xA6), RS-485 ports (0x72), "
                                       "IEC101 settings (0x9E)."
                                    << QStringList { "diInputModes", "doTable", "ports", "protocol" };
}

void TestCliTcp::configWriteStopsAtTheFirstRefusedBlock()
{
    QFETCH(QString, refused);
    QFETCH(QString, report);
    QFETCH(QStringList, unchanged);

    VirtualBoardProcess first;
    QVERIFY2(first.start({ "--state", randomStateFile(folder.filePath("stop-state.json"), 77) }),
             qPrintable(first.errorString()));
    const QString saved = folder.filePath("stop.json");
    CliProcess::Result r = cli(first, { "config-read", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));

    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--refuse", refused + QStringLiteral(",1") }), qPrintable(board.errorString()));
    const QJsonObject before = configurationOf(board);
    r = cli(board, { "config-write", saved });
    QVERIFY2(r.exitCode == 5 && r.err.contains(report), qPrintable(r.describe()));
    const QJsonObject after = configurationOf(board);
    for (const QString& block : unchanged)
        QCOMPARE(after.value(block), before.value(block));
    // What came before the refusal did arrive.
    QVERIFY(after.value("diTable") != before.value("diTable"));
}

// A board that acknowledges the DI table but keeps its old one: the write is
// read back, fails with the field the board did not take, and says nothing of
// success; without the read-back the acknowledgements are all there is.
void TestCliTcp::writeTheBoardDidNotKeepFailsNamingTheFields()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--state", randomStateFile(folder.filePath("kept-state.json"), 5) }),
             qPrintable(board.errorString()));
    const QString saved = folder.filePath("kept.json");
    CliProcess::Result r = cli(board, { "config-read", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    const QJsonObject file = QJsonDocument::fromJson(readFile(saved)).object();
    QJsonValue edit = edited(file, { "di", "2", "address" }, 4000);
    edit = edited(edit, { "rs485", "0", "baudRate" }, 57600);
    QVERIFY(writeFile(saved, QJsonDocument(edit.toObject()).toJson()));

    QVERIFY(board.command("forget 0xa2").startsWith("OK"));
    r = cli(board, { "config-write", saved });
    QVERIFY2(r.exitCode == 9, qPrintable(r.describe()));
    const QString kept = ConfigDifference::valueText(file.value("di").toArray().at(2).toObject().value("address"));
    QVERIFY2(r.err.contains(QStringLiteral("\ndi[2].address: %1 -> 4000\n").arg(kept)), qPrintable(r.describe()));
    QVERIFY2(!r.err.contains("rs485[0]") && !r.out.contains("успешно"), qPrintable(r.describe()));

    r = cli(board, { "config-write", "--no-verify", saved });
    QVERIFY2(r.exitCode == 0 && r.err.contains("--no-verify"), qPrintable(r.describe()));
}

void TestCliTcp::firmwareArrivesWhole_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("method");
    QTest::addColumn<bool>("flashNow");
    QTest::addColumn<QString>("flashed");

    QTest::newRow("main firmware, run-length coded")
        << QStringList { "--mode", "boot", "--bootloader", "1.1.0" } << "fw_main_VRELL_A.frm" << "RLE" << true
        << "Основная прошивка обновлена";
    QTest::newRow("main firmware, raw for an old bootloader")
        << QStringList { "--mode", "boot", "--bootloader", "0.0.6" } << "Fw_MAIN_vrell_a_1.4.frm" << "LEGACY" << true
        << "Основная прошивка обновлена";
    QTest::newRow("bootloader, always raw") << QStringList { "--board-type", "4" } << "boot_VRELL_D.frm" << "LEGACY"
                                            << true << "Загрузчик обновлён";
    QTest::newRow("copy now, flash later") << QStringList { "--mode", "boot", "--board-type", "2" }
                                           << "main-VRELL_B.frm" << "RLE" << false << "Основная прошивка обновлена";
}

void TestCliTcp::firmwareArrivesWhole()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QString, fileName);
    QFETCH(QString, method);
    QFETCH(bool, flashNow);
    QFETCH(QString, flashed);

    const QByteArray image = firmwareImage(70000, qHash(fileName));
    const QString path = folder.filePath(fileName);
    QVERIFY(writeFile(path, image));

    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));

    QStringList arguments = { "firmware", path };
    if (!flashNow)
        arguments << "--no-flash";
    CliProcess::Result r = cli(board, arguments);
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(QStringLiteral("[firmware] send method=%1 board=").arg(method)), qPrintable(r.describe()));
    QVERIFY2(r.err.contains("70000 / 70000 bytes  100%"), qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Копирование завершено!"), qPrintable(r.describe()));

    QJsonObject state = board.state();
    if (!flashNow) {
        QVERIFY2(!r.out.contains(flashed), qPrintable(r.describe()));
        QCOMPARE(state.value("counters").toObject().value("flashes").toInt(), 0);
        QCOMPARE(state.value("transfer").toObject().value("method").toString(), method);
        r = cli(board, { "flash" });
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        state = board.state();
    }
    QVERIFY2(r.out.contains(flashed), qPrintable(r.describe()));
    QCOMPARE(state.value("counters").toObject().value("flashes").toInt(), 1);
    QCOMPARE(state.value("flashedSha1").toString(), sha1(image));

    const QString received = folder.filePath(fileName + ".received");
    QVERIFY2(board.command("image " + received).startsWith("OK"), "the board holds no image");
    QCOMPARE(readFile(received), image);
}

void TestCliTcp::modeSwitchAndReboot()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--mode", "boot" }), qPrintable(board.errorString()));

    CliProcess::Result r = cli(board, { "mode", "boot" });
    QVERIFY2(r.exitCode == 0 && r.err.contains("nothing sent"), qPrintable(r.describe()));
    QCOMPARE(board.state().value("counters").toObject().value("modeSwitches").toInt(), 0);

    r = cli(board, { "mode", "main" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Устройство запускает основную прошивку."), qPrintable(r.describe()));
    QCOMPARE(board.state().value("mode").toInt(), 0);

    r = cli(board, { "mode", "boot" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Устройство переходит в режим загрузчика."), qPrintable(r.describe()));
    QCOMPARE(board.state().value("mode").toInt(), 1);
    QCOMPARE(board.state().value("counters").toObject().value("modeSwitches").toInt(), 2);

    r = cli(board, { "reboot" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Команда перезагрузки отправлена."), qPrintable(r.describe()));
    QCOMPARE(board.state().value("counters").toObject().value("reboots").toInt(), 1);
}

void TestCliTcp::operationsLogHoldsOneLinePerOperation_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("endings"); // of the lines the run appends, in order

    BoardState typeA;
    typeA.modeKnown = true;
    typeA.boardTypeKnown = true;
    typeA.boardType = 1;
    typeA.firmwareVersionKnown = true;
    typeA.firmwareVersion = "0.0.6";
    DiDoConfig dido {};
    const QString fileForTypeA = folder.filePath("type-a.json");
    writeFile(fileForTypeA, ConfigFile::fromBoard(typeA, dido, {}, {}).toBytes());
    const QString mainFile = folder.filePath("fw_main_VRELL_A_log.frm");
    writeFile(mainFile, firmwareImage(3000, 2));

    QTest::newRow("refused flash") << QStringList { "--mode", "boot", "--flash-refuse", "42" } << QStringList { "flash" }
                                   << QStringList { "operation=flash\toutcome=refused\terror=42" };
    QTest::newRow("copy and flash") << QStringList { "--mode", "boot" } << QStringList { "firmware", mainFile }
                                    << QStringList { "operation=firmware-transfer rle\toutcome=ok",
                                                     "operation=flash\toutcome=ok" };
    QTest::newRow("mode switch") << QStringList {} << QStringList { "mode", "boot" }
                                 << QStringList { "operation=mode-switch bootloader\toutcome=ok" };
    QTest::newRow("file for another board") << QStringList { "--board-type", "2" }
                                            << QStringList { "config-write", fileForTypeA }
                                            << QStringList { "operation=config-write\toutcome=file refused, nothing sent" };
    QTest::newRow("silent board") << QStringList { "--silent", "1000" } << QStringList { "reboot" }
                                  << QStringList { "operation=reboot\toutcome=no reply" };
    const QString updateFile = folder.filePath("fw_main_VRELL_A_update.frm");
    writeFile(updateFile, firmwareImage(3000, 4) + "version=2.4.1");
    QTest::newRow("update") << QStringList {} << QStringList { "update", updateFile }
                            << QStringList { "operation=mode-switch bootloader\toutcome=ok",
                                             "operation=firmware-transfer rle\toutcome=ok", "operation=flash\toutcome=ok",
                                             "operation=mode-switch main\toutcome=ok",
                                             "operation=update\toutcome=ok, firmware 1.2.0 -> 2.4.1" };
    QTest::newRow("left out") << QStringList {} << QStringList { "--no-log", "reboot" } << QStringList {};
    QTest::newRow("nothing changed") << QStringList {} << QStringList { "info" } << QStringList {};
}

void TestCliTcp::operationsLogHoldsOneLinePerOperation()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, endings);

    // The tool's data folder is a private one for this row.
    QTemporaryDir data;
    const QByteArray kept = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, arguments);
    qputenv("XDG_DATA_HOME", kept);
    QVERIFY2(r.finished, qPrintable(r.describe()));

    const QStringList lines = QString::fromUtf8(readFile(data.filePath("Ombrek/KELDORA_NODE/operations.log")))
                                  .split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), endings.size());
    const QString link = QStringLiteral("\tprogram=cli\tlink=%1:%2, address 0\t").arg(board.host()).arg(board.port());
    for (int i = 0; i < lines.size(); ++i) {
        QVERIFY2(lines.at(i).contains(link), qPrintable(lines.at(i)));
        QVERIFY2(lines.at(i).endsWith(endings.at(i)), qPrintable(lines.at(i)));
    }
}

void TestCliTcp::failuresHaveTheirExitCodes_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    const QString mainFile = folder.filePath("fw_main_VRELL_A.frm");
    const QString emptyFile = folder.filePath("empty_main_VRELL_A.frm");
    writeFile(mainFile, firmwareImage(3000, 1));
    writeFile(emptyFile, QByteArray());

    QTest::newRow("silent board") << QStringList { "--silent", "1000" } << QStringList { "info" } << 4
                                  << "Устройство не ответило";
    QTest::newRow("silent board, config") << QStringList { "--silent", "1000" }
                                          << QStringList { "config-read", folder.filePath("never.json") } << 4
                                          << "Устройство не ответило";
    QTest::newRow("configuration from the bootloader") << QStringList { "--mode", "boot" }
                                                       << QStringList { "config-read", folder.filePath("never.json") }
                                                       << 5 << "main firmware only";
    QTest::newRow("main firmware already running") << QStringList {} << QStringList { "mode", "main" } << 0
                                                        << "already there";
    QTest::newRow("flash refused with a code") << QStringList { "--mode", "boot", "--flash-refuse", "42" }
                                               << QStringList { "flash" } << 8
                                               << "Ошибка команды записи основной прошивки\nКод ошибки: 42";
    QTest::newRow("flash with nothing copied") << QStringList { "--mode", "boot" } << QStringList { "flash" } << 8
                                               << "Ошибка команды записи основной прошивки";
    QTest::newRow("bootloader expected") << QStringList {} << QStringList { "firmware", mainFile } << 6
                                         << "прошивка не bootloader";
    QTest::newRow("image for another board") << QStringList { "--mode", "boot", "--board-type", "3" }
                                             << QStringList { "firmware", mainFile } << 6
                                             << "имя файла не соответствует типу платы: VRELL_C";
    QTest::newRow("empty image") << QStringList { "--mode", "boot" } << QStringList { "firmware", emptyFile } << 6 << "";
    // Neither a stream without end nor a FIFO nobody writes may hang the tool.
    const QString zeroFile = folder.filePath("zero_main_VRELL_A.frm");
    const QString fifoFile = folder.filePath("fifo_main_VRELL_A.frm");
    QFile::link(QStringLiteral("/dev/zero"), zeroFile);
    ::mkfifo(QFile::encodeName(fifoFile).constData(), 0600);
    const QString notRegular = QString::fromUtf8("Файл прошивки должен быть обычным файлом: %1");
    QTest::newRow("link to /dev/zero") << QStringList { "--mode", "boot" } << QStringList { "firmware", zeroFile } << 6
                                       << notRegular.arg("zero_main_VRELL_A.frm");
    QTest::newRow("FIFO without a writer") << QStringList { "--mode", "boot" } << QStringList { "firmware", fifoFile }
                                           << 6 << notRegular.arg("fifo_main_VRELL_A.frm");
    // Run-length coding could number it, but no board holds it: refused unread.
    const QString hugeFile = folder.filePath("huge_main_VRELL_A.frm");
    writeFile(hugeFile, QByteArray());
    QFile(hugeFile).resize(65536LL * 250 + 1);
    QTest::newRow("image over the limit") << QStringList { "--mode", "boot" } << QStringList { "firmware", hugeFile } << 6
                                          << "слишком велик: блоков 65537, допустимо не более 65536";
    QTest::newRow("usage") << QStringList {} << QStringList { "erase" } << 2 << "unknown subcommand";
    // A gateway that answers later than the window waits: silence by default,
    // an answer with the wait the technician adds.
    QTest::newRow("slow gateway") << QStringList { "--delay", "1700" } << QStringList { "info" } << 4
                                  << "Устройство не ответило";
    QTest::newRow("slow gateway waited for") << QStringList { "--delay", "1700" }
                                             << QStringList { "--extra-wait", "1000", "info" } << 0
                                             << "Версия прошивки: 1.2.0";
}

void TestCliTcp::failuresHaveTheirExitCodes()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, arguments);
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));
    QVERIFY2((r.out + r.err).contains(message), qPrintable(r.describe()));
    // A refused firmware file leaves the board without a block of it.
    if (arguments.first() == QLatin1String("firmware"))
        QCOMPARE(board.state().value("transfer").toObject().value("blocks").toInt(), 0);
    if (arguments.first() == QLatin1String("config-read"))
        QVERIFY(!QFile::exists(folder.filePath("never.json")));
}

void TestCliTcp::cannotConnect()
{
    // A port that was free a moment ago: nothing listens there.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();

    CliProcess::Result r = CliProcess::run({ "--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(QStringLiteral("Не удалось подключиться к 127.0.0.1:%1").arg(port)), qPrintable(r.describe()));
    QVERIFY(r.out.isEmpty());
    r = CliProcess::run({ "--tcp", QStringLiteral("[::1]:%1").arg(port), "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(QStringLiteral("Не удалось подключиться к [::1]:%1").arg(port)), qPrintable(r.describe()));

    r = CliProcess::run({ "--serial", folder.filePath("no-such-tty"), "--baud", "19200", "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
    QVERIFY2(r.err.contains("Baud=19200"), qPrintable(r.describe()));

    r = CliProcess::run({ "--usb", folder.filePath("no-such-tty"), "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
}

void TestCliTcp::jsonFailureIsOneObjectOnStandardOutput_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("lines"); // on standard output, the failure last
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("step");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("field"); // beside the message, for a script

    const QString sameVersion = folder.filePath("json_same_main_VRELL_A.frm");
    writeFile(sameVersion, firmwareImage(5000, 3));
    // --quiet keeps the failure on standard error.
    QTest::newRow("silent board, quiet") << QStringList { "--silent", "1000" } << QStringList { "--quiet", "info", "--json" }
                                         << 1 << 4 << "identity" << "Устройство не ответило" << "info";
    QTest::newRow("update, version unchanged") << QStringList {} << QStringList { "update", sameVersion, "--json" } << 1
                                              << 10 << "read the version" << "update stopped at" << "newVersion";
    QTest::newRow("refused command line") << QStringList {} << QStringList { "--json", "reboot" } << 1 << 2
                                          << "command line" << "--json belongs" << "";
    QTest::newRow("list, second board silent") << QStringList { "--boards", "1" }
                                               << QStringList { "--address", "1-2", "info", "--json" } << 2 << 4
                                               << "identity" << "Устройство не ответило" << "address";
}

void TestCliTcp::jsonFailureIsOneObjectOnStandardOutput()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QStringList, arguments);
    QFETCH(int, lines);
    QFETCH(int, exitCode);
    QFETCH(QString, step);
    QFETCH(QString, message);
    QFETCH(QString, field);

    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, arguments);
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));
    const QStringList out = r.out.split('\n', Qt::SkipEmptyParts);
    QVERIFY2(out.size() == lines && r.out.endsWith('\n'), qPrintable(r.describe()));
    for (const QString& line : out)
        QVERIFY2(QJsonDocument::fromJson(line.toUtf8()).isObject(), qPrintable(line));
    const QJsonObject failure = QJsonDocument::fromJson(out.last().toUtf8()).object();
    QCOMPARE(failure.value("exitCode").toInt(), exitCode);
    QCOMPARE(failure.value("step").toString(), step);
    // Standard error still says it in words.
    QVERIFY2(failure.value("message").toString().contains(message) && r.err.contains(message), qPrintable(r.describe()));
    QVERIFY2(field.isEmpty() || failure.contains(field), qPrintable(r.describe()));
}

void TestCliTcp::quietAndTraceShapeStandardError_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("everyErrLine"); // a pattern each line of standard error matches
    QTest::addColumn<QString>("errText");      // said on standard error all the same
    QTest::addColumn<QString>("outText");      // the result, as without the options

    // The window's dump stamp; "(?!)" matches nothing: standard error stays empty.
    const QString stamped = QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  [<>] ");
    const QString nothing = QStringLiteral("(?!)");
    const QString bootFile = folder.filePath("quiet_boot_VRELL_A.frm");
    const QString mainFile = folder.filePath("quiet_main_VRELL_A.frm");
    writeFile(bootFile, firmwareImage(20000, 5));
    writeFile(mainFile, firmwareImage(20000, 6) + "version=3.0.0");

    QTest::newRow("quiet copy, traced") << QStringList {} << QStringList { "--quiet", "--trace", "firmware", bootFile }
                                        << 0 << stamped << "< " << "Копирование завершено!";
    QTest::newRow("quiet update") << QStringList {} << QStringList { "--quiet", "update", mainFile } << 0 << nothing << ""
                                  << "-> 3.0.0";
    QTest::newRow("quiet scan") << QStringList { "--boards", "1,5" }
                                << QStringList { "--quiet", "scan", "--to", "8", "--timeout", "60" } << 0 << nothing << ""
                                << "5: Версия платы: VRELL_A";
}

void TestCliTcp::quietAndTraceShapeStandardError()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, everyErrLine);
    QFETCH(QString, errText);
    QFETCH(QString, outText);

    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, arguments);
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));
    const QRegularExpression pattern(everyErrLine);
    for (const QString& line : r.err.split('\n', Qt::SkipEmptyParts))
        QVERIFY2(pattern.match(line).hasMatch(), qPrintable(line + QStringLiteral("\n") + r.describe()));
    QVERIFY2(r.err.contains(errText) && r.out.contains(outText), qPrintable(r.describe()));
}

void TestCliTcp::copyCutShortSaysSo_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("interrupted"); // SIGTERM to the tool, else the board falls silent
    QTest::newRow("board falls silent") << "firmware" << false;
    QTest::newRow("tool interrupted") << "firmware" << true;
    QTest::newRow("update interrupted") << "update" << true;
}

void TestCliTcp::copyCutShortSaysSo()
{
    QFETCH(QString, command);
    QFETCH(bool, interrupted);
    // An old bootloader takes raw blocks, answered within a second each; the
    // paced line keeps the copy running long enough to cut it.
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--mode", "boot", "--bootloader", "0.0.6", "--baud", "38400" }), qPrintable(board.errorString()));
    const QString path = folder.filePath("long_main_VRELL_A.frm");
    QVERIFY(writeFile(path, firmwareImage(60000, 9)));

    QProcess tool;
    tool.start(CliProcess::programPath(), linkTo(board) + QStringList { command, path });
    QVERIFY(tool.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    int blocks = 0;
    while (blocks < 3 && clock.elapsed() < 30000) {
        blocks = board.state().value("transfer").toObject().value("blocks").toInt();
        QTest::qWait(20);
    }
    QVERIFY2(blocks >= 3, "the copy never got going");
    if (interrupted)
        tool.terminate(); // SIGTERM
    else
        QVERIFY(board.command("silent 100000").startsWith("OK"));

    QVERIFY(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QVERIFY(!QString::fromUtf8(tool.readAllStandardOutput()).contains("Копирование завершено"));
    QCOMPARE(board.state().value("counters").toObject().value("flashes").toInt(), 0);
    if (!interrupted) {
        QCOMPARE(tool.exitCode(), 7);
        QVERIFY2(err.contains(QRegularExpression("Ошибка записи блока [0-9 ]+!")), qPrintable(err));
        return;
    }
    QCOMPARE(tool.exitStatus(), QProcess::CrashExit); // ended by the signal itself
    const QRegularExpressionMatch said = QRegularExpression(
        "interrupted after (\\d+) of \\d+ firmware blocks were acknowledged; the board keeps a partial image").match(err);
    QVERIFY2(said.hasMatch(), qPrintable(err));
    // The block in flight may have reached the board without its answer reaching the tool.
    const int received = board.state().value("transfer").toObject().value("blocks").toInt();
    QVERIFY2(said.captured(1).toInt() + 1 >= blocks && received - said.captured(1).toInt() <= 1, qPrintable(err));
}

void TestCliTcp::scanFindsExactlyTheBoardsPresent_data()
{
    QTest::addColumn<QString>("knob");        // applied before the scan
    QTest::addColumn<QList<int>>("found");
    QTest::addColumn<QString>("odd");         // the report of an answer that is no board
    QTest::addColumn<int>("oddCount");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("twin");        // firmware of a second board at address 5

    QTest::newRow("clean line") << "" << QList<int> { 1, 5, 17 } << "" << 0 << 0 << "";
    // Board 1's answer comes behind a frame for address 2, where nobody is.
    QTest::newRow("foreign address") << "foreign 1" << QList<int> { 1, 5, 17 } << "\"frameAddress\":2" << 1 << 5 << "";
    QTest::newRow("garbled answer") << "corrupt-crc 1" << QList<int> { 1, 5, 17 } << "\"kind\":\"bad-checksum\"" << 1
                                    << 5 << "";
    // Boards that answer the scan but refuse to name their type are no boards to list.
    QTest::newRow("readout refused") << "refuse 0x7d 1" << QList<int> {} << "\"kind\":\"incomplete\"" << 3 << 5 << "";
    QTest::newRow("two boards at 5") << "" << QList<int> { 1, 17 } << "\"firmwareVersions\":[\"1.2.0\",\"9.9.9\"]" << 1
                                     << 11 << "9.9.9";
}

void TestCliTcp::scanFindsExactlyTheBoardsPresent()
{
    QFETCH(QString, knob);
    QFETCH(QList<int>, found);
    QFETCH(QString, odd);
    QFETCH(int, oddCount);
    QFETCH(int, exitCode);
    QFETCH(QString, twin);

    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "1,5,17", "--board", "5:type=2,mode=boot" }), qPrintable(board.errorString()));
    if (!knob.isEmpty())
        QVERIFY(board.command(knob).startsWith("OK"));
    // The twin answers 20 ms after the line's board: a relay hands the tool's
    // bytes to both and both boards' bytes back, as a shared line would.
    VirtualBoardProcess second;
    QTcpServer relay;
    if (!twin.isEmpty()) {
        QVERIFY2(second.start({ "--address", "5", "--firmware", twin, "--delay", "20" }), qPrintable(second.errorString()));
        QVERIFY(relay.listen(QHostAddress::LocalHost));
    }
    connect(&relay, &QTcpServer::newConnection, this, [&] {
        QTcpSocket* tool = relay.nextPendingConnection();
        QList<QTcpSocket*> sides;
        for (const VirtualBoardProcess* b : { &board, &second }) {
            auto* side = new QTcpSocket(tool);
            side->connectToHost(b->host(), b->port());
            side->waitForConnected(5000);
            connect(side, &QTcpSocket::readyRead, tool, [side, tool] { tool->write(side->readAll()); });
            sides << side;
        }
        connect(tool, &QTcpSocket::readyRead, tool, [tool, sides] {
            const QByteArray bytes = tool->readAll();
            for (QTcpSocket* side : sides)
                side->write(bytes);
        });
    });
    const QString target = twin.isEmpty() ? QStringLiteral("%1:%2").arg(board.host()).arg(board.port())
                                          : QStringLiteral("127.0.0.1:%1").arg(relay.serverPort());
    const CliProcess::Result r =
        CliProcess::run({ "--tcp", target, "scan", "--to", "40", "--timeout", "60", "--json" }, 120000, {}, true);
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));

    QList<int> boards;
    int oddLines = 0;
    QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    // A failed scan ends with its failure, after the lines it found.
    if (exitCode != 0) {
        QVERIFY2(!lines.isEmpty(), qPrintable(r.describe()));
        QCOMPARE(QJsonDocument::fromJson(lines.takeLast().toUtf8()).object().value("step").toString(), QStringLiteral("scan"));
    }
    for (const QString& line : lines) {
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        if (object.value("kind").toString() == "board")
            boards << object.value("address").toInt();
        else
            QVERIFY2(!odd.isEmpty() && line.contains(odd), qPrintable(r.describe()));
        oddLines += object.value("kind").toString() != "board";
        if (object.value("address").toInt() == 5 && object.value("kind").toString() == "board")
            QVERIFY2(line.contains("\"boardName\":\"VRELL_B\"") && line.contains("\"mode\":1"), qPrintable(line));
    }
    QCOMPARE(boards, found);
    QCOMPARE(oddLines, oddCount);
    QVERIFY2(r.err.contains(QRegularExpression(QStringLiteral("41 addresses \\(0 to 40\\) in [0-9.]+ s: %1 boards")
                                                   .arg(found.size()))),
             qPrintable(r.describe()));
}

// A board's version text full of control characters, one of them a line
// break before what looks like another board's line.
void TestCliTcp::boardTextsStayOnTheirLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("lineCount"); // on standard output
    QTest::addColumn<int>("exitCode");

    QTest::newRow("one board") << QStringList { "--address", "1", "info" } << 5 << 0;
    QTest::newRow("list") << QStringList { "--address", "1,2", "info" } << 13 << 0;
    QTest::newRow("scan") << QStringList { "scan", "--to", "2" } << 2 << 0;
    QTest::newRow("list, JSON") << QStringList { "--address", "1,2", "info", "--json" } << 2 << 0;
    QTest::newRow("scan, JSON") << QStringList { "scan", "--to", "2", "--json" } << 2 << 0;
    // The failure quotes the unchanged version in its message and on standard error.
    const QString sameVersion = folder.filePath("texts_main_VRELL_A.frm");
    writeFile(sameVersion, firmwareImage(3000, 9));
    QTest::newRow("update failure, JSON") << QStringList { "--address", "1", "update", sameVersion, "--json" } << 1 << 10;
}

void TestCliTcp::boardTextsStayOnTheirLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, lineCount);
    QFETCH(int, exitCode);

    const QString version = QString::fromUtf8("1.2\x1b[2J\r\x07\t\x7f\xc2\x85\xc2\x9b" "0m\n42: VRELL_D");
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "1,2", "--firmware", version }), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, arguments);
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), lineCount);
    for (const QString& line : lines + r.err.split('\n', Qt::SkipEmptyParts)) {
        for (const QChar c : line)
            QVERIFY2(c.category() != QChar::Other_Control && !line.startsWith("42"), qPrintable(line));
    }
    for (const QString& line : lines) {
        // JSON lines are JSON still, the text in them whole.
        const QJsonObject object = QJsonDocument::fromJson(line.toUtf8()).object();
        const QJsonObject shown = object.value("info").toObject(object);
        if (arguments.contains("--json"))
            QCOMPARE(shown.value(shown.contains("oldVersion") ? "oldVersion" : "firmwareVersion").toString(), version);
    }
}

void TestCliTcp::updateEndsWithTheNewVersion_data()
{
    QTest::addColumn<QString>("board");    // --board for address 3
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("versions"); // what the update reports
    QTest::addColumn<int>("modeSwitches");
    QTest::addColumn<bool>("json");

    QTest::newRow("main firmware from the main firmware")
        << "3:firmware=1.2.0" << "fw_main_VRELL_A.frm" << "Версия прошивки: 1.2.0 -> 2.4.1" << 2 << false;
    QTest::newRow("main firmware from the bootloader, JSON")
        << "3:firmware=1.2.0,mode=boot" << "fw_main_VRELL_A.frm" << "Версия прошивки: 1.2.0 -> 2.4.1" << 1 << true;
    QTest::newRow("bootloader from the main firmware, JSON")
        << "3:bootloader=1.1.0" << "fw_boot_VRELL_A.frm" << "Версия загрузчика: 1.1.0 -> 2.4.1" << 0 << true;
    QTest::newRow("bootloader from the bootloader")
        << "3:bootloader=1.1.0,mode=boot" << "fw_boot_VRELL_A.frm" << "Версия загрузчика: 1.1.0 -> 2.4.1" << 1 << false;
}

void TestCliTcp::updateEndsWithTheNewVersion()
{
    QFETCH(QString, board);
    QFETCH(QString, fileName);
    QFETCH(QString, versions);
    QFETCH(int, modeSwitches);
    QFETCH(bool, json);

    const QByteArray image = firmwareImage(30000, qHash(board)) + "version=2.4.1";
    const QString path = folder.filePath(fileName);
    QVERIFY(writeFile(path, image));
    VirtualBoardProcess line;
    QVERIFY2(line.start({ "--boards", "2,3", "--board", board }), qPrintable(line.errorString()));

    const CliProcess::Result r = cli(line, QStringList { "--address", "3", "update", path } + (json ? QStringList { "--json" }
                                                                                                : QStringList()));
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    if (json) {
        QCOMPARE(r.out.count('\n'), 1);
        const QJsonObject object = QJsonDocument::fromJson(r.out.toUtf8()).object();
        QCOMPARE(object.value("image").toString(), QString(fileName.contains("main") ? "main" : "boot"));
        // Switched when the board ran the mode that does not take the image.
        QCOMPARE(object.value("switched").toBool(), fileName.contains("main") != board.contains("mode=boot"));
        QCOMPARE(QStringLiteral("%1 -> %2").arg(object.value("oldVersion").toString(), object.value("newVersion").toString()),
                 versions.section(": ", 1));
    } else {
        QVERIFY2(r.out.contains(versions), qPrintable(r.describe()));
    }
    const QJsonObject state = QJsonDocument::fromJson(line.command("@3 state").toUtf8()).object();
    QCOMPARE(state.value("mode").toInt(), 0);
    QCOMPARE(state.value("counters").toObject().value("modeSwitches").toInt(), modeSwitches);
    QCOMPARE(state.value("flashedSha1").toString(), sha1(image));
    const QString received = folder.filePath(fileName + ".received");
    QVERIFY(line.command("@3 image " + received).startsWith("OK"));
    QCOMPARE(readFile(received), image);
    // The neighbour on the line heard nothing of it.
    QCOMPARE(QJsonDocument::fromJson(line.command("@2 state").toUtf8()).object().value("counters").toObject()
                 .value("requests").toInt(), 0);
}

void TestCliTcp::updateStopsAtTheFailedStep_data()
{
    QTest::addColumn<QStringList>("boardArguments");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("modeAfter");

    QTest::newRow("silent board") << QStringList { "--silent", "1000" } << "fw_main_VRELL_A.frm" << 4 << "identity" << 0;
    QTest::newRow("name without a kind") << QStringList {} << "fw_VRELL_A.frm" << 6 << "check the file" << 0;
    // Refused before the board is switched for it.
    QTest::newRow("image for another board") << QStringList {} << "fw_main_VRELL_C.frm" << 6 << "check the file" << 0;
    // Known for what it is only once the bootloader tells the board type:
    // the board stays there for the next attempt.
    QTest::newRow("board type told by the bootloader only") << QStringList { "--firmware", "0.0.3" }
                                                            << "fw_main_VRELL_C.frm" << 6 << "check the file" << 1;
    QTest::newRow("flash refused") << QStringList { "--flash-refuse", "42" } << "fw_main_VRELL_A.frm" << 8 << "flash" << 1;
    QTest::newRow("empty image") << QStringList {} << "empty_main_VRELL_A.frm" << 6 << "check the file" << 0;
    // A "file" without end is refused before the board hears of it.
    QTest::newRow("link to /dev/zero") << QStringList {} << "zero_main_VRELL_A.frm" << 6 << "read the file" << 0;
    // Flashed and running, but the board still reports 1.2.0: no proof the image took.
    QTest::newRow("version unchanged") << QStringList {} << "same_main_VRELL_A.frm" << 10 << "read the version" << 0;
    // The board acknowledges the switch but stays where it is: it answers, in the wrong mode.
    QTest::newRow("switch not carried out") << QStringList { "--forget", "0x7a" } << "fw_main_VRELL_A.frm" << 5
                                            << "reconnect" << 0;
}

void TestCliTcp::updateStopsAtTheFailedStep()
{
    QFETCH(QStringList, boardArguments);
    QFETCH(QString, fileName);
    QFETCH(int, exitCode);
    QFETCH(QString, step);
    QFETCH(int, modeAfter);

    const QString path = folder.filePath(fileName);
    QFile::remove(path);
    if (fileName.startsWith("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    else
        QVERIFY(writeFile(path, fileName.startsWith("empty") ? QByteArray() : firmwareImage(5000, 3)));
    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments), qPrintable(board.errorString()));
    const CliProcess::Result r = cli(board, { "update", path });
    QVERIFY2(r.finished && r.exitCode == exitCode, qPrintable(r.describe()));
    QVERIFY2(r.err.contains(QStringLiteral("update stopped at \"%1\" (exit %2)").arg(step).arg(exitCode)),
             qPrintable(r.describe()));
    if (modeAfter == 1)
        QVERIFY2(r.err.contains("stays in its bootloader"), qPrintable(r.describe()));
    // A board that did answer is not said to be silent.
    if (step == "reconnect")
        QVERIFY2(r.err.contains("answers running") && !r.err.contains("has not answered"), qPrintable(r.describe()));
    board.command("faults off");
    QCOMPARE(board.state().value("mode").toInt(), modeAfter);
    const QJsonObject counters = board.state().value("counters").toObject();
    QCOMPARE(counters.value("flashes").toInt(), step == "read the version" ? 1 : 0);
    if (step == "read the file")
        QCOMPARE(counters.value("requests").toInt(), 0);
}

void TestCliTcp::listStopsOrGoesOnAtASilentAddress_data()
{
    QTest::addColumn<bool>("keepGoing");
    QTest::addColumn<QStringList>("outcomes"); // addresses 1, 2 (nobody), 3
    QTest::newRow("stops") << false << QStringList { "ok", "no reply", "skipped" };
    QTest::newRow("goes on") << true << QStringList { "ok", "no reply", "ok" };
}

void TestCliTcp::listStopsOrGoesOnAtASilentAddress()
{
    QFETCH(bool, keepGoing);
    QFETCH(QStringList, outcomes);

    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "1,3" }), qPrintable(board.errorString()));
    QStringList arguments { "--address", "1-3", "config-read", folder.filePath("list-%a.json") };
    if (keepGoing)
        arguments << "--keep-going";
    const CliProcess::Result text = cli(board, arguments);
    QCOMPARE(text.exitCode, 4);
    for (int i = 0; i < 3; ++i)
        QVERIFY2(text.out.contains(QRegularExpression(QStringLiteral("\\s%1  %2").arg(i + 1).arg(outcomes.at(i)))),
                 qPrintable(text.describe()));
    QVERIFY(QFile::exists(folder.filePath("list-1.json")));
    QVERIFY(!QFile::exists(folder.filePath("list-2.json")));
    QCOMPARE(QFile::exists(folder.filePath("list-3.json")), keepGoing);
    QFile::remove(folder.filePath("list-1.json"));
    QFile::remove(folder.filePath("list-3.json"));

    const CliProcess::Result json = cli(board, arguments.mid(0, 2) + QStringList { "info", "--json" } +
                                                   (keepGoing ? QStringList { "--keep-going" } : QStringList()));
    QCOMPARE(json.exitCode, 4);
    const QStringList lines = json.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines.at(i).toUtf8()).object();
        QCOMPARE(object.value("address").toInt(), i + 1);
        QCOMPARE(object.value("outcome").toString(), outcomes.at(i));
        QCOMPARE(object.value("info").toObject().value("boardName").toString(),
                 outcomes.at(i) == "ok" ? QStringLiteral("VRELL_A") : QString());
    }

    // Each board's own lines say which board they are about.
    const CliProcess::Result lines3 = cli(board, { "--address", "3,1", "info" });
    QVERIFY2(lines3.exitCode == 0 && lines3.out.startsWith("3: Версия платы: VRELL_A\n")
                 && lines3.out.contains("\n1: Версия платы: VRELL_A\n"),
             qPrintable(lines3.describe()));
}

// Block 1 of six raw blocks (1000 ms time-out) is answered late: within the
// grace after its time-out, or just after it was sent again. Either way each
// block counts only its own acknowledgement, so a refused last block fails
// the copy however the earlier answers were timed.
void TestCliTcp::lateAcknowledgementCountsOnlyForItsBlock_data()
{
    QTest::addColumn<bool>("pty");
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<bool>("held"); // the resend's reply waits for the next request: one behind from there
    QTest::addColumn<bool>("lastRefused");
    QTest::addColumn<int>("sends");  // of block 1
    QTest::addColumn<int>("passes"); // 2: a reply too many, the copy started over

    const int resent = 1000 + 250; // time-out and grace: the block goes again
    for (const bool pty : { false, true }) {
        const QString link = pty ? QStringLiteral("pty, ") : QStringLiteral("tcp, ");
        QTest::newRow(qPrintable(link + "late within the grace")) << pty << 1030 << false << false << 1 << 1;
        QTest::newRow(qPrintable(link + "late, after the resend")) << pty << resent + 30 << false << false << 3 << 2;
        QTest::newRow(qPrintable(link + "late, last block refused")) << pty << resent + 30 << false << true << 3 << 2;
        QTest::newRow(qPrintable(link + "one behind")) << pty << resent + 30 << true << false << 3 << 2;
        QTest::newRow(qPrintable(link + "one behind, last block refused")) << pty << resent + 30 << true << true << 3 << 2;
    }
}

void TestCliTcp::lateAcknowledgementCountsOnlyForItsBlock()
{
    QFETCH(bool, pty);
    QFETCH(int, lateMs);
    QFETCH(bool, held);
    QFETCH(bool, lastRefused);
    QFETCH(int, sends);
    QFETCH(int, passes);

    const QByteArray image = firmwareImage(1260, 15);
    const QString path = folder.filePath("late_main_VRELL_A.frm");
    QVERIFY(writeFile(path, image));
    QStringList boardArguments = { "--mode", "boot", "--bootloader", "0.0.6", "--late", QStringLiteral("0xb1,%1").arg(lateMs) };
    if (held)
        boardArguments << "--hold" << "0xb1,40,2";
    if (lastRefused)
        boardArguments << "--refuse" << "0xb2,4";
    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments, pty ? VirtualBoardProcess::Link::Pty : VirtualBoardProcess::Link::Tcp),
             qPrintable(board.errorString()));
    const QStringList link = pty ? QStringList { "--serial", board.ptyPath(), "--baud", "115200" } : linkTo(board);

    const CliProcess::Result r = CliProcess::run(link + QStringList { "firmware", path, "--no-flash" });
    QVERIFY2(r.err.contains("method=LEGACY"), qPrintable(r.describe()));
    QCOMPARE(board.log().count("RX b1 01 00"), sends);
    QCOMPARE(board.log().count("RX b0 00 00"), passes);
    const QString received = folder.filePath("late.received");
    if (lastRefused) {
        QVERIFY2(r.exitCode == 7, qPrintable(r.describe()));
        QVERIFY2(r.err.contains("Ошибка записи блока 5!"), qPrintable(r.describe()));
        QVERIFY2(!r.out.contains("Копирование завершено"), qPrintable(r.describe()));
        QVERIFY(board.command("image " + received).startsWith("ERROR"));
    } else {
        QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
        QVERIFY2(r.out.contains("Копирование завершено!"), qPrintable(r.describe()));
        QVERIFY(board.command("image " + received).startsWith("OK"));
        QCOMPARE(readFile(received), image);
    }
}

QTEST_GUILESS_MAIN(TestCliTcp)
#include "tst_clitcp.moc"
