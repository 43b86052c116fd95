// The main window as a technician meets it: what it shows at start, how its
// buttons, tabs, rows and columns follow the connection, the board's mode,
// type and firmware version, and the reset of the stored connection settings.

#include "boardsetup.h"
#include "mainwindow.h"

#include "connectionbar.h"
#include "dialogserialparam.h"
#include "modalanswerer.h"
#include "scriptedconnector.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <QScrollBar>
#include <QtTest>

#include <memory>

namespace {

const QString programName = QStringLiteral("KELDORA_NODE");

template <typename T>
T* child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

QList<int> visibleRows(QTableWidget* table)
{
    QList<int> rows;
    for (int r = 0; r < table->rowCount(); ++r) {
        if (!table->isRowHidden(r))
            rows << r;
    }
    return rows;
}

// Presses Tab (or Shift+Tab) from `start` until the focus comes back to it;
// the controls passed on the way, or none when it never comes back.
QList<QWidget*> walk(QWidget* start, Qt::Key key)
{
    start->setFocus();
    QList<QWidget*> passed;
    for (QTest::keyClick(start, key); QApplication::focusWidget() != start && passed.size() < 1000;
         QTest::keyClick(QApplication::focusWidget(), key))
        passed << QApplication::focusWidget();
    return passed.size() < 1000 ? passed : QList<QWidget*>();
}

QList<int> range(int from, int to)
{
    QList<int> out;
    for (int i = from; i < to; ++i)
        out << i;
    return out;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void windowShowsItsComposition_data();
    void windowShowsItsComposition();
    void startsWithFirmwareAndCalibrationDisabled();
    void tabsHaveTheirCaptions();
    void menusHoldTheirActions();
    void tablesStartInTheirInitialShape();
    void connectionBarOffersOnlyRs485Modes();
    void connectionBarStaysInLayoutAfterConstruction();
    void boardTextsAreShownAsPlainText();

    void lockingShownAdditionalTabGoesToFirstTab();
    void lockingHiddenAdditionalTabKeepsCurrentTab();

    void resetWritesDefaultsUnderEveryKeyVariant();
    void resetIsReadBackThroughTheBarsOwnKeys();
    void resetLeavesTheLinkAndLabelsAlone();

    void windowFitsWhatItShows_data();
    void windowFitsWhatItShows();
    void windowRemembersItsPlaceAndColumns();
    void tabWalksEveryControlInReadingOrder_data();
    void tabWalksEveryControlInReadingOrder();
    void menuActionsAnswerTheirKeys_data();
    void menuActionsAnswerTheirKeys();

private:
    // Through the menu, as the technician unlocks or locks the additional tab.
    void setUnlocked(bool unlocked)
    {
        ModalAnswerer answerer;
        answerer.queueInput(QStringLiteral("marzipo"));
        auto* action = window->findChild<QAction*>(QStringLiteral("actionUnlockAdditional"));
        if (action->text().startsWith(QStringLiteral("Заблокировать")) != unlocked)
            action->trigger();
    }
    BoardSession* session() { return partOf<BoardSession>(*window); }
    void showActive()
    {
        window->show();
        QApplication::setActiveWindow(window.get());
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::initTestCase()
{
    TestSettings::isolate();
}

void TestMainWindow::init()
{
    TestSettings::clear();
    window.reset();
    window = std::make_unique<MainWindow>();
}

// ---- Composition ----

void TestMainWindow::windowShowsItsComposition_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("text");

    const char* const rows[][2] = {
        {"labelBoardVersionTitle", "Версия платы:"},
        {"labelBoardVersionValue", "-"},
        {"labelFirmwareVersionTitle", "Версия прошивки:"},
        {"labelFirmwareVersionValue", "-"},
        {"labelDeviceStatusTitle", "Статус устройства:"},
        {"labelDeviceStatusValue", "-"},
        {"labelBootloaderVersionTitle", "Версия загрузчика:"},
        {"labelBootloaderVersionValue", "-"},
        {"labelErrorStatusTitle", "Код ошибки загрузчика:"},
        {"labelErrorStatusValue", "-"},
        {"pushButtonSendFirmware", "Send Firmware"},
        {"pushButtonFlashFirmware", "Flash Firmware"},
        {"pushButtonEnterBootloader", "Enter Bootloader"},
        {"groupBoxRs485", "Параметры портов RS-485"},
        {"pushButtonSetRs485Param", "Записать в устройство"},
        {"pushButtonGetRs485Param", "Прочитать из устройства"},
        {"pushButtonGetDiDoParam", "Update"},
        {"pushButtonSetDiDoParam", "Save"},
        {"pushButtonFillFactoryDiDoParam", "Fill factory"},
        {"pushButtonResetDiDoParam", "Reset to factory"},
        {"groupBoxDiZeroCalibration", "Калибровка DI"},
        {"labelDiZeroCalibration",
         "Калибровка выполняется только в режиме основной прошивки.\n"
         "1. Для калибровки нуля отключите напряжение со всех DI входов.\n"
         "2. Для калибровки масштаба подайте 24 В на все DI входы."},
        {"pushButtonCalibrateDiZero", "Калибровать ноль DI"},
        {"pushButtonCalibrateDiScale24V", "Калибровать масштаб DI 24 В"},
    };
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromUtf8(row[1]);
}

void TestMainWindow::windowShowsItsComposition()
{
    QFETCH(QString, objectName);
    QFETCH(QString, text);

    QWidget* widget = window->findChild<QWidget*>(objectName);
    QVERIFY2(widget, qPrintable(objectName));
    if (auto* label = qobject_cast<QLabel*>(widget))
        QCOMPARE(label->text(), text);
    else if (auto* button = qobject_cast<QPushButton*>(widget))
        QCOMPARE(button->text(), text);
    else if (auto* box = qobject_cast<QGroupBox*>(widget))
        QCOMPARE(box->title(), text);
    else
        QFAIL("unexpected widget type");
}

void TestMainWindow::startsWithFirmwareAndCalibrationDisabled()
{
    QCOMPARE(window->objectName(), QStringLiteral("MainWindow"));
    QCOMPARE(window->windowTitle(), QStringLiteral("Quorvel"));
    QCOMPARE(window->size(), QSize(959, 753));

    for (const char* name : {"pushButtonSendFirmware", "pushButtonFlashFirmware", "pushButtonEnterBootloader",
                             "pushButtonCalibrateDiZero", "pushButtonCalibrateDiScale24V"}) {
        QVERIFY2(!child<QPushButton>(*window, name)->isEnabledTo(window.get()), name);
    }
    // The editors' own buttons are usable from the start.
    for (const char* name : {"pushButtonGetDiDoParam", "pushButtonSetDiDoParam", "pushButtonResetDiDoParam",
                             "pushButtonFillFactoryDiDoParam", "pushButtonSetRs485Param", "pushButtonGetRs485Param"}) {
        QVERIFY2(child<QPushButton>(*window, name)->isEnabledTo(window.get()), name);
    }
    QCOMPARE(child<QProgressBar>(*window, "progressBar")->value(), 0);

    QVERIFY(!session()->hasLink());
    QVERIFY(session()->board() == BoardState());
    QVERIFY(!window->findChild<QWidget*>(QStringLiteral("plainTextEditDebugDump")));
}

void TestMainWindow::tabsHaveTheirCaptions()
{
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->currentIndex(), 0);
    const char* const pages[] = {"tabMain", "tabDiDo", "tabAdditional"};
    const QStringList captions = {QStringLiteral("Основное"), QStringLiteral("DI/DO"), QStringLiteral("Дополнительно")};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(tabs->widget(i)->objectName(), QString::fromLatin1(pages[i]));
        QCOMPARE(tabs->tabText(i), captions.at(i));
    }
    // Locked at start: neither the page nor its entry in the bar is usable.
    QVERIFY(!tabs->widget(2)->isEnabledTo(window.get()));
    QVERIFY(!tabs->isTabEnabled(2));
    QVERIFY(tabs->isTabEnabled(0));
    QVERIFY(tabs->isTabEnabled(1));
}

