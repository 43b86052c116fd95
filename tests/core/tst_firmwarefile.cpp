// The checks made on a firmware file before its content is read: the name
// against the board's mode and type, and the size against what any board holds.

#include "firmwarefile.h"

#include <QtTest>

#include <limits>

class TestFirmwareFile : public QObject
{
    Q_OBJECT

private slots:
    void nameChecks_data();
    void nameChecks();
    void sizeChecks_data();
    void sizeChecks();
};

void TestFirmwareFile::nameChecks_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("mainFirmware");
    QTest::addColumn<QString>("boardCode");
    QTest::addColumn<QString>("problem");

    const QString notMain = QString::fromUtf8("прошивка не основная");
    const QString notBoot = QString::fromUtf8("прошивка не bootloader");
    const QString wrongBoard = QString::fromUtf8("имя файла не соответствует типу платы: %1");

    QTest::newRow("main, capitals") << "/x/FW_MAIN_VRELL_A.FRM" << true << "VRELL_A" << QString();
    QTest::newRow("boot, mixed case") << "C:/fw/Vrell_D_BootLoader.frm" << false << "VRELL_D" << QString();
    QTest::newRow("main expected, boot given") << "/x/fw_boot_vrell_a.frm" << true << "VRELL_A" << notMain;
    QTest::newRow("boot expected, main given") << "/x/fw_main_vrell_a.frm" << false << "VRELL_A" << notBoot;
    QTest::newRow("both words, main expected") << "/x/main+boot_vrell_b.frm" << true << "VRELL_B" << QString();
    QTest::newRow("both words, boot expected") << "/x/main+boot_vrell_b.frm" << false << "VRELL_B" << QString();
    QTest::newRow("wrong board") << "/x/fw_main_vrell_b.frm" << true << "VRELL_A" << wrongBoard.arg("VRELL_A");
    QTest::newRow("kind checked before board") << "/x/fw_vrell_b.frm" << true << "VRELL_A" << notMain;
    QTest::newRow("board unknown") << "/x/fw_main.frm" << true << QString() << QString();
    QTest::newRow("board code UNKNOWN") << "/x/fw_main.frm" << true << "UNKNOWN" << QString();
    QTest::newRow("folder says main") << "/firmware/main/fw_boot_vrell_a.frm" << true << "VRELL_A" << notMain;
    QTest::newRow("folder says board") << "/VRELL_A/fw_main.frm" << true << "VRELL_A" << wrongBoard.arg("VRELL_A");
    QTest::newRow("folder says boot") << "/boot/fw_main_vrell_c.frm" << false << "VRELL_C" << notBoot;
    QTest::newRow("extension counts") << "/x/fw_vrell_a.main" << true << "VRELL_A" << QString();
    QTest::newRow("relative path") << "main/fw_boot_vrell_a.frm" << false << "VRELL_A" << QString();
}

void TestFirmwareFile::nameChecks()
{
    QFETCH(QString, path);
    QFETCH(bool, mainFirmware);
    QFETCH(QString, boardCode);
    QFETCH(QString, problem);
    QCOMPARE(FirmwareFile::nameProblem(path, mainFirmware, boardCode), problem);
}

void TestFirmwareFile::sizeChecks_data()
{
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("problem");

    const QString empty = QString::fromUtf8("Файл прошивки пуст\n");
    const QString tooLarge = QString::fromUtf8("Файл прошивки слишком велик: блоков %1, допустимо не более 65536\n");
    const qint64 limit = 65536LL * 250;

    QTest::newRow("empty") << qint64(0) << empty;
    QTest::newRow("one byte") << qint64(1) << QString();
    QTest::newRow("last block full") << limit << QString();
    // Run-length coding could number more, but no board holds more.
    QTest::newRow("one byte over") << limit + 1 << tooLarge.arg(65537);
    QTest::newRow("a sparse 2 GB image") << qint64(2130000000) << tooLarge.arg(8520000);
    const qint64 largest = std::numeric_limits<qint64>::max();
    QTest::newRow("largest size") << largest << tooLarge.arg(largest / 250 + 1);
}

void TestFirmwareFile::sizeChecks()
{
    QFETCH(qint64, size);
    QFETCH(QString, problem);
    QCOMPARE(FirmwareFile::sizeProblem(size), problem);
}

QTEST_GUILESS_MAIN(TestFirmwareFile)
#include "tst_firmwarefile.moc"
