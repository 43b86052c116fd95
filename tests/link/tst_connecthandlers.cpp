#include "connector.h"
#include "connectorip.h"
#include "connectorserial.h"
#include "connectorusb.h"
#include "framecodec.h"
#include "hostsettings.h"
#include "modalanswerer.h"
#include "ptypair.h"
#include "settingsstore.h"
#include "tessarin.h"
#include "testsettings.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWeakPointer>
#include <QtTest>

#include <sys/socket.h>
#include <termios.h>

namespace {

const QString program = QStringLiteral("KELDORA_NODE");

// ------------------------------------------------------------ log capture

QStringList infoLines;
QtMessageHandler previousHandler = nullptr;

void captureInfo(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtInfoMsg)
        infoLines << message;
    if (previousHandler)
        previousHandler(type, context, message);
}

QStringList rs485Lines()
{
    QStringList out;
    for (const QString& line : infoLines)
        if (line.startsWith(QLatin1String("[RS485]")))
            out << line;
    return out;
}

// ------------------------------------------------------------ widget access

QHBoxLayout* row(Tessarin& w)
{
    return qobject_cast<QHBoxLayout*>(w.layout()->itemAt(3)->layout());
}

template <class T>
T* rowWidget(Tessarin& w, int index)
{
    return qobject_cast<T*>(row(w)->itemAt(index)->widget());
}

QComboBox* modeCombo(Tessarin& w)
{
    return qobject_cast<QComboBox*>(w.layout()->itemAt(2)->widget());
}

QPushButton* connectButton(Tessarin& w)
{
    for (int i = 0; i < row(w)->count(); ++i) {
        auto* b = qobject_cast<QPushButton*>(row(w)->itemAt(i)->widget());
        if (b && (b->text() == QLatin1String("Connect") || b->text() == QLatin1String("Disconnect")))
            return b;
    }
    return nullptr;
}

QLineEdit* deviceIdEdit(Tessarin& w)
{
    return w.findChild<QLineEdit*>(QStringLiteral("DeviceID"));
}

// The port combo is not editable and a pty is not listed by the system, so
// the test puts the pty's path in as the current item.
void choosePort(Tessarin& w, const QString& path)
{
    auto* ports = rowWidget<QComboBox>(w, 1);
    ports->addItem(path);
    ports->setCurrentIndex(ports->count() - 1);
    QCOMPARE(ports->currentText(), path);
}

// What the system says when `path` cannot be opened, as the box adds it.
QString reasonLine(const QString& path)
{
    QSerialPort port(path);
    if (port.open(QIODevice::ReadWrite))
        return QString();
    return QStringLiteral("\nПричина: ") + port.errorString();
}

void showMode(Tessarin& w, const char* mode)
{
    const int index = modeCombo(w)->findText(QLatin1String(mode));
    QVERIFY(index >= 0);
    modeCombo(w)->setCurrentIndex(index);
}

// The host's calling order, then the mode and the fields of one attempt.
void prepareTcp(Tessarin& w, quint16 port)
{
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    showMode(w, "RS485 TCP");
    rowWidget<QLineEdit>(w, 1)->setText(QStringLiteral("127.0.0.1"));
    rowWidget<QLineEdit>(w, 3)->setText(QString::number(port));
}

void prepareRs485(Tessarin& w, const QString& portPath)
{
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    choosePort(w, portPath);
}

// ------------------------------------------------------------ host double

// Plays the host: records what the widget hands over and when, and can
// confirm, refuse or keep a copy of the transport.
struct Host
{
    QList<QString> events;
    QSharedPointer<Connector>* handedRef = nullptr; // the widget's own member
    QWeakPointer<Connector> handed;
    QSharedPointer<Connector> kept;
    bool keep = false;
    bool confirm = false;
    bool overrideCursorAtConnected = true;
    bool flagInsideConnected = true;
    int boxesBeforeDisconnected = -1;
    ModalAnswerer* answerer = nullptr;

