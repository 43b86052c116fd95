// The window against the virtual board over TCP, connected the way a
// technician connects: "RS485 TCP" in the connection bar, then Connect. What
// the window shows for each kind of board, and what reboot, mode switch,
// calibration and the settings reset do to the board and to the link.

#include "boardsetup.h"
#include "calibrationpanel.h"
#include "devicepanel.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "connectionbar.h"
#include "modalanswerer.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QAction>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace {

const QString vantor = QStringLiteral("Vantor");

QStringList boardArgs(int type, const char* mode, const char* firmware, const char* bootloader)
{
    return {QStringLiteral("--board-type"), QString::number(type), QStringLiteral("--mode"), QLatin1String(mode),
            QStringLiteral("--firmware"), QLatin1String(firmware), QStringLiteral("--bootloader"),
            QLatin1String(bootloader)};
}

int visibleRows(QTableWidget* table)
{
    int rows = 0;
    for (int r = 0; r < table->rowCount(); ++r)
        rows += table->isRowHidden(r) ? 0 : 1;
    return rows;
}

} // namespace

class TestDeviceBoard : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void connectShowsTheBoard_data();
    void connectShowsTheBoard();
    void silentBoardLeavesTheBarIdle();

    void modeSwitchRoundTrip();
    void unansweredModeSwitchKeepsTheLink();
    void rebootFromTheBar_data();
    void rebootFromTheBar();

    void calibrationOnTheBoard_data();
    void calibrationOnTheBoard();
    void settingsResetKeepsTheLink();

    void scanListsTheLineAndConnectsTheChosenBoard();

private:
    bool startBoard(const QStringList& args);
    // Fills "RS485 TCP" with the board's address and presses Connect.
    void connectThroughBar();
    template <typename T>
    T* child(const char* name) { return window->findChild<T*>(QString::fromLatin1(name)); }
    QString label(const char* name) { return child<QLabel>(name)->text(); }
    bool tabEnabled(const char* name)
    {
        auto* tabs = child<QTabWidget>("tabWidget");
        return tabs->isTabEnabled(tabs->indexOf(child<QWidget>(name)));
    }
    int counter(const char* name) { return board.state().value(QStringLiteral("counters")).toObject().value(QLatin1String(name)).toInt(-1); }
    int boardMode() { return board.state().value(QStringLiteral("mode")).toInt(-1); }
    void verifyDisconnectedState();
    // Through the menu, as the technician unlocks the additional tab.
    void unlock()
    {
        answerer->queueInput(QStringLiteral("marzipo"));
        window->findChild<QAction*>(QStringLiteral("actionUnlockAdditional"))->trigger();
        answerer->reset();
    }

    VirtualBoardProcess board;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<ModalAnswerer> answerer;
    Tessarin* bar = nullptr;
};

void TestDeviceBoard::initTestCase()
{
    TestSettings::isolate();
    if (VirtualBoardProcess::programPath().isEmpty())
        QSKIP("this build has no virtual board");
}

void TestDeviceBoard::init()
{
    TestSettings::clear();
    window.reset(new MainWindow);
    answerer.reset(new ModalAnswerer);
    bar = window->findChild<Tessarin*>();
}

void TestDeviceBoard::cleanup()
{
    answerer.reset();
    window.reset();
    board.stop();
}

bool TestDeviceBoard::startBoard(const QStringList& args)
{
    const bool started = board.start(args);
    if (!started)
        qWarning("%s", qPrintable(board.errorString()));
    return started;
}

