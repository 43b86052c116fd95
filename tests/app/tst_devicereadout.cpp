// What the window reads from a board when a link is handed to it, exchange by
// exchange: requests, time-outs, labels, flags and the answer to the connection
// bar, against a scripted link whose every reply the test chooses. Reboot and
// mode switch are checked the same way, and the DI calibration on its panel.

#include "boardsetup.h"
#include "calibrationpanel.h"
#include "devicepanel.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "configblocks.h"
#include "modalanswerer.h"
#include "scriptedconnector.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QAction>
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

    void firmwareVersionReadout_data();
    void firmwareVersionReadout();
    void deviceStatusReadout_data();
    void deviceStatusReadout();
    void boardVersionReadout_data();
    void boardVersionReadout();
    void errorCodeReadout_data();
    void errorCodeReadout();
    void readoutsWithoutALinkShowDashes();

    void connectAsksInOrderWithEachTimeout();
    void boardVersionIsAskedOnlyWhereKnown_data();
    void boardVersionIsAskedOnlyWhereKnown();
    void unansweringBoardDropsTheLink_data();
    void unansweringBoardDropsTheLink();
    void incompleteReadoutKeepsTheLink_data();
    void incompleteReadoutKeepsTheLink();
    void boardTextIsNeverRichText();
    void disconnectForgetsTheBoard();
    void forgottenLinkNoLongerFeedsTheDump_data();
    void forgottenLinkNoLongerFeedsTheDump();

    void rebootOutcomes_data();
    void rebootOutcomes();
    void modeSwitchOutcomes_data();
    void modeSwitchOutcomes();
    void requestsWithoutALinkDoNothing();

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
    BoardContext* context() { return partOf<BoardContext>(*window); }
    const BoardState& state() { return context()->state(); }
    void changeState(const std::function<void(BoardState&)>& change)
    {
        BoardState board = state();
        change(board);
        context()->setState(board);
    }
    DevicePanel* device() { return partOf<DevicePanel>(*window); }
    CalibrationPanel* calibration() { return partOf<CalibrationPanel>(*window); }
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

// ---- The four readouts on their own ----

void TestDeviceReadout::firmwareVersionReadout_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("answered");

    QTest::newRow("version") << ScriptedConnector::replyHex("c9 05 302e302e36") << "0.0.6" << true << true;
    QTest::newRow("blanks trimmed") << ScriptedConnector::replyHex("c9 07 20302e302e3620") << "0.0.6" << true << true;
    QTest::newRow("length beyond the reply") << ScriptedConnector::replyHex("c9 c8 312e32") << "1.2" << true << true;
    QTest::newRow("only blanks") << ScriptedConnector::replyHex("c9 03 202020") << "Не определена" << false << true;
    QTest::newRow("empty text") << ScriptedConnector::replyHex("c9 00") << "Не определена" << false << true;
    QTest::newRow("too short") << ScriptedConnector::replyHex("c9") << "Ошибка" << false << true;
    QTest::newRow("not acknowledged") << ScriptedConnector::replyHex("c8 05 302e302e36") << "Ошибка" << false << true;
    QTest::newRow("silent") << ScriptedConnector::silence() << "Нет ответа" << false << false;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << "Ошибка" << false << false;
}

void TestDeviceReadout::firmwareVersionReadout()
{
    QFETCH(Step, step);
    QFETCH(QString, shown);
    QFETCH(bool, known);
    QFETCH(bool, answered);

    auto* scripted = new ScriptedConnector;
    scripted->queue(step);
    scripted->setTimeout(3210);
    context()->setLink(QSharedPointer<Connector>(scripted));

    QCOMPARE(device()->readFirmwareVersion(), answered);
    QCOMPARE(label("labelFirmwareVersionValue"), shown);
    QCOMPARE(state().firmwareVersionKnown, known);
    QCOMPARE(scripted->writes, QList<QByteArray>({bytes("78")}));
    QCOMPARE(scripted->readTimeouts, step.kind == Step::WriteFailure ? QList<int>() : QList<int>({1000}));
    QCOMPARE(scripted->getTimeout(), 3210);
}

