// The window on a bad line. The virtual board drops, splits, delays and
// corrupts its replies, puts junk or another device's frames before them,
// cuts the TCP connection or vanishes from its pseudo-terminal, and a peer of
// the test's own floods the line with junk. Every case must end in the
// window's own message within the time-outs, report no success for a
// failure, leave the stored settings as they were, and leave the window able
// to talk to the board again.

#include "boardsetup.h"
#include "devicepanel.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "connectionbar.h"
#include "loopbackpeer.h"
#include "modalanswerer.h"
#include "ptypair.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QElapsedTimer>
#include <QAction>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <unistd.h>

enum class Link { Tcp, Pty };
Q_DECLARE_METATYPE(Link)

namespace {

const QString boardSilent = QStringLiteral("Устройство не ответило\n");
const QString diDoReadError = QStringLiteral("Ошибка чтения параметров DI/DO\n");
const QString diDoWriteError = QStringLiteral("Ошибка записи параметров DI/DO\n");
const QString diDoWritten = QStringLiteral("Параметры DI/DO успешно записаны\n");
const QString rs485ReadError = QStringLiteral("Ошибка чтения параметров RS-485\n");
const QString copyDone = QStringLiteral("Копирование завершено!\n");
const QString blockError = QStringLiteral("Ошибка записи блока ");
const QString mainFirmware = QStringLiteral("Основная прошивка");
const QString bootloader = QStringLiteral("Загрузчик");
const QString linkLost = QStringLiteral("Связь с устройством потеряна\n");

QStringList mainBoard()
{
    return { QStringLiteral("--board-type"), QStringLiteral("1"), QStringLiteral("--mode"), QStringLiteral("main"),
             QStringLiteral("--firmware"), QStringLiteral("0.0.6"), QStringLiteral("--bootloader"),
             QStringLiteral("0.0.5") };
}

// In its bootloader: from bootloader 1.0.7 on the window sends run-length
// coded blocks, below that raw ones.
QStringList bootBoard(bool runLength)
{
    return { QStringLiteral("--board-type"), QStringLiteral("1"), QStringLiteral("--mode"), QStringLiteral("boot"),
             QStringLiteral("--firmware"), QStringLiteral("0.0.6"), QStringLiteral("--bootloader"),
             runLength ? QStringLiteral("1.0.7") : QStringLiteral("0.0.6") };
}

// An image that codes to many packets and has both runs and noise.
QByteArray testImage()
{
    QByteArray image;
    quint32 x = 12345;
    while (image.size() < 30000) {
        x = x * 1103515245u + 12345u;
        if ((x >> 24) % 3 == 0)
            image.append(int(40 + (x >> 8) % 200), char(x >> 16));
        else
            for (int i = 0; i < 100; ++i)
                image.append(char((x >> (i % 24)) + i));
    }
    return image.left(30000);
}

// Replies cut into pieces. A pty reader waits for the rest of a frame up to
// its time-out, so the pieces come 20 ms apart; over TCP a pause longer than
// the transport's 50 ms quiet gap ends the read by design, so there the
// pieces come 3 ms apart: still separate segments, with room for a loaded
// machine to stretch the pause.
QString splitKnob(Link link, int pieces)
{
    return QStringLiteral("split %1 %2").arg(pieces).arg(link == Link::Tcp ? 3 : 20);
}

QString namesOf(const QList<ModalAnswerer::Seen>& seen)
{
    QStringList texts;
    for (const ModalAnswerer::Seen& s : seen)
        texts << s.text;
    return texts.join(QLatin1Char('|'));
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void faultAtConnect_data();
    void faultAtConnect();
    void faultDuringOperation_data();
    void faultDuringOperation();
    void faultDuringTransfer_data();
    void faultDuringTransfer();
    void settingsResetKeepsTheLinkShownHeld_data() { addLinkRows(); }
    void settingsResetKeepsTheLinkShownHeld();
    void boardGoneWhileIdle_data() { addLinkRows(); }
    void boardGoneWhileIdle();
    void ptyHangUpDuringRead();
    void ptyHangUpDuringTransfer();
    void junkFloodEndsWithinTheTimeOut_data();
    void junkFloodEndsWithinTheTimeOut();

private:
    static void addLinkRows();
    bool startBoard(Link link, const QStringList& args);
    // Connects the way a technician does: mode, port or address in the
    // connection bar, then Connect.
    void connectThroughBar(Link link, const QString& pty = QString());
    void disconnectThroughBar();
    // After a loss: the bar offers Connect, the readout and the firmware
    // buttons are back to no link, and no stale progress is shown.
    void verifyLinkReleased();
    // Faults off, disconnect if still connected, connect again: the readout
    // must come back whole and a DI/DO read must work on the new link.
    void verifyReconnect(Link link, const QString& expectedStatus);
    int counter(const char* name)
    {
        return board.state().value(QStringLiteral("counters")).toObject().value(QLatin1String(name)).toInt(-1);
    }
    template <typename T>
    T* child(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    void click(const char* name) { child<QPushButton>(name)->click(); }
    // Everything stored for the program, read raw so that a key written by
    // mistake shows as well as a changed one.
    QMap<QString, QVariant> storedSettings();
    // Sets a knob once the transfer has acknowledged its first blocks (the
    // window runs the event loop between blocks).
    void armMidTransfer(const std::function<void()>& action);

    VirtualBoardProcess board;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    std::unique_ptr<QTemporaryDir> files;
    Tessarin* bar = nullptr;
    QTimer midTransfer;
};

void TestFaults::initTestCase()
{
    // A peer of the test writes to connections the window has closed.
    std::signal(SIGPIPE, SIG_IGN);
    TestSettings::isolate();
    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
}

void TestFaults::init()
{
    TestSettings::clear();
    window.reset(new MainWindow);
    answerer.reset(new ModalAnswerer);
    files.reset(new QTemporaryDir);
    QVERIFY(files->isValid());
    bar = window->findChild<Tessarin*>();
    QVERIFY(bar);
    midTransfer.disconnect();
    midTransfer.stop();
}

void TestFaults::cleanup()
{
    midTransfer.stop();
    midTransfer.disconnect();
    answerer.reset();
    window.reset();
    board.stop();
    files.reset();
}

bool TestFaults::startBoard(Link link, const QStringList& args)
{
    const bool started =
        board.start(args, link == Link::Tcp ? VirtualBoardProcess::Link::Tcp : VirtualBoardProcess::Link::Pty);
    if (!started)
        qWarning("%s", qPrintable(board.errorString()));
    return started;
}

void TestFaults::connectThroughBar(Link link, const QString& pty)
{
    const QString program = QStringLiteral("KELDORA_NODE");
    const QString missing = link == Link::Tcp
        ? ConnectionBar::connectOverTcp(bar, program, board.host(), int(board.port()))
        : ConnectionBar::connectOverPty(bar, program, pty.isEmpty() ? board.ptyPath() : pty);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

void TestFaults::disconnectThroughBar()
{
    QPushButton* disconnect = ConnectionBar::button(bar, QStringLiteral("Disconnect"));
    QVERIFY(disconnect);
    disconnect->click();
    QVERIFY(!bar->isConnected());
    QVERIFY(partOf<BoardSession>(*window)->link().isNull());
}

void TestFaults::verifyLinkReleased()
{
    QVERIFY(!bar->isConnected());
    QVERIFY(ConnectionBar::button(bar, QStringLiteral("Connect")));
    QVERIFY(!ConnectionBar::button(bar, QStringLiteral("Disconnect")));
    QVERIFY(partOf<BoardSession>(*window)->link().isNull());
    for (const char* value : { "labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                               "labelBootloaderVersionValue", "labelErrorStatusValue" })
        QCOMPARE(label(value), QStringLiteral("-"));
    for (const char* button : { "pushButtonSendFirmware", "pushButtonFlashFirmware", "pushButtonEnterBootloader" })
        QVERIFY(!child<QPushButton>(button)->isEnabled());
    QCOMPARE(child<QProgressBar>("progressBar")->value(), 0);
}

void TestFaults::verifyReconnect(Link link, const QString& expectedStatus)
{
    QVERIFY(board.command(QStringLiteral("faults off")).startsWith(QLatin1String("OK")));
    if (bar->isConnected())
        disconnectThroughBar();
    answerer->reset();
    connectThroughBar(link);
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(namesOf(answerer->seen)));
    QVERIFY(bar->isConnected());
    QVERIFY(!partOf<BoardSession>(*window)->link().isNull());
    QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("0.0.6"));
    QCOMPARE(label("labelDeviceStatusValue"), expectedStatus);
    QCOMPARE(label("labelBoardVersionValue"), QStringLiteral("VRELL_A"));
    if (expectedStatus == mainFirmware) {
        click("pushButtonGetDiDoParam");
        QVERIFY2(answerer->seen.isEmpty(), qPrintable(namesOf(answerer->seen)));
    }
}

QMap<QString, QVariant> TestFaults::storedSettings()
{
    QSettings settings(QString::fromLatin1(SettingsStore::organisation), QStringLiteral("KELDORA_NODE"));
    QMap<QString, QVariant> all;
    for (const QString& key : settings.allKeys())
        all.insert(key, settings.value(key));
    return all;
}

void TestFaults::armMidTransfer(const std::function<void()>& action)
{
    midTransfer.disconnect();
    midTransfer.setInterval(0);
    auto* progress = child<QProgressBar>("progressBar");
    connect(&midTransfer, &QTimer::timeout, this, [this, progress, action] {
        if (progress->value() > 2000) {
            midTransfer.stop();
            action();
        }
    });
    midTransfer.start();
}

// ---- Faults while the window reads the board's identity on connect ----

void TestFaults::faultAtConnect_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("knob");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("budgetMs");

    const QString noAnswer = QStringLiteral("Нет ответа");
    for (Link link : { Link::Tcp, Link::Pty }) {
        const char* on = link == Link::Tcp ? "tcp" : "pty";
        const auto split = [link](int pieces) { return splitKnob(link, pieces); };
        // Nothing comes back: the readout gives up after the firmware version
        // (1 s) and status (2 s) time-outs and lets the link go.
        QTest::addRow("%s, every reply dropped", on) << link << QStringLiteral("silent 1000") << QStringList{ boardSilent }
                                                    << false << noAnswer << noAnswer << 3000;
        QTest::addRow("%s, every checksum bad", on) << link << QStringLiteral("corrupt-crc 1000")
                                                   << QStringList{ boardSilent } << false << noAnswer << noAnswer << 3000;
        // No firmware version at all is a silent board, even though the
        // status that follows does come.
        QTest::addRow("%s, firmware version reply dropped", on) << link << QStringLiteral("silent 1")
                                                               << QStringList{ boardSilent } << false << noAnswer
                                                               << mainFirmware << 1000;
        QTest::addRow("%s, replies in pieces", on) << link << split(5) << QStringList() << true
                                                  << QStringLiteral("0.0.6") << mainFirmware << 0;
        QTest::addRow("%s, junk before replies", on) << link << QStringLiteral("junk 1000") << QStringList() << true
                                                    << QStringLiteral("0.0.6") << mainFirmware << 0;
    }
    // Over TCP one address may stand for a bus: frames for other devices are
    // skipped.
    QTest::newRow("tcp, foreign frames before replies") << Link::Tcp << QStringLiteral("foreign 1000") << QStringList()
                                                       << true << QStringLiteral("0.0.6") << mainFirmware << 0;
}

void TestFaults::faultAtConnect()
{
    QFETCH(Link, link);
    QFETCH(QString, knob);
    QFETCH(QStringList, messages);
    QFETCH(bool, connected);
    QFETCH(QString, firmware);
    QFETCH(QString, status);
    QFETCH(int, budgetMs);

    QVERIFY(startBoard(link, mainBoard()));
    QVERIFY(board.command(knob).startsWith(QLatin1String("OK")));
    QElapsedTimer clock;
    clock.start();
    connectThroughBar(link);
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs

    QCOMPARE(answerer->texts(), messages);
    for (const ModalAnswerer::Seen& seen : answerer->seen)
        QCOMPARE(seen.title, QStringLiteral("Vantor"));
    QCOMPARE(bar->isConnected(), connected);
    QCOMPARE(partOf<BoardSession>(*window)->link().isNull(), !connected);
    QCOMPARE(label("labelFirmwareVersionValue"), firmware);
    QCOMPARE(label("labelDeviceStatusValue"), status);
    // The time-outs the faults cost, plus a generous margin for a loaded machine.
    QVERIFY2(took < budgetMs + 5000, qPrintable(QStringLiteral("connect took %1 ms").arg(took)));
    const QMap<QString, QVariant> settings = storedSettings();

    verifyReconnect(link, mainFirmware);
    QCOMPARE(storedSettings(), settings);
}

// ---- Faults during the DI/DO and RS-485 operations ----

void TestFaults::faultDuringOperation_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<QString>("knob");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<bool>("linkSurvives");
    QTest::addColumn<int>("budgetMs");

    for (Link link : { Link::Tcp, Link::Pty }) {
        const char* on = link == Link::Tcp ? "tcp" : "pty";
        const auto split = [link](int pieces) { return splitKnob(link, pieces); };
        QTest::addRow("%s, DI/DO read, reply dropped", on)
            << link << QStringLiteral("silent 1") << QStringLiteral("dido read") << QStringList{ diDoReadError } << true
            << 2000;
        QTest::addRow("%s, DI/DO read, checksum bad", on)
            << link << QStringLiteral("corrupt-crc 1") << QStringLiteral("dido read") << QStringList{ diDoReadError }
            << true << 0;
        // Held back past each read's time-out: the reads fail, and the late
        // replies must not pass for the answers of later requests.
        QTest::addRow("%s, DI/DO read, reply late", on)
            << link << QStringLiteral("delay 2500") << QStringLiteral("dido read") << QStringList{ diDoReadError } << true
            << 4 * 2000;
        QTest::addRow("%s, DI/DO read, replies in pieces", on)
            << link << split(4) << QStringLiteral("dido read") << QStringList() << true << 0;
        QTest::addRow("%s, DI/DO read, junk first", on)
            << link << QStringLiteral("junk 10") << QStringLiteral("dido read") << QStringList() << true << 0;
        QTest::addRow("%s, DI/DO save, request lost", on)
            << link << QStringLiteral("silent 1") << QStringLiteral("dido write") << QStringList{ diDoWriteError }
            << true << 2000;
        QTest::addRow("%s, DI/DO save, acknowledgement spoilt", on)
            << link << QStringLiteral("corrupt-crc 1") << QStringLiteral("dido write") << QStringList{ diDoWriteError }
            << true << 0;
        QTest::addRow("%s, DI/DO save, acknowledgements in pieces", on)
            << link << split(3) << QStringLiteral("dido write") << QStringList{ diDoWritten } << true
            << 0;
        // The port settings are asked up to three times.
        QTest::addRow("%s, RS-485 read, two replies lost", on)
            << link << QStringLiteral("silent 2") << QStringLiteral("rs485 read") << QStringList() << true << 2 * 2000;
        QTest::addRow("%s, RS-485 read, three replies lost", on)
            << link << QStringLiteral("silent 3") << QStringLiteral("rs485 read") << QStringList{ rs485ReadError } << true
            << 3 * 2000;
        QTest::addRow("%s, RS-485 read, checksum bad once", on)
            << link << QStringLiteral("corrupt-crc 1") << QStringLiteral("rs485 read") << QStringList() << true << 0;
    }
    QTest::newRow("tcp, DI/DO read, foreign frames first")
        << Link::Tcp << QStringLiteral("foreign 10") << QStringLiteral("dido read") << QStringList() << true << 0;
    // On a serial line another device's frame ends the read at once.
    QTest::newRow("pty, DI/DO read, foreign frame first")
        << Link::Pty << QStringLiteral("foreign 1") << QStringLiteral("dido read") << QStringList{ diDoReadError } << true
        << 0;
    // The connection cut halfway through a reply: the rest of the sequence
    // cannot be written.
    QTest::newRow("tcp, DI/DO read, connection cut")
        << Link::Tcp << QStringLiteral("drop-after 20") << QStringLiteral("dido read") << QStringList{ diDoReadError }
        << false << 2000;
    // On the pty the board forgets the half-sent reply; the line stays.
    QTest::newRow("pty, DI/DO read, reply cut")
        << Link::Pty << QStringLiteral("drop-after 20") << QStringLiteral("dido read") << QStringList{ diDoReadError }
        << true << 2000;
}

void TestFaults::faultDuringOperation()
{
    QFETCH(Link, link);
    QFETCH(QString, knob);
    QFETCH(QString, operation);
    QFETCH(QStringList, messages);
    QFETCH(bool, linkSurvives);
    QFETCH(int, budgetMs);

    QVERIFY(startBoard(link, mainBoard()));
    connectThroughBar(link);
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(namesOf(answerer->seen)));
    QVERIFY(bar->isConnected());
    const QMap<QString, QVariant> settings = storedSettings();
    const QJsonObject configuration = board.state().value(QStringLiteral("configuration")).toObject();
    QVERIFY(!configuration.isEmpty());

