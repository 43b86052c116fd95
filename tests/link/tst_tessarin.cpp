#include "connector.h"
#include "dialogserialparam.h"
#include "hostsettings.h"
#include "modalanswerer.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSerialPortInfo>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QtTest>

namespace {

const QString program = QStringLiteral("KELDORA_NODE");
const QString red = QStringLiteral("QPushButton { background-color: #c33; color: white; }");
const QString green = QStringLiteral("QPushButton { background-color: #2d8f2d; color: white; }");

QHBoxLayout* row(Tessarin& w)
{
    // mainLayout holds the link image, the mode label, the mode combo, then
    // the row of the current mode.
    return qobject_cast<QHBoxLayout*>(w.layout()->itemAt(3)->layout());
}

// One readable line per item of the mode's row, in order.
QStringList describeRow(Tessarin& w)
{
    QStringList out;
    QHBoxLayout* r = row(w);
    for (int i = 0; i < r->count(); ++i) {
        QLayoutItem* item = r->itemAt(i);
        if (QSpacerItem* s = item->spacerItem()) {
            out << QStringLiteral("spacer %1x%2 %3/%4")
                       .arg(s->sizeHint().width())
                       .arg(s->sizeHint().height())
                       .arg(s->sizePolicy().horizontalPolicy() == QSizePolicy::Expanding ? "Expanding" : "other")
                       .arg(s->sizePolicy().verticalPolicy() == QSizePolicy::Minimum ? "Minimum" : "other");
        } else if (auto* label = qobject_cast<QLabel*>(item->widget())) {
            out << QStringLiteral("label ") + label->text();
        } else if (qobject_cast<QComboBox*>(item->widget())) {
            out << QStringLiteral("ports");
        } else if (auto* edit = qobject_cast<QLineEdit*>(item->widget())) {
            out << QStringLiteral("edit %1=%2").arg(edit->objectName(), edit->text());
        } else if (auto* button = qobject_cast<QPushButton*>(item->widget())) {
            out << (button->text().isEmpty() ? QStringLiteral("icon button") : QStringLiteral("button ") + button->text());
        } else {
            out << QStringLiteral("?");
        }
    }
    return out;
}

template <class T>
T* rowWidget(Tessarin& w, int index)
{
    return qobject_cast<T*>(row(w)->itemAt(index)->widget());
}

QPushButton* buttonWithText(Tessarin& w, const QString& text)
{
    QHBoxLayout* r = row(w);
    for (int i = 0; i < r->count(); ++i) {
        auto* b = qobject_cast<QPushButton*>(r->itemAt(i)->widget());
        if (b && b->text() == text)
            return b;
    }
    return nullptr;
}

QPushButton* connectButton(Tessarin& w)
{
    QPushButton* b = buttonWithText(w, QStringLiteral("Connect"));
    return b ? b : buttonWithText(w, QStringLiteral("Disconnect"));
}

QLineEdit* deviceIdEdit(Tessarin& w)
{
    QHBoxLayout* r = row(w);
    for (int i = 0; i < r->count(); ++i) {
        auto* e = qobject_cast<QLineEdit*>(r->itemAt(i)->widget());
        if (e && e->objectName() == QLatin1String("DeviceID"))
            return e;
    }
    return nullptr;
}

QImage linkImage(Tessarin& w)
{
    auto* label = qobject_cast<QLabel*>(w.layout()->itemAt(0)->widget());
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    return label->pixmap(Qt::ReturnByValue).toImage();
#else
    return label->pixmap() ? label->pixmap()->toImage() : QImage();
#endif
}

QImage resourceImage(const char* path)
{
    return QPixmap(QLatin1String(path)).toImage();
}

QStringList modeItems(Tessarin& w)
{
    auto* combo = qobject_cast<QComboBox*>(w.layout()->itemAt(2)->widget());
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

QComboBox* modeCombo(Tessarin& w)
{
    return qobject_cast<QComboBox*>(w.layout()->itemAt(2)->widget());
}

const QStringList usbRow = {"label Port:", "ports", "icon button", "button Connect",
                            "spacer 40x20 Expanding/Minimum", "button Reboot", "button Сброс настроек"};

QStringList rs485Row(const QString& deviceId)
{
    return {"label Port:", "ports", "icon button", "icon button", "label DeviceId:", "edit DeviceID=" + deviceId,
            "button Connect", "spacer 40x20 Expanding/Minimum", "button Reboot", "button Сброс настроек"};
}

QStringList tcpRow(const QString& ip, const QString& port, const QString& deviceId)
{
    return {"label IP:", "edit =" + ip, "label TCP Port:", "edit =" + port, "label DeviceId:",
            "edit DeviceID=" + deviceId, "button Connect", "spacer 40x20 Expanding/Minimum", "button Reboot",
            "button Сброс настроек"};
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestTessarin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSettings::isolate(); }
    void init() { TestSettings::clear(); }

    void freshWidgetOffersThreeModesAndShowsUsbRow();
    void portListMatchesSystemAndRefreshRestoresIt();
    void modeRows_data();
    void modeRows();
    void withoutUsbTheRs485RowComesFirst();
    void fieldsShowStoredValuesWhateverTheKeyCase_data();
    void fieldsShowStoredValuesWhateverTheKeyCase();
    void unreadableStoredNumbersShowDefaults();
    void displayFollowsTheFlag_data();
    void displayFollowsTheFlag();
    void linkStatusAloneStillMakesTheNextClickDisconnect();
    void setProgramNameBuildsFirstModeWhateverTheComboShows();
    void updateWidgetFromSettings_data();
    void updateWidgetFromSettings();
    void deviceIdValidator_data();
    void deviceIdValidator();
    void tcpPortValidator_data();
    void tcpPortValidator();
    void ipValidator_data();
    void ipValidator();
    void rebootAndResetOnlyRelayTheRequest();
    void resetFromItsOwnClickRebuildsSafely();
    void hostResetIsSeenThroughCaseInsensitiveKeys();
    void settingsButtonOpensDialogWithProgramSettings();
};

void TestTessarin::freshWidgetOffersThreeModesAndShowsUsbRow()
{
    Tessarin w(nullptr);
    QCOMPARE(modeItems(w), QStringList({"USB COM", "RS485 COM", "RS485 TCP"}));
    QCOMPARE(modeCombo(w)->currentIndex(), 0);
    QCOMPARE(describeRow(w), usbRow);
    QCOMPARE(connectButton(w)->styleSheet(), red);
    QCOMPARE(linkImage(w), resourceImage(":/images/Cancel_32x32.png"));
    QVERIFY(!w.isConnected());

    auto* modeLabel = qobject_cast<QLabel*>(w.layout()->itemAt(1)->widget());
    QCOMPARE(modeLabel->text(), QStringLiteral("Connection Mode:"));
    QCOMPARE(modeLabel->font().family(), QStringLiteral("MS Shell Dlg 2"));
    QCOMPARE(modeLabel->font().pointSize(), 12);
    QCOMPARE(modeLabel->font().weight(), 50);
    QVERIFY(!modeLabel->font().italic());
    QVERIFY(qobject_cast<QLabel*>(w.layout()->itemAt(0)->widget())->text().isEmpty());

    QCOMPARE(w.minimumWidth(), 213);
    QCOMPARE(w.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(w.sizePolicy().verticalPolicy(), QSizePolicy::Preferred);
    QCOMPARE(static_cast<QBoxLayout*>(w.layout())->stretch(3), 1);

    // The refresh button carries the refresh picture.
    QVERIFY(!rowWidget<QPushButton>(w, 2)->icon().isNull());
    QCOMPARE(rowWidget<QPushButton>(w, 2)->icon().pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32),
             resourceImage(":/images/Refresh24.png").convertToFormat(QImage::Format_ARGB32));
}

void TestTessarin::portListMatchesSystemAndRefreshRestoresIt()
{
    Tessarin w(nullptr);
    QStringList system;
    QStringList nodes;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        system << info.portName();
        nodes << info.systemLocation();
    }