    void attach(Tessarin& w, ModalAnswerer& a)
    {
        answerer = &a;
        QObject::connect(&w, &Tessarin::onConnected, &w, [this, &w](QSharedPointer<Connector>& c) {
            events << QStringLiteral("connected");
            handedRef = &c;
            handed = c;
            overrideCursorAtConnected = QApplication::overrideCursor() != nullptr;
            flagInsideConnected = w.isConnected();
            if (keep)
                kept = c;
            if (confirm)
                w.setConnected(true);
        });
        QObject::connect(&w, &Tessarin::onDisconnected, &w, [this] {
            events << QStringLiteral("disconnected");
            boxesBeforeDisconnected = answerer->seen.size();
        });
    }
};

// Records the override cursor at the moment a message box appears.
class BoxCursorWatch : public QObject
{
public:
    BoxCursorWatch() { qApp->installEventFilter(this); }
    ~BoxCursorWatch() override { qApp->removeEventFilter(this); }
    QList<int> shapes; // -1 when no override cursor was set

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched)) {
            const QCursor* c = QApplication::overrideCursor();
            shapes << (c ? int(c->shape()) : -1);
        }
        return false;
    }
};

quint16 closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

termios lineSettings(const PtyPair& pty)
{
    // On a pty the master answers with the slave side's settings.
    termios tio {};
    ::tcgetattr(pty.masterFd(), &tio);
    return tio;
}

QByteArray readFromPeer(QTcpSocket* socket, int count, int timeoutMs)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    while (got.size() < count && timer.elapsed() < timeoutMs) {
        if (socket->bytesAvailable() == 0)
            socket->waitForReadyRead(50);
        got += socket->readAll();
    }
    return got;
}

struct Stored
{
    QVariant baud, dataBits, parity, stopBits, deviceId;
};

void storeSerial(const Stored& s)
{
    SettingsStore store(program);
    if (s.baud.isValid())
        store.setValue("serial/baudrate", s.baud);
    if (s.dataBits.isValid())
        store.setValue("serial/databit", s.dataBits);
    if (s.parity.isValid())
        store.setValue("serial/parity", s.parity);
    if (s.stopBits.isValid())
        store.setValue("serial/stopbit", s.stopBits);
    if (s.deviceId.isValid())
        store.setValue("LastDeviceID", s.deviceId);
}

} // namespace

Q_DECLARE_METATYPE(Stored)

class TestConnectHandlers : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tcpHandsOverAnOpenTransport();
    void tcpConfirmedThenDisconnectedByTheButton();
    void tcpClosedPortReportsAndReleasesTheHeldTransport();
    void tcpEmptyPortEditIsStoredAsZero();
    void tcpDeviceAddress_data();
    void tcpDeviceAddress();
    void tcpNewConnectReplacesHeldTransport();
    void widgetDestructionLeavesHostCopyAlive();
    void peerGoneReleasesTheLink_data();
    void peerGoneReleasesTheLink();

    void rs485OpensWithStoredLine_data();
    void rs485OpensWithStoredLine();
    void rs485DeviceAddressLowByteReachesFrames();
    void rs485EmptyDeviceEditUsesStoredAddress();
    void rs485HostResetSeenAtNextConnect();
    void rs485PortThatCannotOpenShowsSummary();
    void rs485EmptyPortListFails();
    void rs485PortAlreadyOpenElsewhere_data();
    void rs485PortAlreadyOpenElsewhere();
    void usbOpensAtFixedLineIgnoringSettings();
    void usbFailureReportsAfterCursorRestored();
};

void TestConnectHandlers::initTestCase()
{
    TestSettings::isolate();
    previousHandler = qInstallMessageHandler(captureInfo);
}

void TestConnectHandlers::init()
{
    TestSettings::clear();
    infoLines.clear();
}

void TestConnectHandlers::cleanup()
{
    // Every attempt, good or bad, gives the cursor back.
    QCOMPARE(QApplication::overrideCursor(), static_cast<QCursor*>(nullptr));
}