    const char* button = operation == QLatin1String("dido read")    ? "pushButtonGetDiDoParam"
                         : operation == QLatin1String("dido write") ? "pushButtonSetDiDoParam"
                                                                    : "pushButtonGetRs485Param";
    QVERIFY(board.command(knob).startsWith(QLatin1String("OK")));
    const int requestsBefore = counter("requests");
    QElapsedTimer clock;
    clock.start();
    click(button);
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs

    // A cut link is let go, and said so after the operation's own message.
    if (linkSurvives) {
        QCOMPARE(answerer->texts(), messages);
    } else {
        QTRY_COMPARE(answerer->texts(), messages + QStringList{ linkLost });
        verifyLinkReleased();
    }
    QVERIFY2(took < budgetMs + 5000, qPrintable(QStringLiteral("%1 took %2 ms").arg(operation).arg(took)));
    QCOMPARE(storedSettings(), settings);
    // A save writes back what was read, so the board's configuration is the
    // same whether or not the save went through.
    QCOMPARE(board.state().value(QStringLiteral("configuration")).toObject(), configuration);

    // Without the fault the same link works again at once, with no answer
    // of the faulty exchange taken for the answer of a later one.
    if (linkSurvives) {
        QVERIFY(board.command(QStringLiteral("faults off")).startsWith(QLatin1String("OK")));
        // Replies held back by the board go out one after another, each after
        // its delay: let the last one come before going on.
        if (knob.startsWith(QLatin1String("delay"))) {
            const int held = counter("requests") - requestsBefore;
            const qint64 lastOut = qint64(held) * knob.section(QLatin1Char(' '), 1).toInt() + 500;
            QTest::qWait(int(qMax<qint64>(0, lastOut - clock.elapsed())));
        }
        answerer->reset();
        click("pushButtonGetDiDoParam");
        click("pushButtonGetRs485Param");
        QVERIFY2(answerer->seen.isEmpty(), qPrintable(namesOf(answerer->seen)));
        QVERIFY(partOf<BoardSession>(*window)->readErrorCode());
        QCOMPARE(label("labelErrorStatusValue"), QStringLiteral("0"));
    }
    verifyReconnect(link, mainFirmware);
    QCOMPARE(storedSettings(), settings);
}