void TestMainWindow::menusHoldTheirActions()
{
    QMenuBar* bar = window->menuBar();
    QCOMPARE(bar->objectName(), QStringLiteral("menuBar"));
    const QList<QAction*> top = bar->actions();
    QCOMPARE(top.size(), 3);
    QCOMPARE(top.at(0)->text(), QStringLiteral("Файл"));
    QCOMPARE(top.at(1)->text(), QStringLiteral("Настройки"));
    QCOMPARE(top.at(2)->text(), QStringLiteral("О программе"));

    auto* file = child<QMenu>(*window, "menu");
    auto* settings = child<QMenu>(*window, "menu_2");
    QCOMPARE(top.at(0)->menu(), file);
    QCOMPARE(top.at(1)->menu(), settings);
    // The configuration files, usable once a board running its main firmware is read.
    // Then, apart, the one-step update, usable with or without a link.
    const QList<QAction*> files = file->actions();
    QCOMPARE(files.size(), 5);
    const QStringList fileNames = { "actionSaveConfiguration", "actionOpenConfiguration", "actionCompareConfiguration",
                                    "", "actionUpdateFirmware" };
    const QStringList fileTexts = { "Сохранить конфигурацию…", "Открыть конфигурацию…", "Сравнить с устройством…", "",
                                    "Обновить прошивку…" };
    const QList<QKeySequence> fileKeys = { QKeySequence(Qt::CTRL + Qt::Key_S), QKeySequence(Qt::CTRL + Qt::Key_O),
                                           QKeySequence(), QKeySequence(), QKeySequence() };
    for (int i = 0; i < files.size(); ++i) {
        QCOMPARE(files.at(i)->objectName(), fileNames.at(i));
        QCOMPARE(files.at(i)->text(), fileTexts.at(i));
        QCOMPARE(files.at(i)->shortcut(), fileKeys.at(i));
        QCOMPARE(files.at(i)->isSeparator(), i == 3);
        if (i != 3)
            QCOMPARE(files.at(i)->isEnabled(), i == 4);
    }

    const QList<QAction*> entries = settings->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries.at(2)->objectName(), QStringLiteral("actionFindDevices"));
    QCOMPARE(entries.at(2)->text(), QStringLiteral("Найти устройства…"));
    QCOMPARE(entries.at(0)->objectName(), QStringLiteral("actionUnlockAdditional"));
    QCOMPARE(entries.at(0)->text(), QStringLiteral("Доступ к дополнительным настройкам"));
    QCOMPARE(entries.at(1)->objectName(), QStringLiteral("action"));
    QCOMPARE(entries.at(1)->text(), QStringLiteral("Включить отладку"));
    QVERIFY(entries.at(1)->isCheckable());
    QVERIFY(!entries.at(1)->isChecked());
    entries.at(1)->setChecked(true); // it switches the dump on
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("plainTextEditDebugDump")));

    QCOMPARE(top.at(2)->objectName(), QStringLiteral("actionAbout"));
    QCOMPARE(top.at(2)->menuRole(), QAction::AboutRole);
    QVERIFY(!top.at(2)->menu());

    auto* toolBar = child<QToolBar>(*window, "mainToolBar");
    QVERIFY(toolBar);
    QCOMPARE(window->toolBarArea(toolBar), Qt::TopToolBarArea);
    QVERIFY(child<QStatusBar>(*window, "statusBar"));
}

