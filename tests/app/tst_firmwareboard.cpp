// The window's firmware update against the virtual board, over TCP and over a
// pseudo-terminal: the image the board rebuilds is the file byte for byte by
// both methods, it flashes, a refused flash shows the board's code, and a
// flash declined at the question can be made later with the button.

#include "boardsetup.h"
#include "devicepanel.h"
#include "firmwarepanel.h"
#include "mainwindow.h"
#include "onestepupdate.h"
#include "waitdialog.h"

#include "connectionbar.h"
#include "connectorip.h"
#include "connectorserial.h"
#include "modalanswerer.h"
#include "operationslog.h"
#include "tessarin.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QAction>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <memory>

namespace {

const QString copied = QString::fromUtf8("Копирование завершено!\n");
const QString mainQuestion = QString::fromUtf8("Копирование основной прошивки завершено.\nЗаписать прошивку?");
const QString mainDone = QString::fromUtf8("Основная прошивка обновлена\n");

// 64 KiB as firmware images look: noise, long stretches of erased flash
// (0xFF) and zeros, and the short repeats that sit on the coder's edges.
QByteArray mixedImage(quint32 seed)
{
    QRandomGenerator random(seed);
    QByteArray image;
    const int size = 64 * 1024;
    while (image.size() < size) {
        switch (random.bounded(6)) {
        case 0:
            for (int n = random.bounded(1, 600); n > 0; --n)
                image.append(char(random.bounded(256)));
            break;
        case 1:
            image.append(random.bounded(1, 5000), '\xFF');
            break;
        case 2:
            image.append(random.bounded(1, 300), '\0');
            break;
        case 3:
            image.append(random.bounded(2, 6), char(random.bounded(256))); // runs of 2 to 5
            break;
        case 4:
            image.append(243 + random.bounded(-2, 3), char(0x5A)); // around a literal's length
            break;
        default:
            for (int n = random.bounded(1, 400); n > 0; --n) // no runs at all
                image.append(char(n & 1 ? 0x55 : 0xAA));
            break;
        }
    }
    image.truncate(size);
    return image;
}

enum class Link { Tcp, Pty };

} // namespace

Q_DECLARE_METATYPE(Link)

class TestFirmwareBoard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void imageArrivesWholeAndFlashes_data();
    void imageArrivesWholeAndFlashes();
    void refusedFlashShowsTheBoardsCode_data();
    void refusedFlashShowsTheBoardsCode();
    void declinedFlashCanBeMadeLater_data();
    void declinedFlashCanBeMadeLater();
    void oneStepUpdateFromTheMainFirmware_data();
    void oneStepUpdateFromTheMainFirmware();

private:
    // Starts a board in its bootloader (RLE from bootloader 1.0.7 on, LEGACY
    // below) and hands the window a link to it as the connection bar would.
    void connectBoard(Link link, bool runLength);
    void sendImage(const QByteArray& image);
    QByteArray boardImage();
    int counter(const char* name)
    {
        return board.state().value(QStringLiteral("counters")).toObject().value(QLatin1String(name)).toInt(-1);
    }
    QPushButton* flashButton() { return window->findChild<QPushButton*>(QStringLiteral("pushButtonFlashFirmware")); }
    // Runs `operation` while noting what the wait dialog and the speed label show.
    QSet<QString> watch(const std::function<void()>& operation);
    static bool showsSpeed(const QSet<QString>& shown)
    {
        static const QRegularExpression speed(QStringLiteral("^[0-9.]+ (Б|КиБ|МиБ)/с, осталось \\d+:\\d\\d$"));
        return !shown.values().filter(speed).isEmpty();
    }

    VirtualBoardProcess board;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<QTemporaryDir> files;
    QString nextChoice;
    QSet<QString> shownBySend;
};

void TestFirmwareBoard::initTestCase()
{
    TestSettings::isolate();
    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
}