// ---- Faults in the middle of a firmware transfer ----

void TestFaults::faultDuringTransfer_data()
{
    QTest::addColumn<Link>("link");
    QTest::addColumn<bool>("runLength");
    QTest::addColumn<QString>("knob");
    QTest::addColumn<bool>("copied");
    QTest::addColumn<bool>("linkSurvives");

    for (Link link : { Link::Tcp, Link::Pty }) {
        const char* on = link == Link::Tcp ? "tcp" : "pty";
        const auto split = [link](int pieces) { return splitKnob(link, pieces); };
        // A block is sent up to three times. (A run-length coded middle
        // block waits 60 s for its answer: too long to lose one here.)
        QTest::addRow("%s, legacy, two blocks unanswered", on)
            << link << false << QStringLiteral("silent 2") << true << true;
        for (bool rle : { false, true }) {
            const char* method = rle ? "rle" : "legacy";
            // The board has the block but its acknowledgement is lost: the
            // block comes again and must not be stored twice.
            QTest::addRow("%s, %s, acknowledgement spoilt", on, method)
                << link << rle << QStringLiteral("corrupt-crc 1") << true << true;
            QTest::addRow("%s, %s, acknowledgements in pieces", on, method)
                << link << rle << split(3) << true << true;
            QTest::addRow("%s, %s, junk before acknowledgements", on, method)
                << link << rle << QStringLiteral("junk 5") << true << true;
        }
        // Three lost acknowledgements end a raw transfer (1 s each).
        QTest::addRow("%s, legacy, three blocks unanswered", on)
            << link << false << QStringLiteral("silent 3") << false << true;
    }
    for (bool rle : { false, true }) {
        QTest::addRow("tcp, %s, connection cut", rle ? "rle" : "legacy")
            << Link::Tcp << rle << QStringLiteral("drop-after 3") << false << false;
    }
}