void TestMainWindow::tablesStartInTheirInitialShape()
{
    auto* di = child<QTableWidget>(*window, "tableWidgetDIConfig");
    auto* dout = child<QTableWidget>(*window, "tableWidgetDOConfig");
    QVERIFY(di && dout);
    // Board type unknown: 16 inputs, 9 outputs, both tables usable.
    QCOMPARE(visibleRows(di), range(0, 16));
    QCOMPARE(dout->rowCount(), 9);
    QCOMPARE(visibleRows(dout), range(0, 9));
    QVERIFY(di->isEnabledTo(window.get()));
    QVERIFY(!dout->isHidden());
    QCOMPARE(di->sizeAdjustPolicy(), QAbstractScrollArea::AdjustToContents);
    QCOMPARE(dout->sizeAdjustPolicy(), QAbstractScrollArea::AdjustToContents);

    for (const char* name : {"tableWidgetRs485Param", "tableWidgetRs485Param_2"}) {
        auto* table = child<QTableWidget>(*window, name);
        QVERIFY2(table, name);
        QCOMPARE(table->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
        QCOMPARE(table->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
        QVERIFY(table->parentWidget() == child<QGroupBox>(*window, "groupBoxRs485"));
    }
}

void TestMainWindow::connectionBarOffersOnlyRs485Modes()
{
    auto* bar = child<Tessarin>(*window, "ConnectionWidget");
    QVERIFY(bar);
    QCOMPARE(bar->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(bar->sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QVERIFY(!bar->isConnected());

    QComboBox* modes = nullptr;
    for (QComboBox* combo : bar->findChildren<QComboBox*>()) {
        if (combo->findText(QStringLiteral("RS485 TCP")) >= 0)
            modes = combo;
    }
    QVERIFY(modes);
    QCOMPARE(modes->count(), 2);
    QCOMPARE(modes->itemText(0), QStringLiteral("RS485 COM"));
    QCOMPARE(modes->itemText(1), QStringLiteral("RS485 TCP"));
    QCOMPARE(modes->currentIndex(), 0);
}

namespace {
QStringList layoutWarnings;
void recordLayoutWarnings(QtMsgType, const QMessageLogContext&, const QString& message)
{
    if (message.contains(QLatin1String("QLayout")))
        layoutWarnings << message;
}
} // namespace

void TestMainWindow::connectionBarStaysInLayoutAfterConstruction()
{
    // The dump is switched off once at construction, before any dump view
    // exists. Some Qt 5 builds delete every widget-less item (the bar's row
    // among them) on QLayout::removeWidget(nullptr), others refuse with a
    // warning: neither may happen.
    layoutWarnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordLayoutWarnings);
    window.reset();
    window = std::make_unique<MainWindow>();
    qInstallMessageHandler(previous);
    QCOMPARE(layoutWarnings, QStringList());

    auto* central = child<QVBoxLayout>(*window, "verticalLayout");
    auto* row = child<QHBoxLayout>(*window, "horizontalLayout");
    QVERIFY(central && row);
    QCOMPARE(central->count(), 2);
    QCOMPARE(central->itemAt(0)->layout(), static_cast<QLayout*>(row));
    QCOMPARE(central->itemAt(1)->widget(), static_cast<QWidget*>(child<QTabWidget>(*window, "tabWidget")));
    QCOMPARE(row->indexOf(child<Tessarin>(*window, "ConnectionWidget")), 0);
}

void TestMainWindow::boardTextsAreShownAsPlainText()
{
    // Version texts come from the board; markup in them must show as typed.
    for (const char* name : {"labelBoardVersionValue", "labelFirmwareVersionValue", "labelDeviceStatusValue",
                             "labelBootloaderVersionValue", "labelErrorStatusValue"}) {
        QCOMPARE(child<QLabel>(*window, name)->textFormat(), Qt::PlainText);
    }
}

// ---- Additional tab ----

void TestMainWindow::lockingShownAdditionalTabGoesToFirstTab()
{
    // A board that takes a calibration: the unlock decides the buttons.
    QVERIFY(identify(*session(), QSharedPointer<ScriptedConnector>::create(), 0, 1, QStringLiteral("0.0.6")));
    auto* zero = child<QPushButton>(*window, "pushButtonCalibrateDiZero");
    auto* scale = child<QPushButton>(*window, "pushButtonCalibrateDiScale24V");
    QVERIFY(!zero->isEnabledTo(window.get()));
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    setUnlocked(true);
    QVERIFY(tabs->isTabEnabled(2));
    QVERIFY(zero->isEnabledTo(window.get()) && scale->isEnabledTo(window.get()));
    tabs->setCurrentIndex(2);
    QCOMPARE(tabs->currentIndex(), 2);

    QVERIFY(tabs->tabToolTip(2).isEmpty());

    setUnlocked(false);
    QVERIFY(!tabs->isTabEnabled(2));
    QVERIFY(!tabs->widget(2)->isEnabledTo(window.get()));
    QVERIFY(!zero->isEnabledTo(window.get()) && !scale->isEnabledTo(window.get()));
    QCOMPARE(tabs->currentIndex(), 0);
    // The greyed tab says where it is opened.
    QVERIFY(tabs->tabToolTip(2).contains(QStringLiteral("«Настройки» → «Доступ к дополнительным настройкам»")));
}

void TestMainWindow::lockingHiddenAdditionalTabKeepsCurrentTab()
{
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    setUnlocked(true);
    tabs->setCurrentIndex(1);
    setUnlocked(false);
    QCOMPARE(tabs->currentIndex(), 1);
}

// ---- Connection settings reset ----

void TestMainWindow::resetWritesDefaultsUnderEveryKeyVariant()
{
    // Nothing stored before: every key is created.
    emit child<Tessarin>(*window, "ConnectionWidget")->onResetToDefaultRequested();

    SettingsStore store(programName);
    const char* const baud[] = {"BaudRate", "baudRate", "Connection/BaudRate", "Connection/baudRate",
                                "Serial/BaudRate", "Serial/baudRate", "SerialPort/BaudRate", "RS485/BaudRate"};
    const char* const data[] = {"DataBits", "dataBits", "Connection/DataBits", "Serial/DataBits",
                                "SerialPort/DataBits", "RS485/DataBits"};
    const char* const parity[] = {"Parity", "parity", "Connection/Parity", "Serial/Parity", "SerialPort/Parity",
                                  "RS485/Parity"};
    const char* const stop[] = {"StopBits", "stopBits", "Connection/StopBits", "Serial/StopBits",
                                "SerialPort/StopBits", "RS485/StopBits"};
    const char* const address[] = {"DeviceAddress", "deviceAddress", "DeviceID", "deviceId", "deviceID",
                                   "Connection/DeviceAddress", "Connection/DeviceID", "Serial/DeviceAddress",
                                   "Serial/DeviceID", "SerialPort/DeviceAddress", "SerialPort/DeviceID",
                                   "Modbus/DeviceAddress", "Modbus/DeviceID", "RS485/DeviceAddress",
                                   "RS485/DeviceID", "LastDeviceID"};
    for (const char* key : baud) {
        QVERIFY2(store.contains(QLatin1String(key)), key);
        QCOMPARE(store.value(QLatin1String(key)).toInt(), 57600);
    }
    for (const char* key : data)
        QCOMPARE(store.value(QLatin1String(key), -1).toInt(), 8);
    for (const char* key : parity)
        QCOMPARE(store.value(QLatin1String(key)).toString(), QStringLiteral("None"));
    for (const char* key : stop)
        QCOMPARE(store.value(QLatin1String(key), -1).toInt(), 1);
    for (const char* key : address) {
        QVERIFY2(store.contains(QLatin1String(key)), key);
        QCOMPARE(store.value(QLatin1String(key), -1).toInt(), 0);
    }
    // The program's own key is not a connection setting.
    QVERIFY(!store.contains(QStringLiteral("LastFirmwarePath")));

    // And it reached storage: a fresh store opened afterwards sees it.
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ombrek"), programName);
    QCOMPARE(raw.value(SettingsStore::foldKey(QStringLiteral("RS485/BaudRate"))).toInt(), 57600);
}

void TestMainWindow::resetIsReadBackThroughTheBarsOwnKeys()
{
    {
        SettingsStore store(programName);
        // As the serial dialog stores 19200, 9 data bits, Even, 2 stop bits.
        store.setValue(QStringLiteral("serial/baudrate"), 19200);
        store.setValue(QStringLiteral("serial/parity"), 1);
        store.setValue(QStringLiteral("serial/databit"), 9);
        store.setValue(QStringLiteral("serial/stopbit"), 2);
        store.setValue(QStringLiteral("LastDeviceID"), 17);
        store.setValue(QStringLiteral("TCPClient/IP"), QStringLiteral("10.1.2.3"));
        store.setValue(QStringLiteral("TCPClient/Port"), 5020);
        store.setValue(QStringLiteral("LastFirmwarePath"), QStringLiteral("/tmp/fw"));
        store.sync();
    }
    // The bar shows what is stored: device address 17 before the reset.
    auto* bar = child<Tessarin>(*window, "ConnectionWidget");
    bar->updateWidgetFromSettings();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(bar->findChild<QLineEdit*>(QStringLiteral("DeviceID"))->text(), QStringLiteral("17"));

    emit bar->onResetToDefaultRequested();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    SettingsStore store(programName);
    QCOMPARE(store.value(QStringLiteral("serial/baudrate")).toInt(), 57600);
    QCOMPARE(store.value(QStringLiteral("serial/parity")).toString(), QStringLiteral("None"));
    QCOMPARE(store.value(QStringLiteral("serial/parity")).toInt(), 0); // "None" read as a number is no parity
    QCOMPARE(store.value(QStringLiteral("LastDeviceID")).toInt(), 0);
    // The word format is 8N1 again, as the bar's serial dialog reads it.
    DialogSerialParam dialog;
    dialog.setProgramName(programName);
    QStringList shown;
    for (const char* name : {"comboBox_BaudRate", "comboBox_DataBits", "comboBox_Parity", "comboBox_StopBits"})
        shown << dialog.findChild<QComboBox*>(QLatin1String(name))->currentText();
    QCOMPARE(shown, QStringList({"57600", "8", "None", "1"}));
    // Keys the reset does not know keep their values.
    QCOMPARE(store.value(QStringLiteral("TCPClient/IP")).toString(), QStringLiteral("10.1.2.3"));
    QCOMPARE(store.value(QStringLiteral("TCPClient/Port")).toInt(), 5020);
    QCOMPARE(store.value(QStringLiteral("LastFirmwarePath")).toString(), QStringLiteral("/tmp/fw"));

    // The bar was refreshed and shows the default address.
    const QList<QLineEdit*> edits = bar->findChildren<QLineEdit*>(QStringLiteral("DeviceID"));
    QCOMPARE(edits.size(), 1);
    QCOMPARE(edits.first()->text(), QStringLiteral("0"));
}

void TestMainWindow::resetLeavesTheLinkAndLabelsAlone()
{
    auto link = QSharedPointer<ScriptedConnector>::create();
    QVERIFY(identify(*session(), link, 0, 0, QStringLiteral("0.0.6")));
    const BoardState board = session()->board();

    ModalAnswerer answerer;
    emit child<Tessarin>(*window, "ConnectionWidget")->onResetToDefaultRequested();

    QCOMPARE(session()->link(), link);
    QVERIFY(session()->board() == board);
    QCOMPARE(child<QLabel>(*window, "labelFirmwareVersionValue")->text(), QStringLiteral("0.0.6"));
    QCOMPARE(child<QLabel>(*window, "labelDeviceStatusValue")->text(), QStringLiteral("Основная прошивка"));
    QVERIFY(answerer.seen.isEmpty());
    // Nothing was sent to the board.
    QVERIFY(link->writes.isEmpty());
}

QTEST_MAIN(TestMainWindow)
// ---- Fit, memory, keyboard ----

void TestMainWindow::windowFitsWhatItShows_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("width");
    QTest::addColumn<Qt::Orientation>("scroll");
    // DI and DO side by side, whole, on a 1280-pixel screen; the port tables
    // and the IP field whole at the form's size.
    QTest::newRow("DI") << "tableWidgetDIConfig" << 1280 << Qt::Horizontal;
    QTest::newRow("DO") << "tableWidgetDOConfig" << 1280 << Qt::Horizontal;
    QTest::newRow("port 1") << "tableWidgetRs485Param" << 959 << Qt::Vertical;
    QTest::newRow("port 2") << "tableWidgetRs485Param_2" << 959 << Qt::Vertical;
    QTest::newRow("IP") << "" << 959 << Qt::Horizontal;
}

void TestMainWindow::windowFitsWhatItShows()
{
    QFETCH(QString, table);
    QFETCH(int, width);
    QFETCH(Qt::Orientation, scroll);
    // A board with every DI/DO column.
    QVERIFY(identify(*session(), QSharedPointer<ScriptedConnector>::create(), 0, 1, QStringLiteral("0.0.6")));
    QComboBox* modes = ConnectionBar::modeList(window->findChild<Tessarin*>());
    modes->setCurrentIndex(modes->findText(QStringLiteral("RS485 TCP")));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    auto* t = window->findChild<QTableWidget*>(table);
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    for (QWidget* p = t; p; p = p->parentWidget())
        tabs->setCurrentIndex(tabs->indexOf(p) >= 0 ? tabs->indexOf(p) : tabs->currentIndex());
    window->show();
    window->resize(width, window->height());
    QTRY_COMPARE(window->width(), width);
    if (!t) {
        auto* ip = window->findChild<Tessarin*>()->findChildren<QLineEdit*>().value(0);
        QVERIFY(ip->width() > ip->fontMetrics().horizontalAdvance(QStringLiteral("255.255.255.255")));
        return;
    }
    QCOMPARE((scroll == Qt::Horizontal ? t->horizontalScrollBar() : t->verticalScrollBar())->maximum(), 0);
}

void TestMainWindow::windowRemembersItsPlaceAndColumns()
{
    window->show();
    window->setGeometry(40, 50, 1100, 800);
    child<QTableWidget>(*window, "tableWidgetDIConfig")->setColumnWidth(1, 123);
    const QRect placed = window->geometry();
    QVERIFY(window->close());
    // The same store, whatever the case of its keys.
    QVERIFY(!SettingsStore(programName).value(QStringLiteral("WINDOW/GEOMETRY")).toByteArray().isEmpty());
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->geometry(), placed);
    QCOMPARE(child<QTableWidget>(*window, "tableWidgetDIConfig")->columnWidth(1), 123);
    // Nothing stored: the form's own size.
    TestSettings::clear();
    window = std::make_unique<MainWindow>();
    QCOMPARE(window->size(), QSize(959, 753));
}

void TestMainWindow::tabWalksEveryControlInReadingOrder_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("landmarks");
    QTest::newRow("main") << "tabMain"
                          << QStringList{ "DeviceID", "qt_tabwidget_tabbar", "tableWidgetRs485Param",
                                          "tableWidgetRs485Param_2", "pushButtonSetRs485Param" };
    QTest::newRow("DI/DO") << "tabDiDo"
                           << QStringList{ "DeviceID", "qt_tabwidget_tabbar", "tableWidgetDIConfig",
                                           "tableWidgetDOConfig", "pushButtonGetDiDoParam", "pushButtonResetDiDoParam" };
}