void TestDeviceBoard::connectThroughBar()
{
    const QString missing =
        ConnectionBar::connectOverTcp(bar, QStringLiteral("KELDORA_NODE"), board.host(), int(board.port()));
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

void TestDeviceBoard::verifyDisconnectedState()
{
    QVERIFY(partOf<BoardSession>(*window)->link().isNull());
    QVERIFY(!bar->isConnected());
    QVERIFY(ConnectionBar::button(bar, QStringLiteral("Connect")));
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        QCOMPARE(label(name), QStringLiteral("-"));
    for (const char* name : {"pushButtonSendFirmware", "pushButtonFlashFirmware", "pushButtonEnterBootloader"})
        QVERIFY2(!child<QPushButton>(name)->isEnabled(), name);
    QVERIFY(!child<QAction>("actionSaveConfiguration")->isEnabled());
}

// ---- What a connect shows ----

void TestDeviceBoard::connectShowsTheBoard_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("boardName");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<bool>("diDoTab");
    QTest::addColumn<bool>("diEnabled");
    QTest::addColumn<int>("diRows");
    QTest::addColumn<bool>("doShown");
    QTest::addColumn<bool>("ninthDo");
    QTest::addColumn<bool>("diModeColumns");
    QTest::addColumn<bool>("debounceColumn");
    QTest::addColumn<bool>("doDpColumn");
    QTest::addColumn<bool>("bootloaderRuns");
    QTest::addColumn<bool>("enterEnabled");
    QTest::addColumn<bool>("calibration");
    QTest::addColumn<bool>("boardAsked");
    QTest::addColumn<bool>("diDoRead");

    const QString main = QStringLiteral("Основная прошивка");
    const QString boot = QStringLiteral("Загрузчик");

    // name                      args                                  board      fw       status boot     tab   DIen  rows DO    DO9   modes deb   dp    boot  enter calib asked read
    QTest::newRow("type 1, 0.0.6") << boardArgs(1, "main", "0.0.6", "0.0.5") << "VRELL_A" << "0.0.6" << main << "0.0.5"
        << true << true << 16 << true << true << true << true << true << false << true << true << true << true;
    QTest::newRow("type 2, 0.0.6") << boardArgs(2, "main", "0.0.6", "0.0.5") << "VRELL_B" << "0.0.6" << main << "0.0.5"
        << true << true << 16 << true << false << true << true << true << false << true << true << true << true;
    QTest::newRow("type 3, 0.0.6") << boardArgs(3, "main", "0.0.6", "0.0.5") << "VRELL_C" << "0.0.6" << main << "0.0.5"
        << true << false << 0 << true << false << false << false << true << false << true << false << true << true;
    QTest::newRow("type 4, 0.0.6") << boardArgs(4, "main", "0.0.6", "0.0.5") << "VRELL_D" << "0.0.6" << main << "0.0.5"
        << true << true << 32 << false << true << true << true << true << false << true << true << true << true;
    QTest::newRow("type 9, 0.0.6") << boardArgs(9, "main", "0.0.6", "0.0.5") << "UNKNOWN" << "0.0.6" << main << "0.0.5"
        << true << true << 16 << true << true << true << true << true << false << true << true << true << true;
    QTest::newRow("type 1, 0.0.5") << boardArgs(1, "main", "0.0.5", "0.0.5") << "VRELL_A" << "0.0.5" << main << "0.0.5"
        << true << true << 16 << true << true << false << true << true << false << true << false << true << true;
    QTest::newRow("type 1, 0.0.4") << boardArgs(1, "main", "0.0.4", "0.0.5") << "VRELL_A" << "0.0.4" << main << "0.0.5"
        << true << true << 16 << true << true << false << false << false << false << true << false << true << true;
    QTest::newRow("type 2, 0.0.4") << boardArgs(2, "main", "0.0.4", "0.0.5") << "VRELL_B" << "0.0.4" << main << "0.0.5"
        << true << true << 16 << true << false << false << true << false << false << true << false << true << true;
    // Too old to be asked its type: the editor assumes 16 DI and 9 DO.
    QTest::newRow("type 4, 0.0.3") << boardArgs(4, "main", "0.0.3", "0.0.5") << "-" << "0.0.3" << main << "0.0.5"
        << true << true << 16 << true << true << false << false << false << false << true << false << false << false;
    QTest::newRow("bootloader 0.0.5") << boardArgs(1, "boot", "0.0.6", "0.0.5") << "VRELL_A" << "0.0.6" << boot << "0.0.5"
        << false << true << 16 << true << true << true << true << true << true << true << false << true << false;
    QTest::newRow("bootloader 0.0.4") << boardArgs(3, "boot", "0.0.6", "0.0.4") << "-" << "0.0.6" << boot << "0.0.4"
        << false << true << 16 << true << true << false << false << true << true << true << false << false << false;
    // Without a readable main firmware there is nothing to start.
    QTest::newRow("bootloader, no firmware") << boardArgs(2, "boot", "", "0.0.5") << "VRELL_B" << "Не определена" << boot
        << "0.0.5" << false << true << 16 << true << false << false << true << false << true << false << false << true
        << false;
}

