#include "cliprocess.h"
#include "portlisting.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TestPortListing : public QObject
{
    Q_OBJECT

private slots:
    void linesAndJsonOfAMachine();
    void portsNeedsNoLink();
};

void TestPortListing::linesAndJsonOfAMachine()
{
    SerialPortCatalog::SystemView view;
    view.ports = { { "ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", "0403", "6001" },
                   { "ttyS0", "/dev/ttyS0", QString(), QString(), QString(), QString(), QString() } };
    view.links = { { "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0", "/dev/ttyUSB0" },
                   { "/dev/quorvel-rs485", "/dev/ttyUSB0" } };
    const QList<SerialPortCatalog::Entry> entries = SerialPortCatalog::entries(view);

    QCOMPARE(PortListing::lines(entries),
             QStringList({ "/dev/ttyUSB0  FT232R USB UART, FTDI, serial A50285BI, USB 0403:6001",
                           "  /dev/serial/by-id/usb-FTDI_A50285BI-if00-port0", "  /dev/quorvel-rs485", "/dev/ttyS0" }));

    const QJsonArray json = PortListing::json(entries);
    QCOMPARE(json.size(), 2);
    const QJsonObject adapter = json.at(0).toObject();
    QCOMPARE(adapter.value("port").toString(), QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(adapter.value("serialNumber").toString(), QStringLiteral("A50285BI"));
    QCOMPARE(adapter.value("byId").toArray(), QJsonArray({ "/dev/serial/by-id/usb-FTDI_A50285BI-if00-port0" }));
    QCOMPARE(adapter.value("symlinks").toArray(), QJsonArray({ "/dev/quorvel-rs485" }));
    // Unknown is null, not an empty text a script would take for a value.
    QVERIFY(json.at(1).toObject().value("manufacturer").isNull());
}

void TestPortListing::portsNeedsNoLink()
{
    if (CliProcess::programPath().isEmpty())
        QSKIP("this build has no quorvel-cli");
    const CliProcess::Result r = CliProcess::run({ "ports", "--json" }, 10000);
    QVERIFY2(r.exitCode == 0, qPrintable(r.describe()));
    const QJsonArray expected = PortListing::json(SerialPortCatalog::entries(SerialPortCatalog::currentView()));
    QCOMPARE(QJsonDocument::fromJson(r.rawOut).array(), expected);
}

QTEST_GUILESS_MAIN(TestPortListing)
#include "tst_portlisting.moc"