void TestMainWindow::tabWalksEveryControlInReadingOrder()
{
    QFETCH(QString, page);
    QFETCH(QStringList, landmarks);
    child<QTabWidget>(*window, "tabWidget")->setCurrentWidget(window->findChild<QWidget*>(page));
    showActive();
    QComboBox* start = ConnectionBar::modeList(window->findChild<Tessarin*>());
    // Round the whole window and back to the start: no table keeps the focus.
    const QList<QWidget*> forward = walk(start, Qt::Key_Tab);
    QVERIFY(!forward.isEmpty());
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const bool part = qobject_cast<QComboBox*>(w->parentWidget()) || qobject_cast<QAbstractSpinBox*>(w->parentWidget());
        const bool stop = w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
        if (stop && !part && w != start)
            QVERIFY2(forward.contains(w), qPrintable(w->metaObject()->className() + (" " + w->objectName())));
    }
    // In reading order, each table's cell editors right after the table.
    int previous = -1;
    for (const QString& name : landmarks) {
        const int at = forward.indexOf(window->findChild<QWidget*>(name));
        QVERIFY2(at > previous, qPrintable(name));
        if (auto* table = qobject_cast<QTableWidget*>(forward.at(at))) {
            const auto inTable = [table](QWidget* w) { return w && w != table && table->isAncestorOf(w); };
            const int inside = int(std::count_if(forward.begin(), forward.end(), inTable));
            QVERIFY(inside > 0 && inTable(forward.value(at + inside)) && !inTable(forward.value(at + inside + 1)));
        }
        previous = at;
    }
    // Shift+Tab walks the same way back.
    QList<QWidget*> backward = walk(start, Qt::Key_Backtab);
    std::reverse(backward.begin(), backward.end());
    QCOMPARE(backward, forward);
}

