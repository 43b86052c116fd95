#include "connector.h"
#include "connectorip.h"
#include "connectorserial.h"
#include "connectorusb.h"

#include <QSharedPointer>
#include <QStringList>
#include <QtTest>

#include <memory>

namespace {

// The smallest concrete transport: lets the test reach the protected dump.
class PlainConnector : public Connector
{
public:
    void setDevID(unsigned char) override {}
    int write(const QByteArray& data) override { return data.size(); }
    QByteArray read() override { return QByteArray(); }
    void dump(const QString& line) const { emitDump(line); }
};

// Counts its own destruction, so a test can tell the derived part was destroyed
// through a base pointer.
class CountedUSB : public ConnectorUSB
{
public:
    CountedUSB(int* destroyed) : ConnectorUSB(QStringLiteral("unused")), destroyed(destroyed) {}
    ~CountedUSB() override { ++*destroyed; }

private:
    int* destroyed;
};

} // namespace

class TestConnector : public QObject
{
    Q_OBJECT

private slots:
    void defaultTimeoutIs3000();
    void timeoutIsStoredWithoutRangeCheck();
    void dumpWithoutCallbackDoesNothing();
    void secondCallbackReplacesFirst();
    void clearingAnEmptyCallbackIsHarmless();
    void copyTakesTimeoutAndCallback();
    void assignmentTakesTimeoutAndCallback();
    void destroyingThroughBaseRunsDerivedDestructor();
    void everyTransportStartsWithDefaults();
};

void TestConnector::defaultTimeoutIs3000()
{
    PlainConnector c;
    QCOMPARE(c.getTimeout(), 3000);
}

void TestConnector::timeoutIsStoredWithoutRangeCheck()
{
    PlainConnector c;
    c.setTimeout(-5);
    QCOMPARE(c.getTimeout(), -5);
    c.setTimeout(0);
    QCOMPARE(c.getTimeout(), 0);
}

void TestConnector::dumpWithoutCallbackDoesNothing()
{
    PlainConnector c;
    c.dump(QStringLiteral("TX len=0 hex="));
    QStringList lines;
    c.setDumpCallback([&lines](const QString& l) { lines << l; });
    c.clearDumpCallback();
    c.dump(QStringLiteral("TX len=0 hex="));
    QVERIFY(lines.isEmpty());
}

void TestConnector::secondCallbackReplacesFirst()
{
    PlainConnector c;
    QStringList first, second;
    c.setDumpCallback([&first](const QString& l) { first << l; });
    c.setDumpCallback([&second](const QString& l) { second << l; });
    c.dump(QStringLiteral("RX len=1 hex=c9"));
    QVERIFY(first.isEmpty());
    QCOMPARE(second, QStringList { QStringLiteral("RX len=1 hex=c9") });
}

void TestConnector::clearingAnEmptyCallbackIsHarmless()
{
    PlainConnector c;
    c.clearDumpCallback();
    c.clearDumpCallback();
    QStringList lines;
    c.setDumpCallback([&lines](const QString& l) { lines << l; });
    c.dump(QStringLiteral("x"));
    QCOMPARE(lines.size(), 1);
}

void TestConnector::copyTakesTimeoutAndCallback()
{
    PlainConnector original;
    QStringList lines;
    original.setTimeout(1234);
    original.setDumpCallback([&lines](const QString& l) { lines << l; });

    PlainConnector copy(original);
    original.clearDumpCallback();
    original.setTimeout(1);
    QCOMPARE(copy.getTimeout(), 1234);
    copy.dump(QStringLiteral("from copy"));
    QCOMPARE(lines, QStringList { QStringLiteral("from copy") });
}

void TestConnector::assignmentTakesTimeoutAndCallback()
{
    PlainConnector source, target;
    QStringList lines;
    source.setTimeout(777);
    source.setDumpCallback([&lines](const QString& l) { lines << QStringLiteral("source:") + l; });
    target.setDumpCallback([&lines](const QString& l) { lines << QStringLiteral("target:") + l; });

    target = source;
    QCOMPARE(target.getTimeout(), 777);
    target.dump(QStringLiteral("a"));
    QCOMPARE(lines, QStringList { QStringLiteral("source:a") });
}

void TestConnector::destroyingThroughBaseRunsDerivedDestructor()
{
    int destroyed = 0;
    {
        QSharedPointer<Connector> held(new CountedUSB(&destroyed));
        QCOMPARE(destroyed, 0);
    }
    QCOMPARE(destroyed, 1);

    std::unique_ptr<Connector> byBase(new CountedUSB(&destroyed));
    byBase.reset();
    QCOMPARE(destroyed, 2);
}

void TestConnector::everyTransportStartsWithDefaults()
{
    ConnectorUSB usb(QStringLiteral("nowhere"));
    ConnectorSerial serial(QStringLiteral("nowhere"));
    QCOMPARE(usb.getTimeout(), 3000);
    QCOMPARE(serial.getTimeout(), 3000);
    QVERIFY(!usb.GetSerialPort()->isOpen());
    // Not opened: nothing may be read or written.
    QCOMPARE(usb.write(QByteArray("\x78", 1)), -1);
    QCOMPARE(serial.write(QByteArray("\x78", 1)), -1);
    QVERIFY(usb.read().isEmpty());
}

QTEST_GUILESS_MAIN(TestConnector)
#include "tst_connector.moc"