// ------------------------------------------------------------------ TCP

void TestConnectHandlers::tcpHandsOverAnOpenTransport()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());
    deviceIdEdit(w)->setText("5");

    ModalAnswerer answerer;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);

    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(answerer.seen.isEmpty());
    QVERIFY(!host.overrideCursorAtConnected);
    // Handed over: the flag stays false until the host says otherwise.
    QVERIFY(!host.flagInsideConnected);
    QVERIFY(!w.isConnected());
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));

    auto* ip = dynamic_cast<ConnectorIP*>(host.handedRef->data());
    QVERIFY(ip);
    QVERIFY(ip->isConnected());
    QCOMPARE(ip->getTimeout(), 3000);
    QVERIFY(server.waitForNewConnection(2000));

    SettingsStore store(program);
    QCOMPARE(store.value("TCPClient/IP").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(store.value("TCPClient/Port").toInt(), int(server.serverPort()));
    QCOMPARE(store.value("LastDeviceID").toInt(), 5);
}

void TestConnectHandlers::tcpConfirmedThenDisconnectedByTheButton()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());

    ModalAnswerer answerer;
    Host host;
    host.confirm = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QVERIFY(w.isConnected());
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Disconnect"));
    QVERIFY(!host.handed.isNull());

    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected", "disconnected"}));
    QVERIFY(!w.isConnected());
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));
    // The widget let go and nobody else held it: the transport is gone.
    QVERIFY(host.handedRef->isNull());
    QVERIFY(host.handed.isNull());
}

void TestConnectHandlers::tcpClosedPortReportsAndReleasesTheHeldTransport()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    const quint16 refused = closedPort();
    QVERIFY(refused != 0);

    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());

    ModalAnswerer answerer;
    BoxCursorWatch cursors;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(!host.handed.isNull());

    // Same row, now a port where nobody listens.
    rowWidget<QLineEdit>(w, 3)->setText(QString::number(refused));
    deviceIdEdit(w)->setText("12");
    QTest::mouseClick(connectButton(w), Qt::LeftButton);

    QCOMPARE(host.events, QStringList({"connected", "disconnected"}));
    QCOMPARE(answerer.seen.size(), 1);
    // onDisconnected comes after the box has been closed.
    QCOMPARE(host.boxesBeforeDisconnected, 1);
    const ModalAnswerer::Seen box = answerer.seen.first();
    QCOMPARE(box.title, QStringLiteral("Connection error"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    const QRegularExpression pattern(QStringLiteral("^Не удалось подключиться к 127\\.0\\.0\\.1:%1 \\((.+)\\)\\.$").arg(refused));
    const QRegularExpressionMatch m = pattern.match(box.text);
    QVERIFY2(m.hasMatch(), qPrintable(box.text));
    // The socket's own words, not the stand-in for an empty error.
    QVERIFY2(m.captured(1) != QLatin1String("TCP"), qPrintable(box.text));
    QCOMPARE(cursors.shapes, QList<int>({-1}));

    QVERIFY(host.handedRef->isNull());
    QVERIFY(host.handed.isNull());
    QVERIFY(!w.isConnected());
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));

    SettingsStore store(program);
    QCOMPARE(store.value("TCPClient/IP").toString(), QStringLiteral("127.0.0.1"));
    QCOMPARE(store.value("TCPClient/Port").toInt(), int(refused));
    QCOMPARE(store.value("LastDeviceID").toInt(), 12);
}