    // The system's ports under their own names, in its order; then only
    // other names (by-id, udev symlinks) of those same ports.
    auto* ports = rowWidget<QComboBox>(w, 1);
    QStringList shown;
    for (int i = 0; i < ports->count(); ++i)
        shown << ports->itemText(i);
    QCOMPARE(shown.mid(0, system.size()), system);
    for (int i = 0; i < system.size(); ++i)
        QVERIFY(ports->itemData(i, Qt::ToolTipRole).toString().endsWith(nodes.at(i)));
    for (const QString& alias : shown.mid(system.size()))
        QVERIFY2(nodes.contains(QFileInfo(alias).canonicalFilePath()), qPrintable(alias));

    ports->addItem(QStringLiteral("/dev/not-a-port"));
    QTest::mouseClick(rowWidget<QPushButton>(w, 2), Qt::LeftButton);
    QCOMPARE(ports->count(), shown.size());
    QCOMPARE(ports->findText(QStringLiteral("/dev/not-a-port")), -1);
}

void TestTessarin::modeRows_data()
{
    QTest::addColumn<bool>("usbOffered");
    QTest::addColumn<int>("index");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("usb offered, USB COM") << true << 0 << usbRow;
    QTest::newRow("usb offered, RS485 COM") << true << 1 << rs485Row("0");
    QTest::newRow("usb offered, RS485 TCP") << true << 2 << tcpRow("0.0.0.0", "4001", "0");
    QTest::newRow("no usb, RS485 COM") << false << 0 << rs485Row("0");
    QTest::newRow("no usb, RS485 TCP") << false << 1 << tcpRow("0.0.0.0", "4001", "0");
}

