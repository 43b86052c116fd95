#include "connectorusb.h"
#include "ptypair.h"
#include "referenceframes.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QtTest>

#include <atomic>
#include <memory>

class TestConnectorUSB : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void writeSendsBarePayloadAndDumpsIt();
    void emptyWriteDumpsAnEmptyLine();
    void writeOnAClosedPortFailsWithoutDump();
    void deviceAddressChangesNothingOnTheLine();
    void burstsWithinTheQuietGapMakeOneReply();
    void replyReturnsSoonAfterTheLineFallsQuiet();
    void silentDeviceGivesEmptyAfterTheTimeout();
    void replyAlreadyTakenInBeforeReadIsNotMissed();
    void negativeTimeoutDoesNotWaitForever();
    void lateReplyIsDumpedAndNotTakenForTheNextOne_data();
    void lateReplyIsDumpedAndNotTakenForTheNextOne();
    void chatteringDeviceCannotHoldReadForever();

private:
    bool openUsb();

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ConnectorUSB> usb;
    QStringList dump;
};

void TestConnectorUSB::init()
{
    pty.reset(new PtyPair);
    QVERIFY2(pty->isOpen(), qPrintable(pty->errorString()));
    usb.reset(new ConnectorUSB(pty->slavePath()));
    dump.clear();
    usb->setDumpCallback([this](const QString& line) { dump << line; });
}

void TestConnectorUSB::cleanup()
{
    if (pty)
        pty->waitScript();
    usb.reset();
    pty.reset();
}

bool TestConnectorUSB::openUsb()
{
    QSerialPort* port = usb->GetSerialPort();
    port->setPortName(pty->slavePath());
    port->setBaudRate(115200);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    return port->open(QIODevice::ReadWrite);
}

void TestConnectorUSB::writeSendsBarePayloadAndDumpsIt()
{
    QVERIFY(openUsb());
    QCOMPARE(usb->write(hex("78 01 02")), 3);
    QCOMPARE(pty->read(3, 2000).toHex(' '), QByteArray("78 01 02"));
    QCOMPARE(dump, QStringList { QStringLiteral("TX len=3 hex=78 01 02") });
    QVERIFY(pty->readUntilQuiet(100, 300).isEmpty());
}

void TestConnectorUSB::emptyWriteDumpsAnEmptyLine()
{
    QVERIFY(openUsb());
    QCOMPARE(usb->write(QByteArray()), 0);
    QCOMPARE(dump, QStringList { QStringLiteral("TX len=0 hex=") });
    QVERIFY(pty->readUntilQuiet(100, 300).isEmpty());
}

void TestConnectorUSB::writeOnAClosedPortFailsWithoutDump()
{
    QCOMPARE(usb->write(hex("78")), -1);
    QVERIFY(dump.isEmpty());
    QElapsedTimer clock;
    clock.start();
    QVERIFY(usb->read().isEmpty());
    QVERIFY(clock.elapsed() < 1000);
}

void TestConnectorUSB::deviceAddressChangesNothingOnTheLine()
{
    QVERIFY(openUsb());
    usb->setDevID(5);
    QCOMPARE(usb->write(hex("64")), 1);
    usb->setDevID(200);
    QCOMPARE(usb->write(hex("64")), 1);
    QCOMPARE(pty->read(2, 2000), hex("64 64"));
    QVERIFY(pty->readUntilQuiet(100, 300).isEmpty());
}

void TestConnectorUSB::burstsWithinTheQuietGapMakeOneReply()
{
    QVERIFY(openUsb());
    usb->setTimeout(2000);
    pty->startScript([](PtyPair& board) {
        board.read(1, 2000);
        board.writeChunks({ hex("78 01"), hex("02 03"), hex("04") }, 10);
    });
    QCOMPARE(usb->write(hex("78")), 1);
    const QByteArray reply = usb->read();
    QCOMPARE(reply.toHex(' '), QByteArray("78 01 02 03 04"));
    QCOMPARE(dump, (QStringList { QStringLiteral("TX len=1 hex=78"), QStringLiteral("RX len=5 hex=78 01 02 03 04") }));
}

