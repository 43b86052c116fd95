// What the window shows of a board when a link is handed to it, against a
// scripted link whose every reply the test chooses: labels, tabs, buttons and
// the answer to the connection bar as the session's readout goes. Reboot and
// mode switch are checked the same way, and the DI calibration on its panel.
// What the session reads, in which order, and the texts it gives are the
// session's tests.

#include "boardsetup.h"
#include "calibrationpanel.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "configblocks.h"
#include "modalanswerer.h"
#include "operationslog.h"
#include "scriptedconnector.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QMap>
#include <QPushButton>
#include <QTabWidget>
#include <QStatusBar>
#include <QtTest>

#include <memory>

using Step = ScriptedConnector::Step;
Q_DECLARE_METATYPE(Step)

namespace {

const QString vantor = QStringLiteral("Vantor");
const QString notAnswered = QStringLiteral("Устройство не ответило\n");

QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(QByteArray(hex).replace(' ', ""));
}

QByteArray text(quint8 lead, const QByteArray& payload)
{
    return QByteArray(1, char(lead)) + char(payload.size()) + payload;
}

// A board that answers every command the connect sequence sends; `faults`
// replaces the answers to one command code, first step first.
struct FakeBoard
{
    QByteArray firmware = "0.0.6";
    quint8 mode = 0;
    QByteArray bootloader = "0.0.5";
    quint16 type = 1;
    qint32 errorCode = 0;
    QMap<quint8, QList<Step>> faults;

    Step answer(const QByteArray& request)
    {
        const quint8 code = quint8(request.at(0));
        if (!faults.value(code).isEmpty())
            return faults[code].takeFirst();

        DiDoConfig config;
        ConfigBlocks::resetDiDoRecord(config);
        const int di = type == 3 ? 0 : (type == 4 ? 32 : 16);
        QByteArray reply(1, char(code));
        switch (code) {
        case 0x78:
            return ScriptedConnector::reply(text(0xC9, firmware));
        case 0x64:
            return ScriptedConnector::reply(bytes("c9") + char(mode) + char(bootloader.size()) + bootloader);
        case 0x7D:
            return ScriptedConnector::reply(bytes("c9") + char(type & 0xFF) + char(type >> 8));
        case 0x79: {
            QByteArray r = bytes("c9");
            for (int i = 0; i < 4; ++i)
                r.append(char((quint32(errorCode) >> (8 * i)) & 0xFF));
            return ScriptedConnector::reply(r);
        }
        case 0x71: {
            Rs485Ports ports {};
            for (Rs485PortParams& p : ports) {
                p.baudRate = 9600;
                p.modbusAddress = 1;
                p.fixedWord = 1000;
                p.modbusEnabled = 1;
            }
            return ScriptedConnector::reply(reply + ConfigBlocks::rs485PortsData(ports));
        }
        case 0x9D:
            return ScriptedConnector::reply(reply + ConfigBlocks::iec101Data(Iec101Ports {}));
        case 0xA0:
            return ScriptedConnector::reply(reply + ConfigBlocks::diTableData(config, 32));
        case 0xA7:
            return ScriptedConnector::reply(reply + ConfigBlocks::diDebounceData(config, di));
        case 0xAA:
            return ScriptedConnector::reply(reply + ConfigBlocks::diModesData(config, di));
        case 0xA4:
            return ScriptedConnector::reply(reply + ConfigBlocks::doTableData(config, true));
        default:
            return ScriptedConnector::silence();
        }
    }
};

// Reports every request to the dump callback, as the real transports do.
class DumpingConnector : public ScriptedConnector
{
public:
    int write(const QByteArray& data) override
    {
        emitDump(QStringLiteral("TX %1").arg(QString::fromLatin1(data.toHex())));
        return ScriptedConnector::write(data);
    }
};

QList<int> codesOf(const ScriptedConnector& link)
{
    QList<int> codes;
    for (const QByteArray& w : link.writes)
        codes << (w.isEmpty() ? -1 : int(quint8(w.at(0))));
    return codes;
}

} // namespace