void TestTessarin::modeRows()
{
    QFETCH(bool, usbOffered);
    QFETCH(int, index);
    QFETCH(QStringList, expected);

    Tessarin w(nullptr);
    w.setUSBConfigEnable(usbOffered);
    w.setProgramName(program);
    // Go through another mode first so the wanted one is built by the change.
    modeCombo(w)->setCurrentIndex(index == 0 ? 1 : 0);
    modeCombo(w)->setCurrentIndex(index);
    QCOMPARE(describeRow(w), expected);
    QCOMPARE(connectButton(w)->styleSheet(), red);
    QCOMPARE(linkImage(w), resourceImage(":/images/Cancel_32x32.png"));

    // The old controls left the row at once and are gone after the event loop.
    flushDeletes();
    const QList<QPushButton*> buttons = w.findChildren<QPushButton*>();
    int inRow = 0;
    for (int i = 0; i < row(w)->count(); ++i)
        inRow += qobject_cast<QPushButton*>(row(w)->itemAt(i)->widget()) ? 1 : 0;
    QCOMPARE(buttons.size(), inRow);
    QCOMPARE(w.findChildren<QLineEdit*>(QStringLiteral("DeviceID")).size(), expected.contains("label DeviceId:") ? 1 : 0);
}

void TestTessarin::withoutUsbTheRs485RowComesFirst()
{
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    QCOMPARE(modeItems(w), QStringList({"RS485 COM", "RS485 TCP"}));
    QCOMPARE(modeCombo(w)->currentIndex(), 0);
    QCOMPARE(describeRow(w), rs485Row("0"));
    // The settings button shows the gear.
    QVERIFY(!rowWidget<QPushButton>(w, 3)->icon().isNull());
}

void TestTessarin::fieldsShowStoredValuesWhateverTheKeyCase_data()
{
    QTest::addColumn<bool>("byHand");
    QTest::newRow("through the store") << false;
    // A file written by hand or by another tool keeps its own spelling.
    QTest::newRow("written by hand") << true;
}