void TestConnectHandlers::tcpEmptyPortEditIsStoredAsZero()
{
    {
        SettingsStore store(program);
        store.setValue("TCPClient/Port", 4001);
    }
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    showMode(w, "RS485 TCP");
    rowWidget<QLineEdit>(w, 1)->setText("127.0.0.1");
    rowWidget<QLineEdit>(w, 3)->clear();

    ModalAnswerer answerer;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);

    QCOMPARE(host.events, QStringList({"disconnected"}));
    QCOMPARE(answerer.seen.size(), 1);
    // The port edit's text goes into the message as it was: empty.
    QVERIFY2(answerer.seen.first().text.startsWith(QStringLiteral("Не удалось подключиться к 127.0.0.1: (")),
             qPrintable(answerer.seen.first().text));
    SettingsStore store(program);
    QVERIFY(store.contains("TCPClient/Port"));
    QCOMPARE(store.value("TCPClient/Port").toInt(), 0);
}

void TestConnectHandlers::tcpDeviceAddress_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("expectedStored");
    QTest::addColumn<int>("expectedFrameAddress");

    QTest::newRow("300 reaches frames as 44") << QVariant(7) << "300" << 300 << 44;
    QTest::newRow("255") << QVariant() << "255" << 255 << 255;
    QTest::newRow("256 is address 0") << QVariant() << "256" << 256 << 0;
    QTest::newRow("65535") << QVariant() << "65535" << 65535 << 255;
    QTest::newRow("empty edit uses stored") << QVariant(77) << "" << 77 << 77;
    QTest::newRow("empty edit, nothing stored") << QVariant() << "" << 0 << 0;
    QTest::newRow("above 65535 uses stored") << QVariant(77) << "70000" << 77 << 77;
    QTest::newRow("not a number uses stored") << QVariant(3) << "x" << 3 << 3;
}

void TestConnectHandlers::tcpDeviceAddress()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, typed);
    QFETCH(int, expectedStored);
    QFETCH(int, expectedFrameAddress);

    if (stored.isValid()) {
        SettingsStore store(program);
        store.setValue("LastDeviceID", stored);
    }
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());
    deviceIdEdit(w)->setText(typed); // bypasses the validator, as a program could

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QCOMPARE(SettingsStore(program).value("LastDeviceID").toInt(), expectedStored);

    QVERIFY(server.waitForNewConnection(2000));
    QTcpSocket* peer = server.nextPendingConnection();
    const QByteArray payload("\x78", 1);
    QCOMPARE(host.kept->write(payload), FrameCodec::overhead + 1);
    const QByteArray frame = readFromPeer(peer, FrameCodec::overhead + 1, 3000);
    QCOMPARE(frame.size(), FrameCodec::overhead + 1);
    QCOMPARE(quint8(frame.at(4)), quint8(expectedFrameAddress));
    QCOMPARE(quint8(frame.at(5)), quint8(0));
    QCOMPARE(frame, FrameCodec::pack(uint32_t(expectedFrameAddress), payload));
}

void TestConnectHandlers::tcpNewConnectReplacesHeldTransport()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());

    ModalAnswerer answerer;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    const QWeakPointer<Connector> first = host.handed;
    QVERIFY(!first.isNull());

    // The flag is still false, so the next click is a new attempt.
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected", "connected"}));
    QVERIFY(first.isNull());
    QVERIFY(!host.handed.isNull());
    QVERIFY(!host.handedRef->isNull());

    // The host gives up on the board: back to idle, nothing emitted.
    w.disconnectCurrentConnector();
    QVERIFY(host.handed.isNull());
    QCOMPARE(host.events.size(), 2);
}

void TestConnectHandlers::widgetDestructionLeavesHostCopyAlive()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    QWeakPointer<Connector> orphan;
    {
        Tessarin w(nullptr);
        prepareTcp(w, server.serverPort());
        host.attach(w, answerer);
        QTest::mouseClick(connectButton(w), Qt::LeftButton);
        QCOMPARE(host.events, QStringList({"connected"}));

        // A second widget whose transport nobody else holds.
        Tessarin lone(nullptr);
        prepareTcp(lone, server.serverPort());
        QObject::connect(&lone, &Tessarin::onConnected, &lone,
                         [&orphan](QSharedPointer<Connector>& c) { orphan = c; });
        QTest::mouseClick(connectButton(lone), Qt::LeftButton);
        QVERIFY(!orphan.isNull());
    }
    QVERIFY(orphan.isNull());
    QVERIFY(!host.kept.isNull());
    QVERIFY(dynamic_cast<ConnectorIP*>(host.kept.data())->isConnected());
    const QWeakPointer<Connector> kept = host.kept;
    host.kept.reset();
    QVERIFY(kept.isNull());
}