void TestFirmwareBoard::init()
{
    TestSettings::clear();
    window.reset(new MainWindow);
    answerer.reset(new ModalAnswerer);
    files.reset(new QTemporaryDir);
    QVERIFY(files->isValid());
    partOf<FirmwarePanel>(*window)->chooseFile = (
        [this](QWidget*, const QString&, const QString&, const QString&) { return nextChoice; });
}

void TestFirmwareBoard::cleanup()
{
    answerer.reset();
    window.reset();
    board.stop();
    files.reset();
}

void TestFirmwareBoard::connectBoard(Link link, bool runLength)
{
    const QStringList args{ QStringLiteral("--board-type"), QStringLiteral("1"), QStringLiteral("--mode"),
                            QStringLiteral("boot"), QStringLiteral("--bootloader"),
                            runLength ? QStringLiteral("1.0.7") : QStringLiteral("0.0.6") };
    QVERIFY2(board.start(args, link == Link::Tcp ? VirtualBoardProcess::Link::Tcp : VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));

    QSharedPointer<Connector> connector;
    if (link == Link::Tcp) {
        auto* ip = new ConnectorIP(board.host(), board.port());
        connector.reset(ip);
        QVERIFY2(ip->isConnected(), qPrintable(ip->lastErrorString()));
    } else {
        auto* serial = new ConnectorSerial(board.ptyPath());
        connector.reset(serial);
        QVERIFY(serial->openPort(board.ptyPath(), 115200, QSerialPort::Data8, QSerialPort::NoParity,
                                 QSerialPort::OneStop, QSerialPort::NoFlowControl));
    }
    connector->setDevID(0);
    emit partOf<Tessarin>(*window)->onConnected(connector);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelBoardVersionValue"))->text(), QStringLiteral("VRELL_A"));
    QVERIFY(window->findChild<QPushButton*>(QStringLiteral("pushButtonSendFirmware"))->isEnabled());
    QVERIFY(!flashButton()->isEnabled());
}

void TestFirmwareBoard::sendImage(const QByteArray& image)
{
    nextChoice = files->filePath(QStringLiteral("fw_main_vrell_a.frm"));
    QFile file(nextChoice);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(image), qint64(image.size()));
    file.close();
    window->findChild<QAction*>(QStringLiteral("action"))->setChecked(true);
    shownBySend = watch([this] { window->findChild<QPushButton*>(QStringLiteral("pushButtonSendFirmware"))->click(); });
}

QSet<QString> TestFirmwareBoard::watch(const std::function<void()>& operation)
{
    QSet<QString> shown;
    QTimer timer;
    connect(&timer, &QTimer::timeout, this, [&] {
        if (auto* wait = qobject_cast<WaitDialog*>(QApplication::activeModalWidget()))
            shown << wait->findChildren<QLabel*>().last()->text();
        shown << window->findChild<QLabel*>(QStringLiteral("labelTransferRate"))->text();
    });
    timer.start(10);
    operation();
    return shown;
}

QByteArray TestFirmwareBoard::boardImage()
{
    const QString path = files->filePath(QStringLiteral("on-board.bin"));
    const QString answer = board.command(QStringLiteral("image ") + path);
    if (!answer.startsWith(QLatin1String("OK")))
        return "board says: " + answer.toUtf8();
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable");
}

void TestFirmwareBoard::imageArrivesWholeAndFlashes_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<bool>("runLength");
    QTest::newRow("tcp, legacy") << Link::Tcp << false;
    QTest::newRow("tcp, rle") << Link::Tcp << true;
    QTest::newRow("pty, legacy") << Link::Pty << false;
    QTest::newRow("pty, rle") << Link::Pty << true;
}