void TestTessarin::fieldsShowStoredValuesWhateverTheKeyCase()
{
    QFETCH(bool, byHand);
    {
        SettingsStore store(program);
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(SettingsStore::organisation),
                      program);
        const auto put = [&](const char* key, const QVariant& value) {
            byHand ? raw.setValue(QLatin1String(key), value) : store.setValue(QLatin1String(key), value);
        };
        put("TCPClient/IP", "10.1.2.3");
        put("TCPCLIENT/PORT", 502);
        put("LastDeviceID", 17);
        raw.sync();
    }
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    QCOMPARE(describeRow(w), rs485Row("17"));
    modeCombo(w)->setCurrentIndex(1);
    QCOMPARE(describeRow(w), tcpRow("10.1.2.3", "502", "17"));

    // Another program's settings are not this one's.
    Tessarin other(nullptr);
    other.setUSBConfigEnable(false);
    other.setProgramName(QStringLiteral("OTHER_PROGRAM"));
    modeCombo(other)->setCurrentIndex(1);
    QCOMPARE(describeRow(other), tcpRow("0.0.0.0", "4001", "0"));

    // A write keeps one spelling of the key, and every spelling reads it.
    SettingsStore store(program);
    store.setValue("lastDeviceId", 18);
    QSettings raw(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(SettingsStore::organisation), program);
    QStringList spellings;
    for (const QString& key : raw.allKeys()) {
        if (key.compare(QLatin1String("LastDeviceID"), Qt::CaseInsensitive) == 0)
            spellings << key;
    }
    QCOMPARE(spellings, QStringList({byHand ? "LastDeviceID" : "lastdeviceid"}));
    QCOMPARE(SettingsStore(program).value("LASTDEVICEID").toInt(), 18);
}

void TestTessarin::unreadableStoredNumbersShowDefaults()
{
    {
        SettingsStore store(program);
        store.setValue("LastDeviceID", "abc");
        store.setValue("TCPClient/Port", 70000);
    }
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    modeCombo(w)->setCurrentIndex(1);
    QCOMPARE(describeRow(w), tcpRow("0.0.0.0", "4001", "0"));
}

void TestTessarin::displayFollowsTheFlag_data()
{
    QTest::addColumn<bool>("before");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("flag");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("greenStyle");
    QTest::addColumn<bool>("applyImage");

    QTest::newRow("setConnected true") << false << "setConnected(true)" << true << "Disconnect" << true << true;
    QTest::newRow("setConnected false") << true << "setConnected(false)" << false << "Connect" << false << false;
    // The two partial setters change the flag and only their own part.
    QTest::newRow("setConnectionOk true") << false << "setConnectionOk(true)" << true << "Connect" << true << false;
    QTest::newRow("setConnectionOk false") << true << "setConnectionOk(false)" << false << "Disconnect" << false << true;
    QTest::newRow("setLinkStatus true") << false << "setLinkStatus(true)" << true << "Connect" << false << true;
    QTest::newRow("setLinkStatus false") << true << "setLinkStatus(false)" << false << "Disconnect" << true << false;
    QTest::newRow("disconnectCurrentConnector") << true << "disconnectCurrentConnector" << false << "Connect" << false
                                                << false;
    QTest::newRow("mode change") << true << "mode change" << false << "Connect" << false << false;
    QTest::newRow("updateWidgetFromSettings") << true << "updateWidgetFromSettings" << false << "Connect" << false
                                              << false;
}

void TestTessarin::displayFollowsTheFlag()
{
    QFETCH(bool, before);
    QFETCH(QString, call);
    QFETCH(bool, flag);
    QFETCH(QString, text);
    QFETCH(bool, greenStyle);
    QFETCH(bool, applyImage);

    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    w.setConnected(before);
    QSignalSpy disconnected(&w, &Tessarin::onDisconnected);
    int connected = 0;
    connect(&w, &Tessarin::onConnected, &w, [&connected](QSharedPointer<Connector>&) { ++connected; });

    if (call == "setConnected(true)")
        w.setConnected(true);
    else if (call == "setConnected(false)")
        w.setConnected(false);
    else if (call == "setConnectionOk(true)")
        w.setConnectionOk(true);
    else if (call == "setConnectionOk(false)")
        w.setConnectionOk(false);
    else if (call == "setLinkStatus(true)")
        w.setLinkStatus(true);
    else if (call == "setLinkStatus(false)")
        w.setLinkStatus(false);
    else if (call == "disconnectCurrentConnector")
        w.disconnectCurrentConnector();
    else if (call == "mode change")
        modeCombo(w)->setCurrentIndex(1);
    else if (call == "updateWidgetFromSettings")
        w.updateWidgetFromSettings();
    else
        QFAIL("unknown call");

    QCOMPARE(w.isConnected(), flag);
    QCOMPARE(connectButton(w)->text(), text);
    QCOMPARE(connectButton(w)->styleSheet(), greenStyle ? green : red);
    QCOMPARE(linkImage(w), resourceImage(applyImage ? ":/images/Apply_32x32.png" : ":/images/Cancel_32x32.png"));
    // None of these talks to the host.
    QCOMPARE(disconnected.count(), 0);
    QCOMPARE(connected, 0);
}

