#include "portopenfailure.h"
#include "serialportcatalog.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using Port = SerialPortCatalog::SystemView::Port;
using Link = SerialPortCatalog::SystemView::Link;

namespace {

const QString dialoutHint = QStringLiteral("\nНет прав на порт: добавьте пользователя в группу dialout "
                                           "(sudo usermod -aG dialout $USER) и войдите в систему заново.");
const QString inUseHint =
    QStringLiteral("\nПорт занят другой программой (например, ModemManager): закройте её и подключитесь снова.");

const Port ftdi { "ttyUSB0", "/dev/ttyUSB0", "FT232R USB UART", "FTDI", "A50285BI", "0403", "6001" };
const Port onboard { "ttyS0", "/dev/ttyS0", QString(), QString(), QString(), QString(), QString() };
const QString ftdiById = QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");

// A plain file standing in for a device node; empty when it cannot be made.
QString makeNode(const QTemporaryDir& dir)
{
    const QString node = dir.filePath(QStringLiteral("ttyFAKE"));
    QFile file(node);
    return dir.isValid() && file.open(QIODevice::WriteOnly) ? node : QString();
}

} // namespace

class TestSerialPorts : public QObject
{
    Q_OBJECT

private slots:
    void openFailureExplained_data();
    void openFailureExplained();
    void nodeRightsAndGroupAreLookedAt();

    void portsCarryTheirOtherNames();
    void choicesListPortsFirstThenOtherNames();
    void symlinkOpensAsItsDevice();
};

void TestSerialPorts::openFailureExplained_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("systemText");
    QTest::addColumn<bool>("accessDenied");
    QTest::addColumn<QString>("group");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("explained");

    const int permission = int(QSerialPort::PermissionError);
    const QString denied = QStringLiteral("Permission denied");
    const QString because = QStringLiteral("\nПричина: ");

    QTest::newRow("user outside dialout") << permission << denied << true << "dialout"
                                          << int(PortOpenFailure::Kind::NoAccess) << because + denied + dialoutHint;
    QTest::newRow("another system's group is named")
        << permission << denied << true << "uucp" << int(PortOpenFailure::Kind::NoAccess)
        << because + denied + QString(dialoutHint).replace(QStringLiteral("dialout"), QStringLiteral("uucp"));
    QTest::newRow("root's node: dialout, not root") << permission << denied << true << "root"
                                                    << int(PortOpenFailure::Kind::NoAccess) << because + denied + dialoutHint;
    QTest::newRow("held under Qt's lock") << permission << "Permission error while locking the device" << false
                                          << "dialout" << int(PortOpenFailure::Kind::InUse)
                                          << because + "Permission error while locking the device" + inUseHint;
    QTest::newRow("no such device, whatever the rights")
        << int(QSerialPort::DeviceNotFoundError) << "No such file or directory" << true << "dialout"
        << int(PortOpenFailure::Kind::Other) << because + "No such file or directory";
    QTest::newRow("nothing reported") << int(QSerialPort::NoError) << QString() << false << QString()
                                      << int(PortOpenFailure::Kind::Unknown) << QString();
}

void TestSerialPorts::openFailureExplained()
{
    QFETCH(int, error);
    QFETCH(QString, systemText);
    QFETCH(bool, accessDenied);
    QFETCH(QString, group);
    QFETCH(int, kind);
    QFETCH(QString, explained);

    PortOpenFailure::Facts facts;
    facts.error = QSerialPort::SerialPortError(error);
    facts.systemText = systemText;
    facts.accessDenied = accessDenied;
    facts.deviceGroup = group;
    QCOMPARE(int(PortOpenFailure::classify(facts)), kind);
    QCOMPARE(PortOpenFailure::explain(facts), explained);
}