void TestFirmwareBoard::imageArrivesWholeAndFlashes()
{
    QFETCH(Link, link);
    QFETCH(bool, runLength);
    connectBoard(link, runLength);
    if (QTest::currentTestFailed())
        return;

    const QByteArray image = mixedImage(runLength ? 11 : 12);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::Yes);
    answerer->queueButton(QMessageBox::Ok);
    sendImage(image);

    QCOMPARE(answerer->texts(), (QStringList{ copied, mainQuestion, mainDone }));
    QVERIFY(window->findChild<QPlainTextEdit*>(QStringLiteral("plainTextEditDebugDump"))->toPlainText().contains(
        QStringLiteral("[firmware] send method=%1 board=VRELL_A").arg(runLength ? "RLE" : "LEGACY")));
    const QJsonObject transfer = board.state().value(QStringLiteral("transfer")).toObject();
    QCOMPARE(transfer.value(QStringLiteral("method")).toString(), runLength ? QString("RLE") : QString("LEGACY"));
    QCOMPARE(boardImage(), image);
    QCOMPARE(counter("flashes"), 1);
    QCOMPARE(counter("refusals"), 0);
    QVERIFY(!flashButton()->isEnabled());
    // A raw copy takes long enough to be seen with its speed.
    QVERIFY2(runLength || showsSpeed(shownBySend), qPrintable(shownBySend.values().join('|')));
    // The status was read back after the flash.
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelBootloaderVersionValue"))->text(),
             runLength ? QStringLiteral("1.0.7") : QStringLiteral("0.0.6"));
}

void TestFirmwareBoard::refusedFlashShowsTheBoardsCode_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<bool>("runLength");
    QTest::addColumn<quint32>("code");
    QTest::newRow("tcp") << Link::Tcp << true << quint32(77);
    QTest::newRow("pty") << Link::Pty << false << quint32(0xDEADBEEF);
}

void TestFirmwareBoard::refusedFlashShowsTheBoardsCode()
{
    QFETCH(Link, link);
    QFETCH(bool, runLength);
    QFETCH(quint32, code);
    connectBoard(link, runLength);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(board.command(QStringLiteral("flash-refuse %1").arg(code)), QStringLiteral("OK flash-refuse %1").arg(code));

    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::Yes);
    answerer->queueButton(QMessageBox::Ok);
    sendImage(mixedImage(21));

    QCOMPARE(answerer->texts().size(), 3);
    QCOMPARE(answerer->texts().at(2), QString::fromUtf8("Ошибка команды записи основной прошивки\nКод ошибки: %1\n").arg(code));
    QCOMPARE(answerer->seen.at(2).icon, QMessageBox::Warning);
    QCOMPARE(counter("flashes"), 0);
    QCOMPARE(counter("refusals"), 1);
    QVERIFY(!flashButton()->isEnabled());
    // The error code read afterwards is the board's (shown signed, as 0x79 reads it).
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelErrorStatusValue"))->text(),
             QString::number(qint32(code)));

    // The log holds the copy and the refused flash with the board's code.
    QFile log(OperationsLog::defaultPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).endsWith(runLength ? QStringLiteral("\toperation=firmware-transfer rle\toutcome=ok")
                                            : QStringLiteral("\toperation=firmware-transfer legacy\toutcome=ok")),
             qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).endsWith(QStringLiteral("\toperation=flash\toutcome=refused\terror=%1").arg(code)),
             qPrintable(lines.at(1)));
}

void TestFirmwareBoard::declinedFlashCanBeMadeLater_data()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("tcp") << Link::Tcp;
    QTest::newRow("pty") << Link::Pty;
}

void TestFirmwareBoard::declinedFlashCanBeMadeLater()
{
    QFETCH(Link, link);
    connectBoard(link, true);
    if (QTest::currentTestFailed())
        return;

    const QByteArray image = mixedImage(31);
    answerer->queueButton(QMessageBox::Ok);
    answerer->queueButton(QMessageBox::No);
    sendImage(image);
    QCOMPARE(answerer->texts(), (QStringList{ copied, mainQuestion }));
    QVERIFY(flashButton()->isEnabled());
    QCOMPARE(counter("flashes"), 0);

    answerer->reset();
    answerer->queueButton(QMessageBox::Ok);
    flashButton()->click();
    QCOMPARE(answerer->texts(), QStringList{ mainDone });
    QCOMPARE(counter("flashes"), 1);
    QCOMPARE(boardImage(), image);
    QVERIFY(!flashButton()->isEnabled());
}