void TestDeviceBoard::connectShowsTheBoard()
{
    QFETCH(QStringList, args);
    QFETCH(QString, boardName);
    QFETCH(QString, firmware);
    QFETCH(QString, status);
    QFETCH(QString, bootloader);
    QFETCH(bool, diDoTab);
    QFETCH(bool, diEnabled);
    QFETCH(int, diRows);
    QFETCH(bool, doShown);
    QFETCH(bool, ninthDo);
    QFETCH(bool, diModeColumns);
    QFETCH(bool, debounceColumn);
    QFETCH(bool, doDpColumn);
    QFETCH(bool, bootloaderRuns);
    QFETCH(bool, enterEnabled);
    QFETCH(bool, calibration);
    QFETCH(bool, boardAsked);
    QFETCH(bool, diDoRead);

    QVERIFY(startBoard(args));
    connectThroughBar();

    QVERIFY2(answerer->seen.isEmpty(), qPrintable(answerer->texts().join(QLatin1Char('|'))));
    QVERIFY(!partOf<BoardSession>(*window)->link().isNull());
    QVERIFY(bar->isConnected());
    QVERIFY(ConnectionBar::button(bar, QStringLiteral("Disconnect")));

    QCOMPARE(label("labelBoardVersionValue"), boardName);
    QCOMPARE(label("labelFirmwareVersionValue"), firmware);
    QCOMPARE(label("labelDeviceStatusValue"), status);
    QCOMPARE(label("labelBootloaderVersionValue"), bootloader);
    QCOMPARE(label("labelErrorStatusValue"), QStringLiteral("0"));
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        QCOMPARE(child<QLabel>(name)->textFormat(), Qt::PlainText);

    QCOMPARE(tabEnabled("tabDiDo"), diDoTab);
    // Configuration files go with the DI/DO tab: main firmware only.
    for (const char* name : {"actionSaveConfiguration", "actionOpenConfiguration", "actionCompareConfiguration"})
        QCOMPARE(child<QAction>(name)->isEnabled(), diDoTab);
    auto* di = child<QTableWidget>("tableWidgetDIConfig");
    auto* dout = child<QTableWidget>("tableWidgetDOConfig");
    QCOMPARE(di->rowCount(), 32);
    QVERIFY(di->columnCount() >= 8);
    QVERIFY(dout->rowCount() >= 9);
    QVERIFY(dout->columnCount() >= 5);
    QCOMPARE(di->isEnabledTo(child<QWidget>("tabDiDo")), diEnabled);
    QCOMPARE(visibleRows(di), diRows);
    QCOMPARE(!dout->isHidden(), doShown);
    QCOMPARE(!dout->isRowHidden(8), ninthDo);
    for (int column = 3; column <= 6; ++column)
        QCOMPARE(!di->isColumnHidden(column), diModeColumns);
    QCOMPARE(!di->isColumnHidden(7), debounceColumn);
    QCOMPARE(!dout->isColumnHidden(4), doDpColumn);

    auto* send = child<QPushButton>("pushButtonSendFirmware");
    auto* flash = child<QPushButton>("pushButtonFlashFirmware");
    auto* enter = child<QPushButton>("pushButtonEnterBootloader");
    QCOMPARE(send->text(), bootloaderRuns ? QStringLiteral("Send Firmware") : QStringLiteral("Send Bootloader"));
    QCOMPARE(flash->text(), bootloaderRuns ? QStringLiteral("Flash Firmware") : QStringLiteral("Flash Bootloader"));
    QCOMPARE(enter->text(), bootloaderRuns ? QStringLiteral("Enter Main Firmware") : QStringLiteral("Enter Bootloader"));
    QVERIFY(send->isEnabled());
    QVERIFY(!flash->isEnabled()); // only a finished transfer enables it
    QCOMPARE(enter->isEnabled(), enterEnabled);

    // The calibration gate shows once the additional settings are unlocked.
    QVERIFY(!child<QPushButton>("pushButtonCalibrateDiZero")->isEnabled());
    unlock();
    QCOMPARE(child<QPushButton>("pushButtonCalibrateDiZero")->isEnabled(), calibration);
    QCOMPARE(child<QPushButton>("pushButtonCalibrateDiScale24V")->isEnabled(), calibration);

    // What the board was asked.
    const QByteArray log = board.log();
    QCOMPARE(log.contains("(read board version)"), boardAsked);
    QCOMPARE(log.contains("(read DI table)") || log.contains("(read DO table)"), diDoRead);
    QVERIFY(log.contains("(read error code)"));
    QVERIFY(log.contains("(read RS-485 ports)"));
}