void TestFaults::faultDuringTransfer()
{
    QFETCH(Link, link);
    QFETCH(bool, runLength);
    QFETCH(QString, knob);
    QFETCH(bool, copied);
    QFETCH(bool, linkSurvives);

    QVERIFY(startBoard(link, bootBoard(runLength)));
    connectThroughBar(link);
    QVERIFY2(answerer->seen.isEmpty(), qPrintable(namesOf(answerer->seen)));
    QCOMPARE(label("labelDeviceStatusValue"), bootloader);
    window->findChild<QAction*>(QStringLiteral("action"))->setChecked(true); // the dump is on during the transfer

    const QByteArray image = testImage();
    const QString path = files->filePath(QStringLiteral("fw_main_vrell_a.frm"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(image), qint64(image.size()));
    }
    partOf<FirmwarePanel>(*window)->chooseFile = ([path](QWidget*, const QString&, const QString&, const QString&) { return path; });
    const QMap<QString, QVariant> before = storedSettings();

    QString knobAnswer;
    armMidTransfer([&] { knobAnswer = board.command(knob); });
    answerer->queueButton(QMessageBox::Ok); // "copy done"
    answerer->queueButton(QMessageBox::No); // flash now? not yet
    QElapsedTimer clock;
    clock.start();
    click("pushButtonSendFirmware");
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs
    QVERIFY2(knobAnswer.startsWith(QLatin1String("OK")), qPrintable(knobAnswer));

    auto* flash = child<QPushButton>("pushButtonFlashFirmware");
    // A cut link is said after the transfer's own failure.
    if (!linkSurvives)
        QTRY_COMPARE(answerer->texts().size(), 2);
    const QStringList texts = answerer->texts();
    if (copied) {
        QVERIFY2(texts.size() == 2, qPrintable(texts.join(QLatin1Char('|'))));
        QCOMPARE(texts.at(0), copyDone);
        QVERIFY(flash->isEnabled());
        // The board rebuilt exactly the file.
        const QString onBoard = files->filePath(QStringLiteral("on-board.bin"));
        QVERIFY(board.command(QStringLiteral("image ") + onBoard).startsWith(QLatin1String("OK")));
        QFile file(onBoard);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == image, "the board holds another image than the file");
    } else {
        QCOMPARE(texts.size(), linkSurvives ? 1 : 2);
        QVERIFY2(texts.at(0).startsWith(blockError), qPrintable(texts.at(0)));
        if (!linkSurvives)
            QCOMPARE(texts.at(1), linkLost);
        QVERIFY(texts.at(0).endsWith(QLatin1String("\n")));
        QVERIFY(!flash->isEnabled());
        QVERIFY(!board.command(QStringLiteral("image ") + files->filePath(QStringLiteral("x.bin")))
                     .startsWith(QLatin1String("OK")));
    }
    // Three unanswered raw blocks cost 3 s; everything else a few hundred ms.
    QVERIFY2(took < 3000 + 10000, qPrintable(QStringLiteral("transfer took %1 ms").arg(took)));
    // Only the folder of the chosen file is remembered.
    QMap<QString, QVariant> after = storedSettings();
    after.remove(QStringLiteral("lastfirmwarepath"));
    QCOMPARE(after, before);
    if (!linkSurvives)
        verifyLinkReleased();

    if (linkSurvives) {
        QVERIFY(bar->isConnected());
        QVERIFY(board.command(QStringLiteral("faults off")).startsWith(QLatin1String("OK")));
        answerer->reset();
        QVERIFY(partOf<BoardSession>(*window)->readDeviceStatus());
        QCOMPARE(label("labelDeviceStatusValue"), bootloader);
    }
    verifyReconnect(link, bootloader);
}

