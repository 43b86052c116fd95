// quorvel-cli over a serial line: the virtual board on a pseudo-terminal,
// framed with line parameters and a device address as "RS485 COM", and bare
// as "USB COM".

#include "cliprocess.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

class TestCliPty : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void infoOverEachSerialLink_data();
    void infoOverEachSerialLink();
    void configurationRoundTripOverRs485();
    void firmwareOverRs485();
    void scanAndUpdateOverOnePort();
    void secondProcessOnThePortIsRefused_data();
    void secondProcessOnThePortIsRefused();
    void portThatCannotOpenSaysWhy_data();
    void portThatCannotOpenSaysWhy();

private:
    QTemporaryDir folder;
};

namespace {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList rs485(const VirtualBoardProcess& board)
{
    return { "--serial", board.ptyPath(), "--baud", "115200", "--parity", "even", "--address", "5" };
}

} // namespace

void TestCliPty::initTestCase()
{
    // The tool's operations log goes to a private folder, never the user's.
    TestSettings::isolate();
    if (CliProcess::programPath().isEmpty() || VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no quorvel-cli or no virtual board");
    QVERIFY(folder.isValid());
}

void TestCliPty::infoOverEachSerialLink_data()
{
    QTest::addColumn<bool>("bare");
    QTest::newRow("RS485 COM") << false;
    QTest::newRow("USB COM") << true;
}

void TestCliPty::infoOverEachSerialLink()
{
    QFETCH(bool, bare);

    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--board-type", "3", "--address", "5" },
                         bare ? VirtualBoardProcess::Link::PtyBare : VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    const QStringList link = bare ? QStringList { "--usb", board.ptyPath() } : rs485(board);
    const CliProcess::Result r = CliProcess::run(link + QStringList { "info" });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Версия платы: VRELL_C"), qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Код ошибки загрузчика: 0"), qPrintable(r.describe()));
}

void TestCliPty::configurationRoundTripOverRs485()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--board-type", "4", "--address", "5" }, VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    const QJsonObject before = board.state().value("configuration").toObject();
    const QString saved = folder.filePath("pty.json");
    const QString again = folder.filePath("pty-again.json");

    CliProcess::Result r = CliProcess::run(rs485(board) + QStringList { "config-read", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    const QByteArray savedBytes = readFile(saved);
    QVERIFY(savedBytes.contains("\"diChannels\": 32"));

    r = CliProcess::run(rs485(board) + QStringList { "config-write", saved });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(board.state().value("configuration").toObject(), before);
    // The writes did travel (the board counts requests it carried out).
    QVERIFY(QString::fromUtf8(board.log()).contains("RX a2"));

    r = CliProcess::run(rs485(board) + QStringList { "config-read", again });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(readFile(again), savedBytes);
}

void TestCliPty::firmwareOverRs485()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--mode", "boot", "--address", "5" }, VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    QByteArray image(12000, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = char(i % 7 == 0 ? 0 : (i * 31) & 0xFF);
    const QString path = folder.filePath("fw_main_VRELL_A.frm");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();

    const CliProcess::Result r = CliProcess::run(rs485(board) + QStringList { "firmware", path });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QVERIFY2(r.out.contains("Основная прошивка обновлена"), qPrintable(r.describe()));
    QCOMPARE(board.state().value("flashedSha1").toString(),
             QString::fromLatin1(QCryptographicHash::hash(image, QCryptographicHash::Sha1).toHex()));
}