void TestSerialPorts::nodeRightsAndGroupAreLookedAt()
{
    QTemporaryDir dir;
    const QString node = makeNode(dir);
    QVERIFY(!node.isEmpty());

    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(node).constData(), &info), 0);
    const group* owner = ::getgrgid(info.st_gid);
    QVERIFY(owner);

    PortOpenFailure::Facts facts = PortOpenFailure::gather(node, QSerialPort::PermissionError, QString());
    QVERIFY(!facts.accessDenied);
    QCOMPARE(facts.deviceGroup, QString::fromLocal8Bit(owner->gr_name));

    // Root is refused nothing, so for root a permission error is always
    // another holder.
    QVERIFY(QFile::setPermissions(node, QFileDevice::ReadOwner));
    facts = PortOpenFailure::gather(node, QSerialPort::PermissionError, QString());
    QCOMPARE(facts.accessDenied, ::geteuid() != 0);

    QVERIFY(!PortOpenFailure::gather(dir.filePath(QStringLiteral("gone")), QSerialPort::DeviceNotFoundError, QString())
                 .accessDenied);
}

void TestSerialPorts::portsCarryTheirOtherNames()
{
    SerialPortCatalog::SystemView view;
    view.ports = { onboard, ftdi };
    view.links = { { "/dev/stdin", "/proc/1/fd/0" }, { "/dev/zz-line", "/dev/ttyUSB0" }, { ftdiById, "/dev/ttyUSB0" },
                   { "/dev/gps0", "/dev/ttyUSB1" }, { "/dev/console-port", "/dev/ttyS0" },
                   { "/dev/aa-line", "/dev/ttyUSB0" }, { "/dev/ttyUSB0", "/dev/ttyUSB0" } };
    const QList<SerialPortCatalog::Entry> entries = SerialPortCatalog::entries(view);

    // The system's order; each port's names sorted, links elsewhere left out.
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries.at(0).port.portName, QStringLiteral("ttyS0"));
    QCOMPARE(entries.at(0).byId, QStringList());
    QCOMPARE(entries.at(0).symlinks, QStringList({ "/dev/console-port" }));
    QCOMPARE(entries.at(1).port.serialNumber, QStringLiteral("A50285BI"));
    QCOMPARE(entries.at(1).byId, QStringList({ ftdiById }));
    QCOMPARE(entries.at(1).symlinks, QStringList({ "/dev/aa-line", "/dev/zz-line" }));
}

void TestSerialPorts::choicesListPortsFirstThenOtherNames()
{
    SerialPortCatalog::SystemView view;
    view.ports = { ftdi, onboard };
    view.links = { { "/dev/quorvel-rs485", "/dev/ttyUSB0" }, { ftdiById, "/dev/ttyUSB0" } };
    const QList<SerialPortCatalog::Choice> choices = SerialPortCatalog::choices(SerialPortCatalog::entries(view));

    QStringList texts;
    for (const SerialPortCatalog::Choice& choice : choices)
        texts << choice.text;
    QCOMPARE(texts, QStringList({ "ttyUSB0", "ttyS0", ftdiById, "/dev/quorvel-rs485" }));

    QCOMPARE(choices.at(0).toolTip, QStringLiteral("FT232R USB UART\nПроизводитель: FTDI\nСерийный номер: A50285BI\n"
                                                   "USB 0403:6001\n/dev/ttyUSB0"));
    QCOMPARE(choices.at(1).toolTip, QStringLiteral("/dev/ttyS0"));
    QCOMPARE(choices.at(3).toolTip, QStringLiteral("Другое имя порта ttyUSB0\n") + choices.at(0).toolTip);
}

void TestSerialPorts::symlinkOpensAsItsDevice()
{
    QTemporaryDir dir;
    const QString node = makeNode(dir);
    QVERIFY(!node.isEmpty());
    const QString link = dir.filePath(QStringLiteral("quorvel-rs485"));
    QVERIFY(QFile::link(node, link));

    QCOMPARE(SerialPortCatalog::device(link), QFileInfo(node).canonicalFilePath());
    QCOMPARE(SerialPortCatalog::device(node), node);
    // A bare name is the system's to find (under /dev), not this folder's.
    QCOMPARE(SerialPortCatalog::device(QStringLiteral("ttyUSB0")), QStringLiteral("ttyUSB0"));
}

QTEST_GUILESS_MAIN(TestSerialPorts)
#include "tst_serialports.moc"