void TestTessarin::linkStatusAloneStillMakesTheNextClickDisconnect()
{
    Tessarin w(nullptr);
    QSignalSpy disconnected(&w, &Tessarin::onDisconnected);
    w.setLinkStatus(true);
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));
    // The flag, not the caption, decides: this click disconnects.
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(disconnected.count(), 1);
    QVERIFY(!w.isConnected());
    QCOMPARE(linkImage(w), resourceImage(":/images/Cancel_32x32.png"));
}

void TestTessarin::setProgramNameBuildsFirstModeWhateverTheComboShows()
{
    Tessarin w(nullptr);
    modeCombo(w)->setCurrentIndex(2);
    QCOMPARE(describeRow(w), tcpRow("0.0.0.0", "4001", "0"));
    w.setProgramName(program);
    QCOMPARE(modeCombo(w)->currentText(), QStringLiteral("RS485 TCP"));
    QCOMPARE(describeRow(w), usbRow);

    w.setUSBConfigEnable(false);
    modeCombo(w)->setCurrentIndex(1);
    w.setProgramName(program);
    QCOMPARE(describeRow(w), rs485Row("0"));
}

void TestTessarin::updateWidgetFromSettings_data()
{
    QTest::addColumn<bool>("usbOffered");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("built");

    QTest::newRow("usb, index 0") << true << 0 << "usb";
    QTest::newRow("usb, index 1") << true << 1 << "rs485";
    QTest::newRow("usb, index 2") << true << 2 << "tcp";
    QTest::newRow("usb, no selection") << true << -1 << "usb";
    QTest::newRow("no usb, index 0") << false << 0 << "rs485";
    QTest::newRow("no usb, index 1") << false << 1 << "tcp";
    QTest::newRow("no usb, no selection") << false << -1 << "rs485";
}

void TestTessarin::updateWidgetFromSettings()
{
    QFETCH(bool, usbOffered);
    QFETCH(int, index);
    QFETCH(QString, built);

    Tessarin w(nullptr);
    w.setUSBConfigEnable(usbOffered);
    w.setProgramName(program);
    modeCombo(w)->setCurrentIndex(index);

    // Stored values change behind the widget's back; the rebuild shows them.
    {
        SettingsStore store(program);
        store.setValue("LastDeviceID", 9);
        store.setValue("TCPClient/IP", "192.168.0.7");
        store.setValue("TCPClient/Port", 4002);
    }
    // Make sure the rebuild does not just keep what is there.
    w.setConnected(true);
    w.updateWidgetFromSettings();
    QVERIFY(!w.isConnected());

    QStringList expected;
    if (built == "usb")
        expected = usbRow;
    else if (built == "rs485")
        expected = rs485Row("9");
    else
        expected = tcpRow("192.168.0.7", "4002", "9");
    QCOMPARE(describeRow(w), expected);
}

void TestTessarin::deviceIdValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("acceptable");

    QTest::newRow("zero") << "0" << "0" << true;
    QTest::newRow("top") << "65535" << "65535" << true;
    QTest::newRow("one above top") << "65536" << "65536" << false;
    QTest::newRow("six digits") << "123456" << "12345" << true;
    QTest::newRow("letters") << "12ab" << "12" << true;
    QTest::newRow("minus") << "-1" << "1" << true;
    QTest::newRow("empty") << "" << "" << false;
}

void TestTessarin::deviceIdValidator()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, acceptable);

    for (bool tcp : {false, true}) {
        Tessarin w(nullptr);
        w.setUSBConfigEnable(false);
        modeCombo(w)->setCurrentIndex(tcp ? 1 : 0);
        QLineEdit* edit = deviceIdEdit(w);
        QVERIFY(edit);
        edit->clear();
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), shown);
        QCOMPARE(edit->hasAcceptableInput(), acceptable);
    }
}