void TestDeviceReadout::deviceStatusReadout_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("diDoTab");
    QTest::addColumn<QString>("enterCaption");

    const QString enterBoot = QStringLiteral("Enter Bootloader");
    QTest::newRow("main firmware") << ScriptedConnector::replyHex("c9 00 05 312e322e33") << "Основная прошивка"
                                   << "1.2.3" << true << 0 << true << enterBoot;
    QTest::newRow("bootloader") << ScriptedConnector::replyHex("c9 01 05 302e302e35") << "Загрузчик" << "0.0.5"
                                << true << 1 << false << "Enter Main Firmware";
    QTest::newRow("other mode") << ScriptedConnector::replyHex("c9 07 00") << "Неизвестно (7)" << "-" << true << 7
                                << false << enterBoot;
    QTest::newRow("length beyond the reply") << ScriptedConnector::replyHex("c9 00 c8 312e322e33") << "Основная прошивка"
                                             << "1.2.3" << true << 0 << true << enterBoot;
    QTest::newRow("too short") << ScriptedConnector::replyHex("c9 00") << "Ошибка" << "Ошибка" << false << 0 << false
                               << enterBoot;
    QTest::newRow("refusal lead") << ScriptedConnector::replyHex("c8 00 00") << "Ошибка" << "Ошибка" << false << 0
                                  << false << enterBoot;
    QTest::newRow("silent") << ScriptedConnector::silence() << "Нет ответа" << "Нет ответа" << false << 0 << false
                            << enterBoot;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << "Ошибка" << "Ошибка" << false << 0 << false
                                 << enterBoot;
}

void TestDeviceReadout::deviceStatusReadout()
{
    QFETCH(Step, step);
    QFETCH(QString, status);
    QFETCH(QString, bootloader);
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(bool, diDoTab);
    QFETCH(QString, enterCaption);

    auto* scripted = new ScriptedConnector;
    scripted->queue(step);
    scripted->setTimeout(3210);
    context()->setLink(QSharedPointer<Connector>(scripted));
    // A stale mode must not survive a failed read.
    changeState([](BoardState& b) {
        b.modeKnown = true;
        b.mode = 1;
    });

    QCOMPARE(device()->readDeviceStatus(), modeKnown);
    QCOMPARE(label("labelDeviceStatusValue"), status);
    QCOMPARE(label("labelBootloaderVersionValue"), bootloader);
    QCOMPARE(state().modeKnown, modeKnown);
    QCOMPARE(int(state().mode), mode);
    QCOMPARE(tabEnabled("tabDiDo"), diDoTab);
    QCOMPARE(child<QPushButton>("pushButtonEnterBootloader")->text(), enterCaption);
    QCOMPARE(scripted->writes, QList<QByteArray>({bytes("64")}));
    QCOMPARE(scripted->readTimeouts, step.kind == Step::WriteFailure ? QList<int>() : QList<int>({2000}));
    QCOMPARE(scripted->getTimeout(), 3210);
}

void TestDeviceReadout::boardVersionReadout_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("answered");

    QTest::newRow("type 1") << ScriptedConnector::replyHex("c9 01 00") << "VRELL_A" << true << 1 << true;
    QTest::newRow("type 2") << ScriptedConnector::replyHex("c9 02 00") << "VRELL_B" << true << 2 << true;
    QTest::newRow("type 3") << ScriptedConnector::replyHex("c9 03 00") << "VRELL_C" << true << 3 << true;
    QTest::newRow("type 4") << ScriptedConnector::replyHex("c9 04 00") << "VRELL_D" << true << 4 << true;
    QTest::newRow("type 9") << ScriptedConnector::replyHex("c9 09 00") << "UNKNOWN" << true << 9 << true;
    QTest::newRow("high byte counts") << ScriptedConnector::replyHex("c9 01 01") << "UNKNOWN" << true << 257 << true;
    QTest::newRow("two bytes") << ScriptedConnector::replyHex("c9 02") << "Ошибка" << false << 0 << true;
    QTest::newRow("refusal lead") << ScriptedConnector::replyHex("c8 02 00") << "Ошибка" << false << 0 << true;
    QTest::newRow("silent") << ScriptedConnector::silence() << "Нет ответа" << false << 0 << false;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << "Ошибка" << false << 0 << false;
}