void TestConnectHandlers::peerGoneReleasesTheLink_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("reset");
    QTest::addColumn<QStringList>("events");
    QTest::newRow("held, peer closes") << true << false << QStringList({"connected", "disconnected", "lost"});
    QTest::newRow("held, peer resets") << true << true << QStringList({"connected", "disconnected", "lost"});
    // The host never took it up: let go without a word.
    QTest::newRow("not held, peer closes") << false << false << QStringList({"connected"});
}

void TestConnectHandlers::peerGoneReleasesTheLink()
{
    QFETCH(bool, held);
    QFETCH(bool, reset);
    QFETCH(QStringList, events);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    Tessarin w(nullptr);
    prepareTcp(w, server.serverPort());
    ModalAnswerer answerer;
    Host host;
    host.confirm = held;
    host.attach(w, answerer);
    QObject::connect(&w, &Tessarin::onLinkLost, &w, [&host] { host.events << QStringLiteral("lost"); });
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QVERIFY(server.waitForNewConnection(2000));
    QTcpSocket* peer = server.nextPendingConnection();

    // Nothing is read or written: the idle link alone must notice. A zero
    // linger time makes the close a reset (RST), not a FIN.
    const linger now { 1, 0 };
    if (reset)
        QCOMPARE(::setsockopt(int(peer->socketDescriptor()), SOL_SOCKET, SO_LINGER, &now, sizeof now), 0);
    peer->close();
    QTRY_VERIFY(host.handed.isNull());
    QCOMPARE(host.events, events);
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));
    QVERIFY(answerer.seen.isEmpty());
}

// ------------------------------------------------------------------ RS-485 COM

void TestConnectHandlers::rs485OpensWithStoredLine_data()
{
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QString>("summaryTail"); // after "Port=<pty>, "
    // A Linux pty always keeps 8 data bits and no parity check (its driver
    // clears CSIZE and PARENB on every change), so what reaches the line is
    // seen in the speed, the odd-parity flag and the stop bits.
    QTest::addColumn<int>("speed");
    QTest::addColumn<bool>("oddParity");
    QTest::addColumn<bool>("twoStopBits");

    const QVariant none;
    QTest::newRow("nothing stored") << Stored{none, none, none, none, none}
                                    << "Baud=9600, DataBits=8, Parity=None, StopBits=1, DeviceId=0" << int(B9600)
                                    << false << false;
    QTest::newRow("19200 even two stop") << Stored{19200, 8, 1, 2, 3}
                                         << "Baud=19200, DataBits=8, Parity=Even, StopBits=2, DeviceId=3"
                                         << int(B19200) << false << true;
    QTest::newRow("odd parity") << Stored{57600, 8, 2, 1, 1}
                                << "Baud=57600, DataBits=8, Parity=Odd, StopBits=1, DeviceId=1" << int(B57600)
                                << true << false;
    QTest::newRow("parity 7 is none") << Stored{9600, 8, 7, 1, none}
                                      << "Baud=9600, DataBits=8, Parity=None, StopBits=1, DeviceId=0" << int(B9600)
                                      << false << false;
    QTest::newRow("seven data bits") << Stored{115200, 7, 0, 1, none}
                                     << "Baud=115200, DataBits=7, Parity=None, StopBits=1, DeviceId=0"
                                     << int(B115200) << false << false;
    QTest::newRow("nine data bits") << Stored{9600, 9, 2, 2, none}
                                    << "Baud=9600, DataBits=9, Parity=Odd, StopBits=2, DeviceId=0" << int(B9600)
                                    << true << true;
    // 3 is passed on as is (one and a half, which this platform sets as one);
    // the summary shows 1.
    QTest::newRow("stop bits 3") << Stored{9600, 8, 2, 3, none}
                                 << "Baud=9600, DataBits=8, Parity=Odd, StopBits=1, DeviceId=0" << int(B9600)
                                 << true << false;
}