class TestDeviceReadout : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void statusReadMovesTabAndButtons_data();
    void statusReadMovesTabAndButtons();
    void unansweringBoardDropsTheLink_data();
    void unansweringBoardDropsTheLink();
    void incompleteReadoutKeepsTheLink_data();
    void incompleteReadoutKeepsTheLink();
    void boardTextIsNeverRichText();
    void disconnectForgetsTheBoard();
    void forgottenLinkNoLongerFeedsTheDump_data();
    void forgottenLinkNoLongerFeedsTheDump();

    void requestsThatEndTheLink_data();
    void requestsThatEndTheLink();
    void requestsWithoutALinkDoNothing();
    void unwritableLogIsSaid();

    void calibrationSteps_data();
    void calibrationSteps();

private:
    // Hands a scripted link answering as `board` to the window.
    ScriptedConnector* connectTo(FakeBoard& board);
    template <typename T>
    T* child(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    bool tabEnabled(const char* name)
    {
        auto* tabs = child<QTabWidget>("tabWidget");
        return tabs->isTabEnabled(tabs->indexOf(child<QWidget>(name)));
    }

    std::unique_ptr<MainWindow> window;
    BoardSession* session() { return partOf<BoardSession>(*window); }
    const BoardState& state() { return session()->board(); }
    Tessarin* bar() { return partOf<Tessarin>(*window); }
    std::unique_ptr<ModalAnswerer> answerer;
    QSharedPointer<Connector> link;
    FakeBoard board;
};

void TestDeviceReadout::initTestCase()
{
    TestSettings::isolate();
}

void TestDeviceReadout::init()
{
    board = FakeBoard();
    window.reset(new MainWindow);
    answerer.reset(new ModalAnswerer);
}

void TestDeviceReadout::cleanup()
{
    answerer.reset();
    window.reset();
    link.reset();
}

ScriptedConnector* TestDeviceReadout::connectTo(FakeBoard& fake)
{
    auto* scripted = new ScriptedConnector;
    scripted->setResponder([&fake](const QByteArray& request) { return fake.answer(request); });
    link = QSharedPointer<Connector>(scripted);
    emit bar()->onConnected(link);
    return scripted;
}

// ---- The connect sequence ----

void TestDeviceReadout::statusReadMovesTabAndButtons_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<bool>("diDoTab");
    QTest::addColumn<QString>("enterCaption");

    const QString enterBoot = QStringLiteral("Enter Bootloader");
    QTest::newRow("main firmware") << ScriptedConnector::replyHex("c9 00 05 312e322e33") << "Основная прошивка"
                                   << "1.2.3" << true << enterBoot;
    QTest::newRow("bootloader") << ScriptedConnector::replyHex("c9 01 05 302e302e35") << "Загрузчик" << "0.0.5"
                                << false << "Enter Main Firmware";
    QTest::newRow("other mode") << ScriptedConnector::replyHex("c9 07 00") << "Неизвестно (7)" << "-" << false
                                << enterBoot;
    // A stale mode must not survive a failed read.
    QTest::newRow("silent") << ScriptedConnector::silence() << "Нет ответа" << "Нет ответа" << false << enterBoot;
}

void TestDeviceReadout::statusReadMovesTabAndButtons()
{
    QFETCH(Step, step);
    QFETCH(QString, status);
    QFETCH(QString, bootloader);
    QFETCH(bool, diDoTab);
    QFETCH(QString, enterCaption);

    // Connected while the bootloader runs, then the status read again, as
    // after a flash.
    board.mode = 1;
    connectTo(board);
    QVERIFY(!tabEnabled("tabDiDo"));
    board.faults[0x64] << step;
    session()->readDeviceStatus();

    QCOMPARE(label("labelDeviceStatusValue"), status);
    QCOMPARE(label("labelBootloaderVersionValue"), bootloader);
    QCOMPARE(tabEnabled("tabDiDo"), diDoTab);
    QCOMPARE(child<QPushButton>("pushButtonEnterBootloader")->text(), enterCaption);
}

void TestDeviceReadout::unansweringBoardDropsTheLink_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Step>("fault");
    QTest::addColumn<bool>("dropped");

    // Which replies make a readout unusable is the session's; here the box and the bar.
    QTest::newRow("firmware silent") << 0x78 << ScriptedConnector::silence() << true;
    QTest::newRow("status refused") << 0x64 << ScriptedConnector::replyHex("c8 00 00") << true;
    // Any reply to the firmware version shows the board is there.
    QTest::newRow("firmware malformed") << 0x78 << ScriptedConnector::replyHex("c9") << false;
}