void TestTessarin::tcpPortValidator_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    QTest::newRow("zero") << "0" << int(QValidator::Acceptable);
    QTest::newRow("top") << "65535" << int(QValidator::Acceptable);
    QTest::newRow("above top") << "65536" << int(QValidator::Intermediate);
    QTest::newRow("six digits") << "100000" << int(QValidator::Invalid);
    QTest::newRow("negative") << "-5" << int(QValidator::Invalid);
    QTest::newRow("letters") << "40a1" << int(QValidator::Invalid);
}

void TestTessarin::tcpPortValidator()
{
    QFETCH(QString, input);
    QFETCH(int, state);

    Tessarin w(nullptr);
    modeCombo(w)->setCurrentIndex(2);
    auto* portEdit = rowWidget<QLineEdit>(w, 3);
    QVERIFY(portEdit->validator());
    int pos = 0;
    QCOMPARE(int(portEdit->validator()->validate(input, pos)), state);
}

void TestTessarin::ipValidator_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");

    QTest::newRow("loopback") << "127.0.0.1" << int(QValidator::Acceptable);
    QTest::newRow("all 255") << "255.255.255.255" << int(QValidator::Acceptable);
    QTest::newRow("zeros") << "0.0.0.0" << int(QValidator::Acceptable);
    QTest::newRow("leading zeros") << "010.001.000.009" << int(QValidator::Acceptable);
    QTest::newRow("octet 256") << "192.168.1.256" << int(QValidator::Invalid);
    QTest::newRow("first octet 300") << "300.1.1.1" << int(QValidator::Invalid);
    QTest::newRow("five parts") << "1.2.3.4.5" << int(QValidator::Invalid);
    QTest::newRow("three parts") << "1.2.3" << int(QValidator::Intermediate);
    QTest::newRow("host name") << "localhost" << int(QValidator::Invalid);
    QTest::newRow("blank inside") << "1.2. 3.4" << int(QValidator::Invalid);
}

void TestTessarin::ipValidator()
{
    QFETCH(QString, input);
    QFETCH(int, state);

    Tessarin w(nullptr);
    modeCombo(w)->setCurrentIndex(2);
    auto* ipEdit = rowWidget<QLineEdit>(w, 1);
    auto* validator = qobject_cast<const QRegularExpressionValidator*>(ipEdit->validator());
    QVERIFY(validator);
    QVERIFY(!(validator->regularExpression().patternOptions() & QRegularExpression::CaseInsensitiveOption));
    int pos = 0;
    QCOMPARE(int(validator->validate(input, pos)), state);
}

void TestTessarin::rebootAndResetOnlyRelayTheRequest()
{
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    QSignalSpy reboot(&w, &Tessarin::onRebootRequested);
    QSignalSpy reset(&w, &Tessarin::onResetToDefaultRequested);
    QSignalSpy disconnected(&w, &Tessarin::onDisconnected);
    w.setConnected(true);

    QTest::mouseClick(buttonWithText(w, QStringLiteral("Reboot")), Qt::LeftButton);
    QCOMPARE(reboot.count(), 1);
    QCOMPARE(reset.count(), 0);
    QTest::mouseClick(buttonWithText(w, QString::fromUtf8("Сброс настроек")), Qt::LeftButton);
    QCOMPARE(reboot.count(), 1);
    QCOMPARE(reset.count(), 1);
    // Neither touches the link.
    QVERIFY(w.isConnected());
    QCOMPARE(disconnected.count(), 0);
}