void TestConnectHandlers::rs485OpensWithStoredLine()
{
    QFETCH(Stored, stored);
    QFETCH(QString, summaryTail);
    QFETCH(int, speed);
    QFETCH(bool, oddParity);
    QFETCH(bool, twoStopBits);

    storeSerial(stored);
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));

    Tessarin w(nullptr);
    prepareRs485(w, pty.slavePath());

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);

    QCOMPARE(rs485Lines(), QStringList({QStringLiteral("[RS485] Port=%1, %2").arg(pty.slavePath(), summaryTail)}));
    QCOMPARE(answerer.texts(), QStringList());
    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(!host.overrideCursorAtConnected);
    QVERIFY(!w.isConnected());
    auto* serial = dynamic_cast<ConnectorSerial*>(host.kept.data());
    QVERIFY(serial);
    QVERIFY(!dynamic_cast<ConnectorIP*>(host.kept.data()));
    QCOMPARE(serial->getTimeout(), 3000);

    const termios tio = lineSettings(pty);
    QCOMPARE(int(cfgetospeed(&tio)), speed);
    QCOMPARE(int(cfgetispeed(&tio)), speed);
    QCOMPARE(bool(tio.c_cflag & PARODD), oddParity);
    QCOMPARE(bool(tio.c_cflag & CSTOPB), twoStopBits);
    QVERIFY(!(tio.c_cflag & CRTSCTS));
    QVERIFY(!(tio.c_iflag & (IXON | IXOFF)));
}

void TestConnectHandlers::rs485DeviceAddressLowByteReachesFrames()
{
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Tessarin w(nullptr);
    prepareRs485(w, pty.slavePath());
    deviceIdEdit(w)->setText("300");

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(rs485Lines().value(0).endsWith(QLatin1String(", DeviceId=300")));
    QCOMPARE(SettingsStore(program).value("LastDeviceID").toInt(), 300);

    const QByteArray payload("\x64", 1);
    QCOMPARE(host.kept->write(payload), FrameCodec::overhead + 1);
    const QByteArray frame = pty.read(FrameCodec::overhead + 1, 3000);
    QCOMPARE(frame.size(), FrameCodec::overhead + 1);
    QCOMPARE(quint8(frame.at(4)), quint8(44));
    QCOMPARE(quint8(frame.at(5)), quint8(0));
    QCOMPARE(frame, FrameCodec::pack(44, payload));

    // A reply for address 44 is taken; the widget's device address is the
    // transport's frame address in both directions.
    pty.write(FrameCodec::pack(44, QByteArray("\x64\x01", 2)));
    QCOMPARE(host.kept->read(), QByteArray("\x64\x01", 2));
}

void TestConnectHandlers::rs485EmptyDeviceEditUsesStoredAddress()
{
    storeSerial({QVariant(), QVariant(), QVariant(), QVariant(), 513});
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    QCOMPARE(deviceIdEdit(w)->text(), QStringLiteral("513"));
    choosePort(w, pty.slavePath());
    deviceIdEdit(w)->clear();

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(rs485Lines().value(0).endsWith(QLatin1String(", DeviceId=513")));
    QCOMPARE(SettingsStore(program).value("LastDeviceID").toInt(), 513);

    QVERIFY(host.kept->write(QByteArray("\x78", 1)) > 0);
    const QByteArray frame = pty.read(FrameCodec::overhead + 1, 3000);
    QCOMPARE(frame.size(), FrameCodec::overhead + 1);
    QCOMPARE(quint8(frame.at(4)), quint8(513 & 0xFF));
}