void TestDeviceReadout::unansweringBoardDropsTheLink()
{
    QFETCH(int, code);
    QFETCH(Step, fault);
    QFETCH(bool, dropped);

    board.faults[quint8(code)] << fault;
    ScriptedConnector* scripted = connectTo(board);
    auto* bar = window->findChild<Tessarin*>();

    QCOMPARE(session()->link().isNull(), dropped);
    const QList<int> codes = codesOf(*scripted);
    // Both identity reads are always made.
    QCOMPARE(codes.mid(0, 2), QList<int>({0x78, 0x64}));
    if (dropped) {
        QCOMPARE(codes.size(), 2);
        QCOMPARE(answerer->seen.size(), 1);
        QCOMPARE(answerer->seen.at(0).title, vantor);
        QCOMPARE(answerer->seen.at(0).text, notAnswered);
        QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
        QVERIFY(!bar->isConnected());
        // Nothing usable is left without a link.
        QVERIFY(!child<QPushButton>("pushButtonSendFirmware")->isEnabled());
        QVERIFY(!child<QPushButton>("pushButtonFlashFirmware")->isEnabled());
        QVERIFY(!child<QPushButton>("pushButtonEnterBootloader")->isEnabled());
        QVERIFY(!session()->calibrationAvailable());
    } else {
        QVERIFY(answerer->seen.isEmpty());
        QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("Ошибка"));
        QVERIFY(codes.contains(0x79));
    }
}

void TestDeviceReadout::incompleteReadoutKeepsTheLink_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QList<Step>>("faults");
    QTest::addColumn<QString>("unread");
    QTest::addColumn<QString>("errorLabel");
    QTest::addColumn<QString>("boardLabel");

    const Step silent = ScriptedConnector::silence();
    QTest::newRow("everything answered") << 0 << QList<Step>() << "" << "0" << "VRELL_A";
    QTest::newRow("error code silent") << 0x79 << QList<Step>({silent}) << "код ошибки (0x79)" << "Нет ответа"
                                       << "VRELL_A";
    QTest::newRow("error code malformed") << 0x79 << QList<Step>({ScriptedConnector::replyHex("c9 00")})
                                          << "код ошибки (0x79)" << "Ошибка" << "VRELL_A";
    QTest::newRow("board version silent") << 0x7D << QList<Step>({silent}) << "версия платы (0x7D)" << "0"
                                          << "Нет ответа";
    QTest::newRow("ports silent three times") << 0x71 << QList<Step>({silent, silent, silent})
                                              << "параметры RS-485 (0x71, 0x9D)" << "0" << "VRELL_A";
    // The port read is retried; a second attempt that answers completes it.
    QTest::newRow("ports answer on retry") << 0x71 << QList<Step>({silent}) << "" << "0" << "VRELL_A";
}

void TestDeviceReadout::incompleteReadoutKeepsTheLink()
{
    QFETCH(int, code);
    QFETCH(QList<Step>, faults);
    QFETCH(QString, unread);
    QFETCH(QString, errorLabel);
    QFETCH(QString, boardLabel);

    if (code)
        board.faults[quint8(code)] = faults;
    ScriptedConnector* scripted = connectTo(board);

    QVERIFY(!session()->link().isNull());
    QVERIFY(answerer->seen.isEmpty());
    // The link is held, so the bar shows it held; what failed is named in
    // the status bar instead.
    QVERIFY(window->findChild<Tessarin*>()->isConnected());
    QCOMPARE(window->statusBar()->currentMessage(),
             unread.isEmpty() ? QString() : QStringLiteral("Подключено, но не прочитано: ") + unread);
    QCOMPARE(label("labelErrorStatusValue"), errorLabel);
    QCOMPARE(label("labelBoardVersionValue"), boardLabel);
    // Error code and ports are read whatever came before.
    const QList<int> codes = codesOf(*scripted);
    QVERIFY(codes.contains(0x79));
    QVERIFY(codes.contains(0x71));
}

void TestDeviceReadout::boardTextIsNeverRichText()
{
    board.firmware = "<b>0.0.6</b>";
    board.bootloader = "<a href=\"x\">boot</a>";
    connectTo(board);

    QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("<b>0.0.6</b>"));
    QCOMPARE(label("labelBootloaderVersionValue"), QStringLiteral("<a href=\"x\">boot</a>"));
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"}) {
        QCOMPARE(child<QLabel>(name)->textFormat(), Qt::PlainText);
    }
    // Markup is no version: the version-gated features stay off.
    QVERIFY(!state().firmwareVersionNumber().has_value());
}

