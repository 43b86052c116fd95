// quorvel-cli end to end against the virtual board over TCP: identity, a
// configuration saved, changed, restored and read back byte for byte, a file
// for another board refused with nothing sent, firmware images by both
// methods arriving whole, acknowledgements that come late counted only for
// their own block (over a pty as well), and the exit code of every kind of
// failure.

#include "cliprocess.h"
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
#include <QTemporaryDir>
#include <QtTest>

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
    void firmwareArrivesWhole_data();
    void firmwareArrivesWhole();
    void modeSwitchAndReboot();

    void failuresHaveTheirExitCodes_data();
    void failuresHaveTheirExitCodes();
    void cannotConnect();
    void boardFallingSilentMidCopyFailsTheTransfer();
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
        edit = edited(edit, { "di", "0", "address" }, 4242);
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

    QCOMPARE(board.state().value("counters").toObject().value("requests").toInt(), 0);
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
    QTest::newRow("usage") << QStringList {} << QStringList { "erase" } << 2 << "unknown subcommand";
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

    r = CliProcess::run({ "--serial", folder.filePath("no-such-tty"), "--baud", "19200", "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
    QVERIFY2(r.err.contains("Baud=19200"), qPrintable(r.describe()));

    r = CliProcess::run({ "--usb", folder.filePath("no-such-tty"), "info" });
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
}

void TestCliTcp::boardFallingSilentMidCopyFailsTheTransfer()
{
    // An old bootloader takes raw blocks, answered within a second each; the
    // paced line keeps the copy running long enough to cut it.
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--mode", "boot", "--bootloader", "0.0.6", "--baud", "38400" }), qPrintable(board.errorString()));
    const QString path = folder.filePath("long_main_VRELL_A.frm");
    QVERIFY(writeFile(path, firmwareImage(60000, 9)));

    QProcess tool;
    tool.start(CliProcess::programPath(), linkTo(board) + QStringList { "firmware", path });
    QVERIFY(tool.waitForStarted(10000));
    QElapsedTimer clock;
    clock.start();
    int blocks = 0;
    while (blocks < 3 && clock.elapsed() < 30000) {
        blocks = board.state().value("transfer").toObject().value("blocks").toInt();
        QTest::qWait(20);
    }
    QVERIFY2(blocks >= 3, "the copy never got going");
    QVERIFY(board.command("silent 100000").startsWith("OK"));

    QVERIFY(tool.waitForFinished(60000));
    const QString err = QString::fromUtf8(tool.readAllStandardError());
    QCOMPARE(tool.exitCode(), 7);
    QVERIFY2(err.contains(QRegularExpression("Ошибка записи блока [0-9 ]+!")), qPrintable(err));
    QVERIFY(!QString::fromUtf8(tool.readAllStandardOutput()).contains("Копирование завершено"));
    QCOMPARE(board.state().value("counters").toObject().value("flashes").toInt(), 0);
}

// Block 1 of six raw blocks (1000 ms time-out) is answered late: within the
// grace after its time-out, or just after it was sent again. Either way each
// block counts only its own acknowledgement, so a refused last block fails
// the copy however the earlier answers were timed.
void TestCliTcp::lateAcknowledgementCountsOnlyForItsBlock_data()
{
    QTest::addColumn<bool>("pty");
    QTest::addColumn<int>("lateMs");
    QTest::addColumn<bool>("lastRefused");
    QTest::addColumn<int>("sends"); // of block 1

    const int resent = 1000 + 250; // time-out and grace: the block goes again
    for (const bool pty : { false, true }) {
        const QString link = pty ? QStringLiteral("pty, ") : QStringLiteral("tcp, ");
        QTest::newRow(qPrintable(link + "late within the grace")) << pty << 1030 << false << 1;
        QTest::newRow(qPrintable(link + "late, after the resend")) << pty << resent + 30 << false << 2;
        QTest::newRow(qPrintable(link + "late, last block refused")) << pty << resent + 30 << true << 2;
    }
}

void TestCliTcp::lateAcknowledgementCountsOnlyForItsBlock()
{
    QFETCH(bool, pty);
    QFETCH(int, lateMs);
    QFETCH(bool, lastRefused);
    QFETCH(int, sends);

    const QByteArray image = firmwareImage(1260, 15);
    const QString path = folder.filePath("late_main_VRELL_A.frm");
    QVERIFY(writeFile(path, image));
    QStringList boardArguments = { "--mode", "boot", "--bootloader", "0.0.6", "--late", QStringLiteral("0xb1,%1").arg(lateMs) };
    if (lastRefused)
        boardArguments << "--refuse" << "0xb2,4";
    VirtualBoardProcess board;
    QVERIFY2(board.start(boardArguments, pty ? VirtualBoardProcess::Link::Pty : VirtualBoardProcess::Link::Tcp),
             qPrintable(board.errorString()));
    const QStringList link = pty ? QStringList { "--serial", board.ptyPath(), "--baud", "115200" } : linkTo(board);

    const CliProcess::Result r = CliProcess::run(link + QStringList { "firmware", path, "--no-flash" });
    QVERIFY2(r.err.contains("method=LEGACY"), qPrintable(r.describe()));
    QCOMPARE(board.log().count("RX b1 01 00"), sends);
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