void TestDeviceReadout::boardVersionReadout()
{
    QFETCH(Step, step);
    QFETCH(QString, shown);
    QFETCH(bool, known);
    QFETCH(int, type);
    QFETCH(bool, answered);

    auto* scripted = new ScriptedConnector;
    scripted->queue(step);
    scripted->setTimeout(3210);
    context()->setLink(QSharedPointer<Connector>(scripted));
    changeState([](BoardState& b) {
        b.boardTypeKnown = true;
        b.boardType = 4;
    });

    QCOMPARE(device()->readBoardVersion(), answered);
    QCOMPARE(label("labelBoardVersionValue"), shown);
    QCOMPARE(state().boardTypeKnown, known);
    QCOMPARE(int(state().boardType), type);
    QCOMPARE(scripted->writes, QList<QByteArray>({bytes("7d")}));
    QCOMPARE(scripted->readTimeouts, step.kind == Step::WriteFailure ? QList<int>() : QList<int>({1000}));
    QCOMPARE(scripted->getTimeout(), 3210);
}

void TestDeviceReadout::errorCodeReadout_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("parsed");

    QTest::newRow("acknowledged") << ScriptedConnector::replyHex("c9 2a 00 00 00") << "42" << true;
    QTest::newRow("status lead") << ScriptedConnector::replyHex("c8 2a 00 00 00") << "42" << true;
    QTest::newRow("all ones") << ScriptedConnector::replyHex("c9 ff ff ff ff") << "-1" << true;
    QTest::newRow("little-endian") << ScriptedConnector::replyHex("c9 01 02 00 00") << "513" << true;
    QTest::newRow("trailing bytes") << ScriptedConnector::replyHex("c9 05 00 00 00 99") << "5" << true;
    QTest::newRow("four bytes") << ScriptedConnector::replyHex("c9 2a 00 00") << "Ошибка" << false;
    QTest::newRow("other lead") << ScriptedConnector::replyHex("79 2a 00 00 00") << "Ошибка" << false;
    QTest::newRow("silent") << ScriptedConnector::silence() << "Нет ответа" << false;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << "Ошибка" << false;
}

void TestDeviceReadout::errorCodeReadout()
{
    QFETCH(Step, step);
    QFETCH(QString, shown);
    QFETCH(bool, parsed);

    auto* scripted = new ScriptedConnector;
    scripted->queue(step);
    scripted->setTimeout(3210);
    context()->setLink(QSharedPointer<Connector>(scripted));

    QCOMPARE(device()->readErrorCode(), parsed);
    QCOMPARE(label("labelErrorStatusValue"), shown);
    QCOMPARE(scripted->writes, QList<QByteArray>({bytes("79")}));
    QCOMPARE(scripted->readTimeouts, step.kind == Step::WriteFailure ? QList<int>() : QList<int>({2000}));
    QCOMPARE(scripted->getTimeout(), 3210);
}

void TestDeviceReadout::readoutsWithoutALinkShowDashes()
{
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        child<QLabel>(name)->setText(QStringLiteral("stale"));
    context()->setState(readBoard(0, 1, QStringLiteral("0.0.6")));

    QVERIFY(!device()->readFirmwareVersion());
    QVERIFY(!device()->readDeviceStatus());
    QVERIFY(!device()->readBoardVersion());
    QVERIFY(!device()->readErrorCode());
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        QCOMPARE(label(name), QStringLiteral("-"));
    QVERIFY(!state().modeKnown);
    QVERIFY(!state().firmwareVersionKnown);
    QVERIFY(!state().boardTypeKnown);
    QVERIFY(!child<QPushButton>("pushButtonEnterBootloader")->isEnabled());
}

// ---- The connect sequence ----