void TestDeviceReadout::disconnectForgetsTheBoard()
{
    ScriptedConnector* scripted = connectTo(board);
    QVERIFY(state().boardTypeKnown);
    QVERIFY(window->findChild<Tessarin*>()->isConnected());
    const int sent = scripted->writes.size();

    emit bar()->onDisconnected();

    QVERIFY(session()->link().isNull());
    QVERIFY(!state().modeKnown);
    QVERIFY(!state().firmwareVersionKnown);
    QVERIFY(!state().boardTypeKnown);
    QCOMPARE(int(state().boardType), 0);
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        QCOMPARE(label(name), QStringLiteral("-"));
    QVERIFY(!window->findChild<Tessarin*>()->isConnected());
    QCOMPARE(child<QPushButton>("pushButtonEnterBootloader")->text(), QStringLiteral("Enter Bootloader"));
    for (const char* name : {"pushButtonSendFirmware", "pushButtonFlashFirmware", "pushButtonEnterBootloader"})
        QVERIFY2(!child<QPushButton>(name)->isEnabled(), name);
    QVERIFY(!session()->calibrationAvailable());
    QCOMPARE(scripted->writes.size(), sent);
    QVERIFY(answerer->seen.isEmpty());
}

void TestDeviceReadout::forgottenLinkNoLongerFeedsTheDump_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("board silent") << "silent";
    QTest::newRow("reboot") << "reboot";
    QTest::newRow("mode switch") << "switch";
    QTest::newRow("disconnect") << "disconnect";
    QTest::newRow("replaced by a new link") << "replaced";
}

void TestDeviceReadout::forgottenLinkNoLongerFeedsTheDump()
{
    // Another holder (the connection bar) may keep the transport alive; it
    // must not keep calling into the window.
    QFETCH(QString, how);
    child<QAction>("action")->setChecked(true);
    QVERIFY(child<QPlainTextEdit>("plainTextEditDebugDump"));

    auto* dumping = new DumpingConnector;
    dumping->setResponder([this](const QByteArray& request) { return board.answer(request); });
    if (how == QLatin1String("silent"))
        board.faults[0x78] << ScriptedConnector::silence();
    if (how == QLatin1String("reboot"))
        board.faults[0x7C] << ScriptedConnector::replyHex("c9");
    if (how == QLatin1String("switch"))
        board.faults[0x7A] << ScriptedConnector::replyHex("c9");
    QSharedPointer<Connector> held(dumping);
    emit bar()->onConnected(held);

    if (how == QLatin1String("reboot"))
        emit bar()->onRebootRequested();
    else if (how == QLatin1String("switch"))
        partOf<FirmwarePanel>(*window)->switchMode();
    else if (how == QLatin1String("disconnect"))
        emit bar()->onDisconnected();
    else if (how == QLatin1String("replaced")) {
        QSharedPointer<Connector> next(new ScriptedConnector);
        emit bar()->onConnected(next);
    }
    QVERIFY(session()->link() != held);
    QCoreApplication::processEvents();
    const int before = child<QPlainTextEdit>("plainTextEditDebugDump")->toPlainText().count(QStringLiteral("TX "));
    QVERIFY(before >= 2); // the dump was on while the link was the window's

    dumping->write(bytes("78"));
    QCoreApplication::processEvents();
    QCOMPARE(child<QPlainTextEdit>("plainTextEditDebugDump")->toPlainText().count(QStringLiteral("TX ")), before);
}

// ---- Reboot and mode switch ----

void TestDeviceReadout::requestsThatEndTheLink_data()
{
    QTest::addColumn<int>("mode");    // the board's
    QTest::addColumn<int>("request"); // 0x7C from the bar, else the mode switch
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dropped");

    // The texts are the session's; here the box and what becomes of the link.
    QTest::newRow("reboot, silent") << 0 << 0x7C << ScriptedConnector::silence()
                                    << "Команда перезагрузки отправлена.\nПереподключитесь к прибору." << true;
    QTest::newRow("reboot, other reply") << 0 << 0x7C << ScriptedConnector::replyHex("c8 00 00 00 00")
                                         << "Устройство не подтвердило команду перезагрузки\n" << false;
    QTest::newRow("to the bootloader") << 0 << 0x7A << ScriptedConnector::replyHex("c9")
                                       << "Устройство переходит в режим загрузчика.\nПереподключитесь к прибору."
                                       << true;
    QTest::newRow("to the main firmware, not written") << 1 << 0x7B << ScriptedConnector::writeFailure()
                                                       << "Ошибка команды запуска основной прошивки\n" << false;
}