void TestMainWindow::menuActionsAnswerTheirKeys_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("caption");
    QTest::newRow("dump") << "action" << QKeySequence(Qt::CTRL + Qt::Key_D) << "Включить отладку";
    QTest::newRow("unlock") << "actionUnlockAdditional" << QKeySequence(Qt::CTRL + Qt::Key_U)
                            << "Доступ к дополнительным настройкам";
    QTest::newRow("about") << "actionAbout" << QKeySequence(Qt::Key_F1) << "О программе";
    QTest::newRow("quit") << "actionQuit" << QKeySequence(Qt::CTRL + Qt::Key_Q) << "";
    QTest::newRow("find devices") << "actionFindDevices" << QKeySequence(Qt::CTRL + Qt::Key_F) << "Найти устройства…";
}

void TestMainWindow::menuActionsAnswerTheirKeys()
{
    QFETCH(QString, action);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, caption);
    showActive();
    // The key is added; the caption stays the form's.
    QCOMPARE(window->findChild<QAction*>(action)->text(), caption);
    ModalAnswerer answerer;
    answerer.queueInput(QStringLiteral("marzipo"));
    QTest::keySequence(window.get(), keys);
    // What the menu entry does.
    const QMap<QString, bool> done{ { "action", window->findChild<QWidget*>("plainTextEditDebugDump") != nullptr },
                                    { "actionUnlockAdditional", child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2) },
                                    { "actionAbout", answerer.seen.value(0).title == QLatin1String("About") },
                                    { "actionQuit", !window->isVisible() },
                                    { "actionFindDevices", answerer.seen.value(0).className == "ScanDialog" } };
    QVERIFY(done.value(action));
}

#include "tst_mainwindow.moc"