void TestConnectorUSB::replyReturnsSoonAfterTheLineFallsQuiet()
{
    QVERIFY(openUsb());
    usb->setTimeout(5000);
    pty->startScript([](PtyPair& board) {
        board.read(1, 2000);
        board.write(hex("c9"));
    });
    QCOMPARE(usb->write(hex("64")), 1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(usb->read(), hex("c9"));
    // The 50 ms quiet gap, not the 5000 ms time-out.
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
}

void TestConnectorUSB::silentDeviceGivesEmptyAfterTheTimeout()
{
    QVERIFY(openUsb());
    usb->setTimeout(400);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(usb->read().isEmpty());
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 350 && elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY(dump.isEmpty());
}

// Anything that runs the event loop between write and read (a progress
// dialog, say) lets the port take the reply in before read() asks for it.
void TestConnectorUSB::replyAlreadyTakenInBeforeReadIsNotMissed()
{
    QVERIFY(openUsb());
    usb->setTimeout(300);
    pty->startScript([](PtyPair& board) {
        board.read(1, 2000);
        board.write(hex("c9 00"));
    });
    QCOMPARE(usb->write(hex("64")), 1);
    pty->waitScript();
    QTest::qWait(200);
    QCOMPARE(usb->read().toHex(' '), QByteArray("c9 00"));
}

void TestConnectorUSB::negativeTimeoutDoesNotWaitForever()
{
    QVERIFY(openUsb());
    usb->setTimeout(-1);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(usb->read().isEmpty());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
}

void TestConnectorUSB::lateReplyIsDumpedAndNotTakenForTheNextOne_data()
{
    QTest::addColumn<bool>("eventLoopRuns");
    // With an event loop the port takes the late bytes into its own buffer;
    // without one they wait in the system's.
    QTest::newRow("event loop between requests") << true;
    QTest::newRow("no event loop between requests") << false;
}

void TestConnectorUSB::lateReplyIsDumpedAndNotTakenForTheNextOne()
{
    QFETCH(bool, eventLoopRuns);
    QVERIFY(openUsb());
    usb->setTimeout(200);
    pty->startScript([](PtyPair& board) {
        board.read(1, 2000);
        PtyPair::pause(500); // too late for the first read
        board.write(hex("c9 01"));
        board.read(1, 3000);
        board.write(hex("c9 02"));
    });
    QCOMPARE(usb->write(hex("70")), 1);
    QVERIFY(usb->read().isEmpty());
    // The late reply is now waiting.
    if (eventLoopRuns)
        QTest::qWait(800);
    else
        PtyPair::pause(800);

    dump.clear();
    QCOMPARE(usb->write(hex("71")), 1);
    usb->setTimeout(2000);
    QCOMPARE(usb->read().toHex(' '), QByteArray("c9 02"));
    QCOMPARE(usb->extraReplies(), 1);
    QCOMPARE(dump, (QStringList { QStringLiteral("RX len=2 hex=c9 01"), QStringLiteral("TX len=1 hex=71"),
                                  QStringLiteral("RX len=2 hex=c9 02") }));
}

void TestConnectorUSB::chatteringDeviceCannotHoldReadForever()
{
    QVERIFY(openUsb());
    usb->setTimeout(300);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    pty->startScript([stop](PtyPair& board) {
        QElapsedTimer clock;
        clock.start();
        while (!*stop && clock.elapsed() < 8000) {
            board.write(hex("55"));
            PtyPair::pause(10);
        }
    });
    QElapsedTimer clock;
    clock.start();
    const QByteArray got = usb->read();
    const qint64 elapsed = clock.elapsed();
    *stop = true;
    QVERIFY(!got.isEmpty());
    QVERIFY(got.count('\x55') == got.size());
    // One time-out for the first byte and one more for the tail at most.
    QVERIFY2(elapsed < 2500, qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestConnectorUSB)
#include "tst_connectorusb.moc"