void TestCliPty::scanAndUpdateOverOnePort()
{
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "4,5,9", "--board", "9:type=4" }, VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    const QStringList line { "--serial", board.ptyPath(), "--baud", "115200" };
    // Board 4's answer comes behind a frame for 5: reported, and 4 still found
    // when asked again.
    QVERIFY(board.command("foreign 1").startsWith("OK"));
    CliProcess::Result r = CliProcess::run(line + QStringList { "scan", "--from", "3", "--to", "12", "--timeout", "50" });
    QVERIFY2(r.exitCode == 5, qPrintable(r.describe()));
    QVERIFY2(r.err.contains("address 4: an answer framed for address 5"), qPrintable(r.describe()));
    const QStringList found = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(found.size(), 3);
    QVERIFY2(found.at(0).startsWith("4: ") && found.at(1).startsWith("5: ") && found.at(2).startsWith("9: Версия платы: VRELL_D"),
             qPrintable(r.describe()));

    // The serial reconnects of an update go through the same port, which this run keeps.
    const QByteArray image = QByteArray(9000, 'x') + "version=3.0.0";
    const QString path = folder.filePath("line_main_VRELL_A.frm");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    r = CliProcess::run(line + QStringList { "--address", "4-5", "update", path });
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    QCOMPARE(r.out.count("Версия прошивки: 1.2.0 -> 3.0.0"), 2);
    QCOMPARE(QJsonDocument::fromJson(board.command("@5 state").toUtf8()).object().value("firmware").toString(),
             QStringLiteral("3.0.0"));
}

void TestCliPty::secondProcessOnThePortIsRefused_data()
{
    QTest::addColumn<bool>("throughLink");
    QTest::newRow("same name") << false;
    QTest::newRow("a symlink to it") << true;
}

void TestCliPty::secondProcessOnThePortIsRefused()
{
    QFETCH(bool, throughLink);

    // A slow line keeps the first run busy.
    VirtualBoardProcess board;
    QVERIFY2(board.start({ "--boards", "1", "--baud", "9600" }, VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    QProcess first;
    first.start(CliProcess::programPath(), { "--serial", board.ptyPath(), "--baud", "9600", "scan", "--to", "60" });
    QVERIFY(first.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(board.state().value("counters").toObject().value("requests").toInt() > 0, 10000);

    QString name = board.ptyPath();
    if (throughLink) {
        name = folder.filePath("quorvel-rs485");
        QFile::remove(name);
        QVERIFY(QFile::link(board.ptyPath(), name));
    }
    const CliProcess::Result second = CliProcess::run({ "--serial", name, "info" }, 10000);
    QVERIFY2(second.exitCode == 3, qPrintable(second.describe()));
    QVERIFY2(second.err.contains(QStringLiteral("the port %1").arg(name)) && second.err.contains("in use"),
             qPrintable(second.describe()));
    QVERIFY2(first.state() == QProcess::Running, "the first run did not outlast the second");
    first.kill();
    first.waitForFinished(5000);

    // Once the holder is gone the port is free again.
    const CliProcess::Result after = CliProcess::run({ "--serial", name, "--baud", "9600", "--address", "1", "info" });
    QVERIFY2(after.exitCode == 0, qPrintable(after.describe()));
}

void TestCliPty::portThatCannotOpenSaysWhy_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("fixedText");

    const QString missing = folder.filePath("ttyGONE");
    QTest::newRow("RS485 COM") << "--serial"
                               << QStringLiteral("Не удалось открыть порт %1 (RS485 COM).\nПараметры: Port=%1, Baud=9600, "
                                                 "DataBits=8, Parity=None, StopBits=1, DeviceId=0")
                                      .arg(missing);
    QTest::newRow("USB COM") << "--usb" << QStringLiteral("Не удалось открыть порт %1 (USB COM).").arg(missing);
}

void TestCliPty::portThatCannotOpenSaysWhy()
{
    QFETCH(QString, link);
    QFETCH(QString, fixedText);

    const QString missing = folder.filePath("ttyGONE");
    QSerialPort probe(missing);
    QVERIFY(!probe.open(QIODevice::ReadWrite));
    const CliProcess::Result r = CliProcess::run({ link, missing, "info" }, 10000);
    QVERIFY2(r.exitCode == 3, qPrintable(r.describe()));
    QCOMPARE(r.err, fixedText + QStringLiteral("\nПричина: ") + probe.errorString() + QLatin1Char('\n'));
}

QTEST_GUILESS_MAIN(TestCliPty)
#include "tst_clipty.moc"