void TestDeviceReadout::connectAsksInOrderWithEachTimeout()
{
    ScriptedConnector* scripted = connectTo(board);
    const QList<int> codes = codesOf(*scripted);

    // Identity first, then the DI/DO configuration, then error code and ports.
    QVERIFY2(codes.size() >= 6, qPrintable(QString::number(codes.size())));
    QCOMPARE(codes.mid(0, 3), QList<int>({0x78, 0x64, 0x7D}));
    QCOMPARE(codes.mid(codes.size() - 3), QList<int>({0x79, 0x71, 0x9D}));
    QList<int> diDo = codes.mid(3, codes.size() - 6);
    std::sort(diDo.begin(), diDo.end());
    QCOMPARE(diDo, QList<int>({0xA0, 0xA4, 0xA7, 0xAA}));
    QCOMPARE(scripted->readTimeouts.mid(0, 3), QList<int>({1000, 2000, 1000}));
    QCOMPARE(scripted->readTimeouts.at(codes.size() - 3), 2000);
    QCOMPARE(scripted->getTimeout(), 3000);

    QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("0.0.6"));
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Основная прошивка"));
    QCOMPARE(label("labelBootloaderVersionValue"), QStringLiteral("0.0.5"));
    QCOMPARE(label("labelBoardVersionValue"), QStringLiteral("VRELL_A"));
    QCOMPARE(label("labelErrorStatusValue"), QStringLiteral("0"));
    QVERIFY(window->findChild<Tessarin*>()->isConnected());
    QVERIFY(answerer->seen.isEmpty());
}

void TestDeviceReadout::boardVersionIsAskedOnlyWhereKnown_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<bool>("asked");

    QTest::newRow("main 0.0.3") << 0 << "0.0.3" << "9.9.9" << false;
    QTest::newRow("main 0.0.4") << 0 << "0.0.4" << "0.0.1" << true;
    QTest::newRow("main 1.0.0") << 0 << "1.0.0" << "0.0.1" << true;
    QTest::newRow("main, two parts") << 0 << "1.0" << "9.9.9" << false;
    QTest::newRow("main, no number") << 0 << "v1.0.0" << "9.9.9" << false;
    QTest::newRow("boot 0.0.4") << 1 << "9.9.9" << "0.0.4" << false;
    QTest::newRow("boot 0.0.5") << 1 << "0.0.1" << "0.0.5" << true;
    QTest::newRow("boot, four parts") << 1 << "9.9.9" << "0.0.5.1" << false;
    QTest::newRow("other mode") << 7 << "9.9.9" << "9.9.9" << false;
}

void TestDeviceReadout::boardVersionIsAskedOnlyWhereKnown()
{
    QFETCH(int, mode);
    QFETCH(QString, firmware);
    QFETCH(QString, bootloader);
    QFETCH(bool, asked);

    board.mode = quint8(mode);
    board.firmware = firmware.toLatin1();
    board.bootloader = bootloader.toLatin1();
    board.type = 2;
    ScriptedConnector* scripted = connectTo(board);

    const QList<int> codes = codesOf(*scripted);
    QCOMPARE(codes.contains(0x7D), asked);
    QCOMPARE(state().boardTypeKnown, asked);
    QCOMPARE(label("labelBoardVersionValue"), asked ? QStringLiteral("VRELL_B") : QStringLiteral("-"));
    // The DI/DO configuration is read only from a main firmware of known type.
    QCOMPARE(codes.contains(0xA0), asked && mode == 0);
    QVERIFY(codes.contains(0x79));
    QVERIFY(answerer->seen.isEmpty());
    QVERIFY(!context()->link().isNull());
}

void TestDeviceReadout::unansweringBoardDropsTheLink_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<Step>("fault");
    QTest::addColumn<bool>("dropped");

    QTest::newRow("firmware silent") << 0x78 << ScriptedConnector::silence() << true;
    QTest::newRow("firmware not written") << 0x78 << ScriptedConnector::writeFailure() << true;
    QTest::newRow("status silent") << 0x64 << ScriptedConnector::silence() << true;
    QTest::newRow("status too short") << 0x64 << ScriptedConnector::replyHex("c9 00") << true;
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

    QCOMPARE(context()->link().isNull(), dropped);
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
        QVERIFY(!calibration()->available());
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

    QVERIFY(!context()->link().isNull());
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

    QVERIFY(context()->link().isNull());
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
    QVERIFY(!calibration()->available());
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
    QVERIFY(context()->link() != held);
    QCoreApplication::processEvents();
    const int before = child<QPlainTextEdit>("plainTextEditDebugDump")->toPlainText().count(QStringLiteral("TX "));
    QVERIFY(before >= 2); // the dump was on while the link was the window's

    dumping->write(bytes("78"));
    QCoreApplication::processEvents();
    QCOMPARE(child<QPlainTextEdit>("plainTextEditDebugDump")->toPlainText().count(QStringLiteral("TX ")), before);
}