// ---- The board goes away while the link is idle ----

void TestFaults::addLinkRows()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("tcp") << Link::Tcp;
    QTest::newRow("pty") << Link::Pty;
}

void TestFaults::settingsResetKeepsTheLinkShownHeld()
{
    QFETCH(Link, link);
    QVERIFY(startBoard(link, mainBoard()));
    connectThroughBar(link);
    QVERIFY(bar->isConnected());
    const QSharedPointer<Connector> held = partOf<BoardSession>(*window)->link();
    const int requests = counter("requests");

    QPushButton* reset = ConnectionBar::button(bar, QStringLiteral("Сброс настроек"));
    QVERIFY(reset);
    reset->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // The row was rebuilt from the defaults, yet the link it holds is shown
    // held: no Connect to open a second one, and nothing said to the board.
    QVERIFY(answerer->seen.isEmpty());
    QVERIFY(bar->isConnected());
    QVERIFY(!ConnectionBar::button(bar, QStringLiteral("Connect")));
    QCOMPARE(partOf<BoardSession>(*window)->link(), held);
    QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("0.0.6"));
    QCOMPARE(counter("requests"), requests);
    disconnectThroughBar();
}

void TestFaults::boardGoneWhileIdle()
{
    QFETCH(Link, link);
    QVERIFY(startBoard(link, mainBoard()));
    connectThroughBar(link);
    QVERIFY(bar->isConnected());
    const QMap<QString, QVariant> settings = storedSettings();

    // Watching the link costs the line nothing: an idle window sends no request.
    const int requests = counter("requests");
    QTest::qWait(1000);
    QCOMPARE(counter("requests"), requests);

    // The board quits: its socket or its end of the pty closes.
    board.stop();
    QTRY_COMPARE(answerer->texts(), QStringList{ linkLost });
    QCOMPARE(answerer->seen.at(0).title, QStringLiteral("Vantor"));
    verifyLinkReleased();
    QCOMPARE(storedSettings(), settings);

    QVERIFY(startBoard(link, mainBoard()));
    verifyReconnect(link, mainFirmware);
}