void TestDeviceBoard::silentBoardLeavesTheBarIdle()
{
    QVERIFY(startBoard(boardArgs(1, "main", "0.0.6", "0.0.5") << QStringLiteral("--silent") << QStringLiteral("1000")));
    connectThroughBar();

    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, QStringLiteral("Устройство не ответило\n"));
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
    QVERIFY(partOf<BoardSession>(*window)->link().isNull());
    QVERIFY(!bar->isConnected());
    QVERIFY(ConnectionBar::button(bar, QStringLiteral("Connect")));
    QCOMPARE(label("labelFirmwareVersionValue"), QStringLiteral("Нет ответа"));
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Нет ответа"));
    for (const char* name : {"pushButtonSendFirmware", "pushButtonFlashFirmware", "pushButtonEnterBootloader"})
        QVERIFY2(!child<QPushButton>(name)->isEnabled(), name);
    // Neither the bar nor the window holds the transport any more: it closed.
    QTRY_VERIFY_WITH_TIMEOUT(board.log().contains("client gone"), 5000);
    // Only the two identity requests went out.
    QVERIFY(board.log().contains("(read firmware version)"));
    QVERIFY(board.log().contains("(read status)"));
    QVERIFY(!board.log().contains("(read error code)"));
}

// ---- Mode switch and reboot ----

void TestDeviceBoard::modeSwitchRoundTrip()
{
    QVERIFY(startBoard(boardArgs(1, "main", "0.0.6", "0.0.5")));
    connectThroughBar();
    QVERIFY(bar->isConnected());
    auto* enter = child<QPushButton>("pushButtonEnterBootloader");
    QCOMPARE(enter->text(), QStringLiteral("Enter Bootloader"));

    enter->click();
    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text,
             QStringLiteral("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору."));
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Information);
    verifyDisconnectedState();
    QCOMPARE(boardMode(), 1);

    answerer->reset();
    connectThroughBar();
    QVERIFY(answerer->seen.isEmpty());
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Загрузчик"));
    QCOMPARE(child<QPushButton>("pushButtonSendFirmware")->text(), QStringLiteral("Send Firmware"));
    QCOMPARE(child<QPushButton>("pushButtonFlashFirmware")->text(), QStringLiteral("Flash Firmware"));
    QCOMPARE(enter->text(), QStringLiteral("Enter Main Firmware"));
    QVERIFY(enter->isEnabled());
    QVERIFY(!tabEnabled("tabDiDo"));

    enter->click();
    QCOMPARE(answerer->texts(),
             QStringList({QStringLiteral("Устройство запускает основную прошивку.\nПереподключитесь к прибору.")}));
    verifyDisconnectedState();
    QCOMPARE(boardMode(), 0);

    answerer->reset();
    connectThroughBar();
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Основная прошивка"));
    QCOMPARE(child<QPushButton>("pushButtonSendFirmware")->text(), QStringLiteral("Send Bootloader"));
    QCOMPARE(child<QPushButton>("pushButtonFlashFirmware")->text(), QStringLiteral("Flash Bootloader"));
    QCOMPARE(enter->text(), QStringLiteral("Enter Bootloader"));
    QVERIFY(tabEnabled("tabDiDo"));
    QCOMPARE(counter("modeSwitches"), 2);
}

void TestDeviceBoard::unansweredModeSwitchKeepsTheLink()
{
    QVERIFY(startBoard(boardArgs(1, "main", "0.0.6", "0.0.5")));
    connectThroughBar();
    QVERIFY(bar->isConnected());
    const QSharedPointer<Connector> link = partOf<BoardSession>(*window)->link();
    QVERIFY(board.command(QStringLiteral("silent 1")).startsWith(QLatin1String("OK")));

    child<QPushButton>("pushButtonEnterBootloader")->click();

    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, QStringLiteral("Прибор не подтвердил переход в загрузчик\n"));
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Warning);
    QCOMPARE(partOf<BoardSession>(*window)->link(), link);
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Основная прошивка"));
    QCOMPARE(boardMode(), 0);
    // The link still carries requests.
    QVERIFY(partOf<BoardSession>(*window)->readErrorCode());
}