void TestDeviceReadout::requestsThatEndTheLink()
{
    QFETCH(int, mode);
    QFETCH(int, request);
    QFETCH(Step, step);
    QFETCH(QString, text);
    QFETCH(bool, dropped);

    board.mode = quint8(mode);
    ScriptedConnector* scripted = connectTo(board);
    const QString status = label("labelDeviceStatusValue");
    const int before = scripted->writes.size();
    board.faults[quint8(request)] << step;

    if (request == 0x7C)
        emit bar()->onRebootRequested();
    else
        child<QPushButton>("pushButtonEnterBootloader")->click();

    QCOMPARE(codesOf(*scripted).mid(before), QList<int>({ request }));
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, text);
    QCOMPARE(answerer->seen.at(0).icon, dropped ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(answerer->seen.at(0).offered, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(session()->link().isNull(), dropped);
    QCOMPARE(bar()->isConnected(), !dropped);
    QCOMPARE(label("labelDeviceStatusValue"), dropped ? QStringLiteral("-") : status);
    if (dropped) {
        QCOMPARE(child<QPushButton>("pushButtonEnterBootloader")->text(), QStringLiteral("Enter Bootloader"));
        QVERIFY(!child<QPushButton>("pushButtonEnterBootloader")->isEnabled());
    }
}

void TestDeviceReadout::requestsWithoutALinkDoNothing()
{
    emit bar()->onRebootRequested();
    partOf<FirmwarePanel>(*window)->switchMode();
    QVERIFY(answerer->seen.isEmpty());
}

void TestDeviceReadout::unwritableLogIsSaid()
{
    // A folder where the log should be: the reboot goes ahead, and the
    // status bar says why it is not in the log.
    QFile::remove(OperationsLog::defaultPath());
    QVERIFY(QDir().mkpath(OperationsLog::defaultPath()));
    connectTo(board);
    board.faults[0x7C] << ScriptedConnector::replyHex("7c");
    emit bar()->onRebootRequested();
    QVERIFY(QDir(OperationsLog::defaultPath()).removeRecursively());

    QCOMPARE(answerer->texts(), QStringList({ QStringLiteral("Устройство не подтвердило команду перезагрузки\n") }));
    QVERIFY2(window->statusBar()->currentMessage().startsWith(QStringLiteral("Журнал операций не записан: ")),
             qPrintable(window->statusBar()->currentMessage()));
}

// ---- DI calibration, on its panel ----

void TestDeviceReadout::calibrationSteps_data()
{
    QTest::addColumn<bool>("unlocked");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<int>("mode"); // -1: not read
    QTest::addColumn<int>("type"); // 0: not read
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<bool>("scale");
    QTest::addColumn<int>("answer"); // to the question
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("outcome"); // the last box; empty: none after the question
    QTest::addColumn<bool>("usable");     // the buttons enabled, the question asked

    const QString zeroUnavailable = QStringLiteral("Калибровка нуля DI доступна только в режиме основной прошивки "
                                                   "для DI-плат с версией прошивки 0.0.6 и выше.");
    const QString scaleUnavailable = QStringLiteral("Калибровка масштаба DI доступна только в режиме основной "
                                                    "прошивки для DI-плат с версией прошивки 0.0.6 и выше.");
    const QString scaleFailed = QStringLiteral("Ошибка калибровки масштаба DI\n");
    const int ok = QMessageBox::Ok;
    const Step ack = ScriptedConnector::replyHex("c9");
    const Step silent = ScriptedConnector::silence();
    const Step notWritten = ScriptedConnector::writeFailure();
    const QString v006 = QStringLiteral("0.0.6");

    QTest::newRow("zero, acknowledged") << true << true << 0 << 1 << v006 << false << ok << ack
                                        << "Калибровка нуля DI выполнена." << true;
    QTest::newRow("zero, not written") << true << true << 0 << 1 << v006 << false << ok << notWritten
                                       << "Ошибка команды калибровки DI\n" << true;
    QTest::newRow("scale, acknowledged") << true << true << 0 << 4 << "1.0.0" << true << ok << ack
                                         << "Калибровка масштаба DI 24 В выполнена." << true;
    QTest::newRow("scale, silent") << true << true << 0 << 1 << v006 << true << ok << silent << scaleFailed << true;
    // Cancel, or closing the box, sends nothing.
    QTest::newRow("zero, cancelled") << true << true << 0 << 9 << v006 << false << int(QMessageBox::Cancel) << ack
                                     << "" << true;
    QTest::newRow("scale, closed") << true << true << 0 << 1 << v006 << true << int(QMessageBox::Escape) << ack << ""
                                   << true;
    // Where the board takes no calibration, it is said and nothing is sent.
    QTest::newRow("firmware 0.0.5") << true << true << 0 << 1 << "0.0.5" << false << ok << ack << zeroUnavailable
                                    << false;
    QTest::newRow("board type 3") << true << true << 0 << 3 << v006 << true << ok << ack << scaleUnavailable << false;
    QTest::newRow("bootloader") << true << true << 1 << 1 << v006 << false << ok << ack << zeroUnavailable << false;
    QTest::newRow("no link") << true << false << 0 << 1 << v006 << false << ok << ack << zeroUnavailable << false;
    // Locked, nothing at all happens.
    QTest::newRow("zero, locked") << false << true << 0 << 1 << v006 << false << ok << ack << "" << false;
    QTest::newRow("scale, locked") << false << true << 0 << 1 << v006 << true << ok << ack << "" << false;
}

void TestDeviceReadout::calibrationSteps()
{
    QFETCH(bool, unlocked);
    QFETCH(bool, linked);
    QFETCH(int, mode);
    QFETCH(int, type);
    QFETCH(QString, firmware);
    QFETCH(bool, scale);
    QFETCH(int, answer);
    QFETCH(Step, step);
    QFETCH(QString, outcome);
    QFETCH(bool, usable);

    BoardSession session;
    session.setLogging(false);
    QWidget host;
    auto* zero = new QPushButton(&host);
    auto* scale24V = new QPushButton(&host);
    CalibrationPanel panel(zero, scale24V, &session);
    const auto link = QSharedPointer<ScriptedConnector>::create();
    QVERIFY(identify(session, link, mode, quint16(type), firmware));
    link->queue(step);
    if (!linked)
        session.release();
    panel.setUnlocked(unlocked);
    QCOMPARE(zero->isEnabled(), usable);
    QCOMPARE(scale24V->isEnabled(), usable);

    answerer->queueButton(QMessageBox::StandardButton(answer));
    panel.calibrate(scale);

    QStringList texts;
    if (usable) {
        // The board measures the moment the command arrives: the technician confirms first.
        const ModalAnswerer::Seen& asked = answerer->seen.value(0);
        QCOMPARE(asked.title, scale ? QStringLiteral("Калибровка масштаба DI 24 В") : QStringLiteral("Калибровка нуля DI"));
        QCOMPARE(asked.offered, QMessageBox::Ok | QMessageBox::Cancel);
        QCOMPARE(asked.defaultButton, QMessageBox::Cancel);
        texts << (scale ? QStringLiteral("Подайте 24 В на все DI входы и нажмите OK.\n"
                                         "Текущие значения ADC будут использованы для расчета масштаба режима 24 В.")
                        : QStringLiteral("Отключите напряжение со всех DI входов и нажмите OK.\n"
                                         "Текущие значения ADC будут сохранены как ноль для режима 24 В."));
    }
    if (!outcome.isEmpty())
        texts << outcome;
    QCOMPARE(answerer->texts(), texts);
    for (const ModalAnswerer::Seen& seen : answerer->seen.mid(usable ? 1 : 0)) {
        QCOMPARE(seen.title, vantor);
        QCOMPARE(seen.icon, outcome.contains(QStringLiteral("выполнена")) ? QMessageBox::Information
                                                                            : QMessageBox::Warning);
    }
    const bool sent = usable && answer == QMessageBox::Ok;
    QCOMPARE(link->writes, sent ? QList<QByteArray>({ bytes(scale ? "ac" : "ab") }) : QList<QByteArray>());
    QCOMPARE(link->readTimeouts, sent && step.kind != Step::WriteFailure ? QList<int>({ 3000 }) : QList<int>());
    QCOMPARE(link->getTimeout(), 3000);
}

QTEST_MAIN(TestDeviceReadout)
#include "tst_devicereadout.moc"