void TestConnectHandlers::rs485HostResetSeenAtNextConnect()
{
    storeSerial({19200, 7, 2, 2, 42}); // odd parity before the reset
    // The host's reset, in its own spellings of the keys.
    HostSettings::writeConnectionReset(program);
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Tessarin w(nullptr);
    prepareRs485(w, pty.slavePath());

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    // Baud, parity and address are the reset's; data and stop bits are kept.
    QCOMPARE(rs485Lines(),
             QStringList({QStringLiteral("[RS485] Port=%1, Baud=57600, DataBits=7, Parity=None, StopBits=2, DeviceId=0")
                              .arg(pty.slavePath())}));
    const termios tio = lineSettings(pty);
    QCOMPARE(int(cfgetospeed(&tio)), int(B57600));
    QVERIFY(!(tio.c_cflag & PARODD));
    QVERIFY(tio.c_cflag & CSTOPB);
}

void TestConnectHandlers::rs485PortThatCannotOpenShowsSummary()
{
    storeSerial({38400, 8, 1, 2, QVariant()});
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    const QString missing = QStringLiteral("/dev/quorvel-no-such-port");
    choosePort(w, missing);
    deviceIdEdit(w)->setText("9");

    ModalAnswerer answerer;
    BoxCursorWatch cursors;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);

    const QString summary = QStringLiteral("Port=%1, Baud=38400, DataBits=8, Parity=Even, StopBits=2, DeviceId=9").arg(missing);
    QCOMPARE(answerer.texts(),
             QStringList({QStringLiteral("Не удалось открыть порт %1 (RS485 COM).\nПараметры: %2").arg(missing, summary)
                          + reasonLine(missing)}));
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Connection error"));
    QCOMPARE(answerer.seen.first().icon, QMessageBox::Warning);
    // This box comes while the attempt is still on: wait cursor shown.
    QCOMPARE(cursors.shapes, QList<int>({int(Qt::WaitCursor)}));
    QCOMPARE(host.events, QStringList({"disconnected"}));
    QCOMPARE(host.boxesBeforeDisconnected, 1);
    QCOMPARE(rs485Lines(), QStringList({"[RS485] " + summary}));
    QVERIFY(!w.isConnected());
    QCOMPARE(connectButton(w)->text(), QStringLiteral("Connect"));
    // The address typed was stored before the attempt and stays stored.
    QCOMPARE(SettingsStore(program).value("LastDeviceID").toInt(), 9);
}

void TestConnectHandlers::rs485EmptyPortListFails()
{
    Tessarin w(nullptr);
    w.setUSBConfigEnable(false);
    w.setProgramName(program);
    rowWidget<QComboBox>(w, 1)->clear();

    ModalAnswerer answerer;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(answerer.texts(),
             QStringList({QStringLiteral("Не удалось открыть порт  (RS485 COM).\nПараметры: Port=, Baud=9600, "
                                         "DataBits=8, Parity=None, StopBits=1, DeviceId=0")
                          + reasonLine(QString())}));
    QCOMPARE(host.events, QStringList({"disconnected"}));
}

void TestConnectHandlers::rs485PortAlreadyOpenElsewhere_data()
{
    QTest::addColumn<bool>("secondThroughLink");
    QTest::newRow("same name") << false;
    // A udev-style symlink is the same port, not a second one.
    QTest::newRow("through a symlink") << true;
}