void TestDeviceBoard::rebootFromTheBar_data()
{
    QTest::addColumn<QString>("knob");
    QTest::addColumn<int>("reboots");

    QTest::newRow("acknowledged") << QString() << 1;
    QTest::newRow("rebooted without a word") << QStringLiteral("reboot-silent 1") << 1;
    // Silence counts as sent, even when the board never saw the request.
    QTest::newRow("request lost") << QStringLiteral("silent 1") << 0;
}

void TestDeviceBoard::rebootFromTheBar()
{
    QFETCH(QString, knob);
    QFETCH(int, reboots);

    QVERIFY(startBoard(boardArgs(4, "main", "0.0.6", "0.0.5")));
    connectThroughBar();
    QVERIFY(bar->isConnected());
    if (!knob.isEmpty())
        QVERIFY(board.command(knob).startsWith(QLatin1String("OK")));

    QPushButton* reboot = ConnectionBar::button(bar, QStringLiteral("Reboot"));
    QVERIFY(reboot);
    reboot->click();

    QCOMPARE(answerer->seen.size(), 1);
    QCOMPARE(answerer->seen.at(0).title, vantor);
    QCOMPARE(answerer->seen.at(0).text, QStringLiteral("Команда перезагрузки отправлена.\nПереподключитесь к прибору."));
    QCOMPARE(answerer->seen.at(0).icon, QMessageBox::Information);
    verifyDisconnectedState();
    QCOMPARE(counter("reboots"), reboots);

    answerer->reset();
    board.command(QStringLiteral("faults off"));
    connectThroughBar();
    QVERIFY(answerer->seen.isEmpty());
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Основная прошивка"));
    QCOMPARE(label("labelBoardVersionValue"), QStringLiteral("VRELL_D"));
}

// ---- Calibration ----

void TestDeviceBoard::calibrationOnTheBoard_data()
{
    QTest::addColumn<bool>("unlock");
    QTest::addColumn<bool>("scale");
    QTest::addColumn<QString>("done"); // empty: nothing happens
    QTest::addColumn<int>("zeroCalibrations");
    QTest::addColumn<int>("scaleCalibrations");

    // The questions, refusals and failures are the panel's tests; here the board takes it.
    QTest::newRow("zero") << true << false << "Калибровка нуля DI выполнена." << 1 << 0;
    QTest::newRow("scale") << true << true << "Калибровка масштаба DI 24 В выполнена." << 0 << 1;
    QTest::newRow("zero, locked") << false << false << "" << 0 << 0;
}

void TestDeviceBoard::calibrationOnTheBoard()
{
    QFETCH(bool, unlock);
    QFETCH(bool, scale);
    QFETCH(QString, done);
    QFETCH(int, zeroCalibrations);
    QFETCH(int, scaleCalibrations);

    QVERIFY(startBoard(boardArgs(1, "main", "0.0.6", "0.0.5")));
    connectThroughBar();
    QVERIFY(bar->isConnected());
    if (unlock)
        this->unlock();
    answerer->queueButton(QMessageBox::Ok);

    auto* button = child<QPushButton>(scale ? "pushButtonCalibrateDiScale24V" : "pushButtonCalibrateDiZero");
    // A disabled button cannot be pressed; its slot is still called to prove
    // that it checks for itself.
    if (button->isEnabled())
        button->click();
    else
        partOf<CalibrationPanel>(*window)->calibrate(scale);

    QCOMPARE(answerer->texts().mid(1), done.isEmpty() ? QStringList() : QStringList({ done }));
    QCOMPARE(answerer->seen.size(), done.isEmpty() ? 0 : 2);
    QCOMPARE(counter("zeroCalibrations"), zeroCalibrations);
    QCOMPARE(counter("scaleCalibrations"), scaleCalibrations);
    QVERIFY(bar->isConnected());
}

// ---- Settings reset ----