// ---- Reboot and mode switch ----

void TestDeviceReadout::rebootOutcomes_data()
{
    QTest::addColumn<Step>("step");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dropped");

    const QString sent = QStringLiteral("Команда перезагрузки отправлена.\nПереподключитесь к прибору.");
    QTest::newRow("acknowledged") << ScriptedConnector::replyHex("c9") << sent << true;
    QTest::newRow("silent") << ScriptedConnector::silence() << sent << true;
    QTest::newRow("other reply") << ScriptedConnector::replyHex("c8 00 00 00 00")
                                 << "Устройство не подтвердило команду перезагрузки\n" << false;
    QTest::newRow("not written") << ScriptedConnector::writeFailure() << "Ошибка отправки команды перезагрузки\n"
                                 << false;
}

void TestDeviceReadout::rebootOutcomes()
{
    QFETCH(Step, step);
    QFETCH(QString, text);
    QFETCH(bool, dropped);

    ScriptedConnector* scripted = connectTo(board);
    const int before = scripted->writes.size();
    const int readsBefore = scripted->readTimeouts.size();
    board.faults[0x7C] << step;

    emit bar()->onRebootRequested();

    QCOMPARE(scripted->writes.mid(before), QList<QByteArray>({bytes("7c")}));
    QCOMPARE(scripted->readTimeouts.mid(readsBefore),
             step.kind == Step::WriteFailure ? QList<int>() : QList<int>({1000}));
    QCOMPARE(scripted->getTimeout(), 3000);
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, text);
    QCOMPARE(answerer->seen.at(0).icon, dropped ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(answerer->seen.at(0).offered, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(context()->link().isNull(), dropped);
    QCOMPARE(window->findChild<Tessarin*>()->isConnected(), !dropped);
    QCOMPARE(label("labelDeviceStatusValue"), dropped ? QStringLiteral("-") : QStringLiteral("Основная прошивка"));
}

void TestDeviceReadout::modeSwitchOutcomes_data()
{
    QTest::addColumn<QString>("state"); // "main", "boot", "other", "unknown"
    QTest::addColumn<Step>("step");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("dropped");

    const QByteArray toBoot = bytes("7a");
    const QByteArray toMain = bytes("7b");
    const QString bootAck = QStringLiteral("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору.");
    const QString mainAck = QStringLiteral("Устройство запускает основную прошивку.\nПереподключитесь к прибору.");
    const QString bootNack = QStringLiteral("Прибор не подтвердил переход в загрузчик\n");
    const QString mainNack = QStringLiteral("Прибор не подтвердил запуск основной прошивки\n");
    const Step ack = ScriptedConnector::replyHex("c9");

    QTest::newRow("main, acknowledged") << "main" << ack << toBoot << bootAck << true;
    QTest::newRow("main, silent") << "main" << ScriptedConnector::silence() << toBoot << bootNack << false;
    QTest::newRow("main, other reply") << "main" << ScriptedConnector::replyHex("7a") << toBoot << bootNack << false;
    QTest::newRow("main, not written") << "main" << ScriptedConnector::writeFailure() << toBoot
                                       << "Ошибка команды перехода в загрузчик\n" << false;
    QTest::newRow("boot, acknowledged") << "boot" << ack << toMain << mainAck << true;
    QTest::newRow("boot, silent") << "boot" << ScriptedConnector::silence() << toMain << mainNack << false;
    QTest::newRow("boot, other reply") << "boot" << ScriptedConnector::replyHex("c8 01 00 00 00") << toMain << mainNack
                                       << false;
    QTest::newRow("boot, not written") << "boot" << ScriptedConnector::writeFailure() << toMain
                                       << "Ошибка команды запуска основной прошивки\n" << false;
    QTest::newRow("other mode") << "other" << ack << toBoot << bootAck << true;
    QTest::newRow("mode unknown") << "unknown" << ack << toBoot << bootAck << true;
}

void TestDeviceReadout::modeSwitchOutcomes()
{
    QFETCH(QString, state);
    QFETCH(Step, step);
    QFETCH(QByteArray, request);
    QFETCH(QString, text);
    QFETCH(bool, dropped);

    board.mode = state == QLatin1String("boot") ? 1 : (state == QLatin1String("other") ? 5 : 0);
    ScriptedConnector* scripted = connectTo(board);
    if (state == QLatin1String("unknown")) {
        changeState([](BoardState& b) {
            b.modeKnown = false;
            b.mode = 1;
        });
    }
    const int before = scripted->writes.size();
    const int readsBefore = scripted->readTimeouts.size();
    board.faults[quint8(request.at(0))] << step;

    partOf<FirmwarePanel>(*window)->switchMode();

    QCOMPARE(scripted->writes.mid(before), QList<QByteArray>({request}));
    QCOMPARE(scripted->readTimeouts.mid(readsBefore),
             step.kind == Step::WriteFailure ? QList<int>() : QList<int>({2000}));
    QCOMPARE(scripted->getTimeout(), 3000);
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, text);
    QCOMPARE(answerer->seen.at(0).icon, dropped ? QMessageBox::Information : QMessageBox::Warning);
    QCOMPARE(context()->link().isNull(), dropped);
    if (dropped) {
        QVERIFY(!window->findChild<Tessarin*>()->isConnected());
        QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("-"));
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
    const QString zeroFailed = QStringLiteral("Ошибка калибровки нуля DI\n");
    const QString scaleFailed = QStringLiteral("Ошибка калибровки масштаба DI\n");
    const int ok = QMessageBox::Ok;
    const Step ack = ScriptedConnector::replyHex("c9");
    const Step silent = ScriptedConnector::silence();
    const Step notWritten = ScriptedConnector::writeFailure();
    const QString v006 = QStringLiteral("0.0.6");

    QTest::newRow("zero, acknowledged") << true << true << 0 << 1 << v006 << false << ok << ack
                                        << "Калибровка нуля DI выполнена." << true;
    QTest::newRow("zero, refused") << true << true << 0 << 1 << v006 << false << ok
                                   << ScriptedConnector::replyHex("c8 01 00 00 00") << zeroFailed << true;
    QTest::newRow("zero, echoed") << true << true << 0 << 1 << v006 << false << ok << ScriptedConnector::replyHex("ab")
                                  << zeroFailed << true;
    QTest::newRow("zero, silent") << true << true << 0 << 1 << v006 << false << ok << silent << zeroFailed << true;
    QTest::newRow("zero, not written") << true << true << 0 << 1 << v006 << false << ok << notWritten
                                       << "Ошибка команды калибровки DI\n" << true;
    QTest::newRow("scale, acknowledged") << true << true << 0 << 4 << "1.0.0" << true << ok << ack
                                         << "Калибровка масштаба DI 24 В выполнена." << true;
    QTest::newRow("scale, refused") << true << true << 0 << 1 << v006 << true << ok << ScriptedConnector::replyHex("00")
                                    << scaleFailed << true;
    QTest::newRow("scale, silent") << true << true << 0 << 1 << v006 << true << ok << silent << scaleFailed << true;
    QTest::newRow("scale, not written") << true << true << 0 << 1 << v006 << true << ok << notWritten
                                        << "Ошибка команды калибровки масштаба DI\n" << true;
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
    QTest::newRow("mode not read") << true << true << -1 << 1 << v006 << false << ok << ack << zeroUnavailable << false;
    QTest::newRow("type not read") << true << true << 0 << 0 << v006 << false << ok << ack << zeroUnavailable << false;
    QTest::newRow("version not read") << true << true << 0 << 1 << "" << false << ok << ack << zeroUnavailable
                                      << false;
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

    BoardContext context;
    QWidget host;
    auto* zero = new QPushButton(&host);
    auto* scale24V = new QPushButton(&host);
    CalibrationPanel panel(zero, scale24V, &context);
    auto* link = new ScriptedConnector;
    link->queue(step);
    if (linked)
        context.setLink(QSharedPointer<Connector>(link));
    context.setState(readBoard(mode, quint16(type), firmware));
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
    if (!linked)
        delete link;
}

QTEST_MAIN(TestDeviceReadout)
#include "tst_devicereadout.moc"
