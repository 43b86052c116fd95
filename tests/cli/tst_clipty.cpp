// quorvel-cli over a serial line: the virtual board on a pseudo-terminal,
// framed with line parameters and a device address as "RS485 COM", and bare
// as "USB COM".

#include "cliprocess.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonObject>
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

QTEST_GUILESS_MAIN(TestCliPty)
#include "tst_clipty.moc"