void TestDeviceBoard::settingsResetKeepsTheLink()
{
    QVERIFY(startBoard(boardArgs(2, "main", "0.0.6", "0.0.5")));
    connectThroughBar();
    QVERIFY(bar->isConnected());
    const QSharedPointer<Connector> link = partOf<BoardSession>(*window)->link();
    QStringList before;
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        before << label(name);
    const int requests = counter("requests");

    QPushButton* reset = ConnectionBar::button(bar, QStringLiteral("Сброс настроек"));
    QVERIFY(reset);
    reset->click();
    QCoreApplication::processEvents();

    QVERIFY(answerer->seen.isEmpty());
    QCOMPARE(partOf<BoardSession>(*window)->link(), link);
    QStringList after;
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"})
        after << label(name);
    QCOMPARE(after, before);
    QCOMPARE(counter("requests"), requests);
    QVERIFY(!board.log().contains("client gone"));
    // The open link still carries requests.
    QVERIFY(partOf<BoardSession>(*window)->readErrorCode());
    QCOMPARE(counter("requests"), requests + 1);
}

// ---- Find the boards on a line ----

void TestDeviceBoard::scanListsTheLineAndConnectsTheChosenBoard()
{
    QVERIFY(startBoard({ "--boards", "1,5,17", "--board", "5:type=2,mode=boot" }));
    connectThroughBar(); // address 0: nobody, the window says so
    window->findChild<QLineEdit*>(QStringLiteral("DeviceID"))->setText(QStringLiteral("17"));
    ConnectionBar::button(bar, QStringLiteral("Connect"))->click();
    QVERIFY(bar->isConnected());
    answerer->reset();
    // Board 1's answer comes behind a frame for address 2.
    QVERIFY(board.command(QStringLiteral("foreign 1")).startsWith(QLatin1String("OK")));

    // The window holds a link: the scan asks to let it go first.
    answerer->queueButton(QMessageBox::Yes);
    QStringList listed;
    QString others;
    bool opened = false;
    bool handled = false;
    answerer->setCustomHandler([&](QWidget* modal) {
        if (modal->objectName() != QLatin1String("ScanDialog") || opened)
            return modal->objectName() == QLatin1String("ScanDialog");
        opened = true;
        handled = !bar->isConnected();
        modal->findChild<QSpinBox*>(QStringLiteral("spinBoxScanTo"))->setValue(20);
        modal->findChild<QSpinBox*>(QStringLiteral("spinBoxScanWait"))->setValue(60);
        modal->findChild<QPushButton*>(QStringLiteral("pushButtonScanStart"))->click();
        auto* list = modal->findChild<QTreeWidget*>(QStringLiteral("treeWidgetScanBoards"));
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            listed << list->topLevelItem(row)->text(0) + QLatin1Char(' ') + list->topLevelItem(row)->text(1);
        others = modal->findChild<QPlainTextEdit*>(QStringLiteral("plainTextEditScanOther"))->toPlainText();
        list->setCurrentItem(list->topLevelItem(1));
        modal->findChild<QPushButton*>(QStringLiteral("pushButtonScanConnect"))->click();
        return true;
    });
    window->findChild<QAction*>(QStringLiteral("actionFindDevices"))->trigger();

    QVERIFY2(handled, "the scan dialog came up while the window still held its link");
    QCOMPARE(answerer->texts(), QStringList { QStringLiteral("Для поиска линия нужна целиком.\nОтключиться от устройства?") });
    QCOMPARE(listed, (QStringList { "1 VRELL_A", "5 VRELL_B", "17 VRELL_A" }));
    QVERIFY2(others.contains(QStringLiteral("Адрес 1: ответ в кадре для адреса 2")), qPrintable(others));
    // Connected to the chosen board through the bar.
    QCOMPARE(window->findChild<QLineEdit*>(QStringLiteral("DeviceID"))->text(), QStringLiteral("5"));
    QCOMPARE(SettingsStore(QStringLiteral("KELDORA_NODE")).value(QStringLiteral("LastDeviceID")).toInt(), 5);
    QVERIFY(bar->isConnected());
    QCOMPARE(label("labelBoardVersionValue"), QStringLiteral("VRELL_B"));
    QCOMPARE(label("labelDeviceStatusValue"), QStringLiteral("Загрузчик"));
}

QTEST_MAIN(TestDeviceBoard)
#include "tst_deviceboard.moc"