void TestFirmwareBoard::oneStepUpdateFromTheMainFirmware_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("knob");
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("status"); // what the window shows the board running afterwards
    QTest::addColumn<int>("flashes");

    QTest::newRow("ends on the new version") << Link::Pty << ""
                                             << "Основная прошивка обновлена\nВерсия прошивки: 1.2.0 → 2.4.1"
                                             << "Основная прошивка" << 1;
    QTest::newRow("flash refused") << Link::Tcp << "flash-refuse 5"
                                   << "Обновление прошивки остановлено на шаге «запись прошивки».\n"
                                      "Ошибка команды записи основной прошивки\nКод ошибки: 5\n"
                                      "Устройство работает: «Загрузчик». Новая прошивка не записана.\n"
                                   << "Загрузчик" << 0;
}

void TestFirmwareBoard::oneStepUpdateFromTheMainFirmware()
{
    QFETCH(Link, link);
    QFETCH(QString, knob);
    QFETCH(QString, box);
    QFETCH(QString, status);
    QFETCH(int, flashes);

    // Sent raw: long enough a copy to watch.
    QVERIFY2(board.start({ "--board-type", "1", "--mode", "main", "--firmware", "1.2.0", "--bootloader", "0.0.6" },
                         link == Link::Tcp ? VirtualBoardProcess::Link::Tcp : VirtualBoardProcess::Link::Pty),
             qPrintable(board.errorString()));
    if (!knob.isEmpty())
        QVERIFY(board.command(knob).startsWith(QLatin1String("OK")));
    auto* bar = partOf<Tessarin>(*window);
    const QString program = QStringLiteral("KELDORA_NODE");
    QVERIFY(link == Link::Tcp ? ConnectionBar::connectOverTcp(bar, program, board.host(), board.port()).isEmpty()
                              : ConnectionBar::connectOverPty(bar, program, board.ptyPath()).isEmpty());
    QVERIFY(bar->isConnected());

    QByteArray image = mixedImage(41);
    image.replace(1000, 14, "version=2.4.1;");
    nextChoice = files->filePath(QStringLiteral("fw_main_vrell_a.frm"));
    QFile file(nextChoice);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(image) == image.size());
    file.close();
    partOf<OneStepUpdate>(*window)->chooseFile = [this](QWidget*, const QString&, const QString&, const QString&) {
        return nextChoice;
    };
    // While the job runs the window shows the step, the speed and the time left.
    const QSet<QString> shown =
        watch([this] { window->findChild<QAction*>(QStringLiteral("actionUpdateFirmware"))->trigger(); });

    QCOMPARE(answerer->texts(), QStringList { box });
    QVERIFY2(shown.contains(QStringLiteral("Обновление прошивки: копирование...")) && showsSpeed(shown),
             qPrintable(shown.values().join('|')));
    QCOMPARE(counter("flashes"), flashes);
    // The window holds the link the job ended on and shows that board.
    QVERIFY(bar->isConnected());
    QVERIFY(!window->findChild<BoardSession*>(QStringLiteral("boardSession"))->link().isNull());
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelDeviceStatusValue"))->text(), status);
    QCOMPARE(window->findChild<QLabel*>(QStringLiteral("labelFirmwareVersionValue"))->text(),
             flashes ? QStringLiteral("2.4.1") : QStringLiteral("1.2.0"));
    QFile log(OperationsLog::defaultPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("\toperation=update\t")));
}

QTEST_MAIN(TestFirmwareBoard)
#include "tst_firmwareboard.moc"