void TestTessarin::resetFromItsOwnClickRebuildsSafely()
{
    {
        SettingsStore store(program);
        store.setValue("LastDeviceID", 42);
        store.setValue("TCPClient/IP", "10.0.0.5");
        store.setValue("TCPClient/Port", 4010);
    }
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    modeCombo(w)->setCurrentIndex(1);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QCOMPARE(describeRow(w), tcpRow("10.0.0.5", "4010", "42"));

    QPointer<QPushButton> oldReset = buttonWithText(w, QString::fromUtf8("Сброс настроек"));
    QPointer<QLineEdit> oldDeviceId = deviceIdEdit(w);
    bool oldAliveDuringClick = false;
    bool oldHiddenDuringClick = false;
    int handled = 0;

    // What the host does: reset its keys, then have the row rebuilt, all
    // inside the click of the button that is being replaced.
    connect(&w, &Tessarin::onResetToDefaultRequested, &w, [&] {
        ++handled;
        {
            SettingsStore store(program);
            store.setValue("LastDeviceID", 0);
            store.sync();
        }
        w.updateWidgetFromSettings();
        oldAliveDuringClick = !oldReset.isNull();
        oldHiddenDuringClick = oldReset && oldReset->isHidden();
    });

    QTest::mouseClick(oldReset, Qt::LeftButton);
    QCOMPARE(handled, 1);
    QVERIFY(oldAliveDuringClick);
    QVERIFY(oldHiddenDuringClick);
    QCOMPARE(describeRow(w), tcpRow("10.0.0.5", "4010", "0"));
    QVERIFY(buttonWithText(w, QString::fromUtf8("Сброс настроек")) != oldReset.data());
    // Only the new row answers to the name the host may look for.
    QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("DeviceID")), deviceIdEdit(w));

    QTest::qWait(20);
    flushDeletes();
    QVERIFY(oldReset.isNull());
    QVERIFY(oldDeviceId.isNull());

    // The new row works: a second reset from the new button behaves the same.
    QTest::mouseClick(buttonWithText(w, QString::fromUtf8("Сброс настроек")), Qt::LeftButton);
    QCOMPARE(handled, 2);
    QCOMPARE(describeRow(w), tcpRow("10.0.0.5", "4010", "0"));
}

void TestTessarin::hostResetIsSeenThroughCaseInsensitiveKeys()
{
    {
        SettingsStore store(program);
        store.setValue("serial/baudrate", 19200);
        store.setValue("serial/databit", 9);
        store.setValue("serial/parity", 2);
        store.setValue("serial/stopbit", 2);
        store.setValue("LastDeviceID", 42);
    }
    // The host's reset writes its own spellings of the keys.
    HostSettings::writeConnectionReset(program);

    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    QCOMPARE(deviceIdEdit(w)->text(), QStringLiteral("0"));

    // The serial parameter dialog reads the same keys the RS-485 connect reads.
    DialogSerialParam dialog(&w);
    dialog.setProgramName(program);
    QCOMPARE(dialog.findChild<QComboBox*>("comboBox_BaudRate")->currentText(), QStringLiteral("57600"));
    QCOMPARE(dialog.findChild<QComboBox*>("comboBox_Parity")->currentIndex(), 0);
    QCOMPARE(dialog.findChild<QComboBox*>("comboBox_DataBits")->currentText(), QStringLiteral("9"));
    QCOMPARE(dialog.findChild<QComboBox*>("comboBox_StopBits")->currentText(), QStringLiteral("2"));
}

void TestTessarin::settingsButtonOpensDialogWithProgramSettings()
{
    {
        SettingsStore store(program);
        store.setValue("serial/baudrate", 38400);
    }
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);

    QString seenClass;
    QString seenBaud;
    QWidget* seenParent = nullptr;
    ModalAnswerer answerer;
    answerer.setCustomHandler([&](QWidget* modal) {
        auto* dialog = qobject_cast<DialogSerialParam*>(modal);
        if (!dialog)
            return false;
        seenClass = QString::fromLatin1(modal->metaObject()->className());
        seenBaud = dialog->findChild<QComboBox*>("comboBox_BaudRate")->currentText();
        seenParent = dialog->parentWidget();
        dialog->reject();
        return true;
    });

    // Should the dialog not be modal, the answerer never sees it; close it
    // anyway so the test fails instead of hanging.
    QTimer::singleShot(3000, &w, [&w] {
        for (DialogSerialParam* d : w.findChildren<DialogSerialParam*>())
            d->reject();
    });
    QTest::mouseClick(rowWidget<QPushButton>(w, 3), Qt::LeftButton);
    QCOMPARE(seenClass, QStringLiteral("DialogSerialParam"));
    QCOMPARE(seenParent, static_cast<QWidget*>(&w));
    QCOMPARE(seenBaud, QStringLiteral("38400"));
    // The closed dialog is not kept.
    flushDeletes();
    QCOMPARE(w.findChildren<DialogSerialParam*>().size(), 0);
}

QTEST_MAIN(TestTessarin)
#include "tst_tessarin.moc"