// ---- The pty goes away while the window waits for a reply ----

void TestFaults::ptyHangUpDuringRead()
{
    QVERIFY(startBoard(Link::Pty, mainBoard()));
    connectThroughBar(Link::Pty);
    QVERIFY(bar->isConnected());
    const QMap<QString, QVariant> settings = storedSettings();

    // The board holds its reply back and is killed while the window waits.
    QVERIFY(board.command(QStringLiteral("delay 1500")).startsWith(QLatin1String("OK")));
    const pid_t pid = pid_t(board.processId());
    QVERIFY(pid > 0);
    std::thread killer([pid] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ::kill(pid, SIGKILL);
    });
    QElapsedTimer clock;
    clock.start();
    click("pushButtonGetDiDoParam");
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs
    killer.join();

    // The read fails with its own message; then the loss is said.
    QTRY_COMPARE(answerer->texts(), (QStringList{ diDoReadError, linkLost }));
    verifyLinkReleased();
    // Every read of the sequence ends by its time-out at the latest.
    QVERIFY2(took < 4 * 2000 + 5000, qPrintable(QStringLiteral("read took %1 ms").arg(took)));
    QCOMPARE(storedSettings(), settings);

    // A board on a new pty: connect, and all is back.
    QVERIFY(startBoard(Link::Pty, mainBoard()));
    verifyReconnect(Link::Pty, mainFirmware);
    QCOMPARE(storedSettings(), settings);
}