void TestConnectHandlers::rs485PortAlreadyOpenElsewhere()
{
    QFETCH(bool, secondThroughLink);
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString link = folder.filePath(QStringLiteral("quorvel-rs485"));
    QVERIFY(QFile::link(pty.slavePath(), link));
    const QString secondName = secondThroughLink ? link : pty.slavePath();
    Tessarin w(nullptr);
    prepareRs485(w, pty.slavePath());

    ModalAnswerer answerer;
    Host host;
    host.keep = true; // the host's copy keeps the port open
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QSharedPointer<Connector>* widgetsOwn = host.handedRef;
    QVERIFY(!widgetsOwn->isNull());

    choosePort(w, secondName);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected", "disconnected"}));
    QCOMPARE(answerer.seen.size(), 1);
    QVERIFY2(answerer.seen.first().text.startsWith(
                 QStringLiteral("Не удалось открыть порт %1 (RS485 COM).\nПараметры: Port=%1, ").arg(secondName)),
             qPrintable(answerer.seen.first().text));
    // Held by another program, not refused to this user: no word of dialout.
    QVERIFY2(answerer.seen.first().text.endsWith(
                 QStringLiteral("\nПорт занят другой программой (например, ModemManager): закройте её и подключитесь снова.")),
             qPrintable(answerer.seen.first().text));
    QVERIFY(widgetsOwn->isNull());
    // The first transport is the host's business and still works.
    QVERIFY(host.kept->write(QByteArray("\x78", 1)) > 0);
    QCOMPARE(pty.read(FrameCodec::overhead + 1, 3000).size(), FrameCodec::overhead + 1);
}

// ------------------------------------------------------------------ USB COM

void TestConnectHandlers::usbOpensAtFixedLineIgnoringSettings()
{
    storeSerial({1200, 7, 2, 2, 99}); // odd, two stop bits: all ignored
    PtyPair pty;
    QVERIFY2(pty.isOpen(), qPrintable(pty.errorString()));
    Tessarin w(nullptr);
    w.setProgramName(program);
    QCOMPARE(modeCombo(w)->currentText(), QStringLiteral("USB COM"));
    QVERIFY(!deviceIdEdit(w));
    choosePort(w, pty.slavePath());

    ModalAnswerer answerer;
    Host host;
    host.keep = true;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(host.events, QStringList({"connected"}));
    QVERIFY(answerer.seen.isEmpty());
    QVERIFY(rs485Lines().isEmpty());
    auto* usb = dynamic_cast<ConnectorUSB*>(host.kept.data());
    QVERIFY(usb);
    QVERIFY(!dynamic_cast<ConnectorSerial*>(host.kept.data()));
    QVERIFY(usb->GetSerialPort()->isOpen());
    QSerialPort sameName;
    sameName.setPortName(pty.slavePath());
    QCOMPARE(usb->GetSerialPort()->portName(), sameName.portName());

    const termios tio = lineSettings(pty);
    QCOMPARE(int(cfgetospeed(&tio)), int(B115200));
    QVERIFY(!(tio.c_cflag & PARODD));
    QVERIFY(!(tio.c_cflag & CSTOPB));
    QVERIFY(!(tio.c_cflag & CRTSCTS));

    // Bare payloads, no frame.
    QCOMPARE(usb->write(QByteArray("\x78", 1)), 1);
    QCOMPARE(pty.read(1, 2000), QByteArray("\x78", 1));
    // Nothing was read from or written to the settings.
    QCOMPARE(SettingsStore(program).value("LastDeviceID").toInt(), 99);
}

void TestConnectHandlers::usbFailureReportsAfterCursorRestored()
{
    Tessarin w(nullptr);
    w.setProgramName(program);
    const QString missing = QStringLiteral("/dev/quorvel-no-such-usb");
    choosePort(w, missing);

    ModalAnswerer answerer;
    BoxCursorWatch cursors;
    Host host;
    host.attach(w, answerer);
    QTest::mouseClick(connectButton(w), Qt::LeftButton);
    QCOMPARE(answerer.texts(),
             QStringList({QStringLiteral("Не удалось открыть порт %1 (USB COM).").arg(missing) + reasonLine(missing)}));
    QCOMPARE(answerer.seen.first().title, QStringLiteral("Connection error"));
    QCOMPARE(cursors.shapes, QList<int>({-1}));
    QCOMPARE(host.events, QStringList({"disconnected"}));
    QCOMPARE(host.boxesBeforeDisconnected, 1);
    QVERIFY(!SettingsStore(program).contains("LastDeviceID"));
}

QTEST_MAIN(TestConnectHandlers)
#include "tst_connecthandlers.moc"