void TestFaults::ptyHangUpDuringTransfer()
{
    QVERIFY(startBoard(Link::Pty, bootBoard(false)));
    connectThroughBar(Link::Pty);
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelDeviceStatusValue"), bootloader);
    const QString path = files->filePath(QStringLiteral("fw_main_vrell_a.frm"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(testImage()) > 0);
    }
    partOf<FirmwarePanel>(*window)->chooseFile = ([path](QWidget*, const QString&, const QString&, const QString&) { return path; });
    const QMap<QString, QVariant> before = storedSettings();

    const pid_t pid = pid_t(board.processId());
    QVERIFY(pid > 0);
    armMidTransfer([pid] { ::kill(pid, SIGKILL); });
    QElapsedTimer clock;
    clock.start();
    click("pushButtonSendFirmware");
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs

    QTRY_COMPARE(answerer->texts().size(), 2);
    const QStringList texts = answerer->texts();
    QVERIFY2(texts.at(0).startsWith(blockError), qPrintable(texts.at(0)));
    QCOMPARE(texts.at(1), linkLost);
    verifyLinkReleased();
    // At worst three raw middle blocks unanswered (1 s each).
    QVERIFY2(took < 3000 + 5000, qPrintable(QStringLiteral("transfer took %1 ms").arg(took)));
    QMap<QString, QVariant> after = storedSettings();
    after.remove(QStringLiteral("lastfirmwarepath"));
    QCOMPARE(after, before);

    QVERIFY(startBoard(Link::Pty, bootBoard(false)));
    verifyReconnect(Link::Pty, bootloader);
}

// ---- A peer that floods the line with junk ----

void TestFaults::junkFloodEndsWithinTheTimeOut_data()
{
    QTest::addColumn<Link>("link");
    QTest::newRow("tcp") << Link::Tcp;
    QTest::newRow("pty") << Link::Pty;
}

void TestFaults::junkFloodEndsWithinTheTimeOut()
{
    QFETCH(Link, link);

    // Junk that holds pieces of the start mark but never the whole of it.
    QByteArray junk;
    for (int i = 0; junk.size() < 4096; ++i)
        junk += QByteArray::fromHex("fe45ff00fe4511") + char(i);
    std::atomic<bool> stop { false };
    std::atomic<qint64> sent { 0 };

    LoopbackPeer peer;
    PtyPair pty;
    QElapsedTimer clock;
    if (link == Link::Tcp) {
        QVERIFY2(peer.isListening(), qPrintable(peer.errorString()));
        // Ends when the window lets the connection go (the write then fails).
        peer.startScript([&](LoopbackPeer& p) {
            while (!stop && p.write(junk))
                sent += junk.size();
        });
        clock.start();
        const QString missing =
            ConnectionBar::connectOverTcp(bar, QStringLiteral("KELDORA_NODE"), QStringLiteral("127.0.0.1"), int(peer.port()));
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    } else {
        QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
        const int master = pty.masterFd();
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        // The pair keeps the slave open, so nobody reading would block a plain
        // write for good: wait for room a little at a time and look at `stop`.
        pty.startScript([&, master](PtyPair&) {
            while (!stop) {
                pollfd p { master, POLLOUT, 0 };
                if (::poll(&p, 1, 20) <= 0)
                    continue;
                const ssize_t n = ::write(master, junk.constData(), size_t(junk.size()));
                if (n > 0)
                    sent += n;
                else if (n < 0 && errno != EAGAIN && errno != EINTR)
                    return;
            }
        });
        clock.start();
        connectThroughBar(Link::Pty, pty.slavePath());
    }
    const qint64 took = clock.elapsed();
    qInfo("took %lld ms", took); // for the record of what each fault costs
    stop = true;
    if (link == Link::Tcp)
        peer.waitScript();
    else
        pty.waitScript();

    QVERIFY2(sent > 64 * 1024, "the flood never got going");
    QCOMPARE(answerer->texts(), QStringList{ boardSilent });
    QVERIFY(!bar->isConnected());
    QVERIFY(partOf<BoardSession>(*window)->link().isNull());
    // Firmware version (1 s) and status (2 s), however much junk came.
    QVERIFY2(took < 3000 + 5000, qPrintable(QStringLiteral("connect took %1 ms").arg(took)));

    QVERIFY(startBoard(link, mainBoard()));
    verifyReconnect(link, mainFirmware);
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
