// The version number rule, what the board type decides, and the feature gates
// that follow from both.

#include "boardinfo.h"
#include "boardstate.h"
#include "versionnumber.h"

#include <QtTest>

class TestBoardState : public QObject
{
    Q_OBJECT

private slots:
    void versionNumber_data();
    void versionNumber();
    void boardTypeFigures_data();
    void boardTypeFigures();
    void featureGates_data();
    void featureGates();
    void boardVersionQuery_data();
    void boardVersionQuery();
    void unknownFirmwareVersionOpensNoGate();
};

void TestBoardState::versionNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("number");

    QTest::newRow("0.0.6") << "0.0.6" << true << 6;
    QTest::newRow("1.2.3") << "1.2.3" << true << 1203;
    QTest::newRow("parts above nine add up") << "2.15.37" << true << 2000 + 1500 + 37;
    QTest::newRow("leading zeros") << "01.02.03" << true << 1203;
    QTest::newRow("largest int") << "2147483.0.647" << true << 2147483647;
    QTest::newRow("result beyond int") << "2147483.0.648" << false << 0;
    QTest::newRow("part beyond int") << "0.0.99999999999" << false << 0;
    QTest::newRow("two parts") << "1.2" << false << 0;
    QTest::newRow("four parts") << "1.2.3.4" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("empty part") << "1..3" << false << 0;
    QTest::newRow("trailing dot") << "1.2.3." << false << 0;
    QTest::newRow("letters") << "1.2.a" << false << 0;
    QTest::newRow("hex part") << "0x1.2.3" << false << 0;
    QTest::newRow("minus sign") << "-1.2.3" << false << 0;
    QTest::newRow("plus sign") << "1.+2.3" << false << 0;
    QTest::newRow("blank inside a part") << "1. 2.3" << false << 0;
    QTest::newRow("blank around the text") << " 1.2.3" << false << 0;
    QTest::newRow("non-ASCII digit") << QString::fromUtf8("1.2.٣") << false << 0;
    QTest::newRow("label placeholder") << "-" << false << 0;
    QTest::newRow("label text") << QString::fromUtf8("Нет ответа") << false << 0;
}

void TestBoardState::versionNumber()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, number);
    const auto parsed = parseVersionNumber(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, number);
}

void TestBoardState::boardTypeFigures_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("di");
    QTest::addColumn<int>("doCount");
    QTest::addColumn<int>("pairLimit");

    QTest::addColumn<QString>("tables"); // exchanged DI table, DO table, ninth DO

    QTest::newRow("unknown") << false << 4 << "" << 16 << 9 << 15 << "DO 9";
    QTest::newRow("type 1") << true << 1 << "VRELL_A" << 16 << 9 << 15 << "DI DO 9";
    QTest::newRow("type 2") << true << 2 << "VRELL_B" << 16 << 8 << 15 << "DI DO";
    QTest::newRow("type 3") << true << 3 << "VRELL_C" << 0 << 8 << 255 << "DO";
    QTest::newRow("type 4") << true << 4 << "VRELL_D" << 32 << 0 << 31 << "DI 9";
    QTest::newRow("type 0") << true << 0 << "UNKNOWN" << 16 << 9 << 15 << "DI DO 9";
    QTest::newRow("type 9") << true << 9 << "UNKNOWN" << 16 << 9 << 15 << "DI DO 9";
    QTest::newRow("type 0x0104") << true << 0x0104 << "UNKNOWN" << 16 << 9 << 15 << "DI DO 9";
}

void TestBoardState::boardTypeFigures()
{
    QFETCH(bool, known);
    QFETCH(int, type);
    QFETCH(QString, name);
    QFETCH(int, di);
    QFETCH(int, doCount);
    QFETCH(int, pairLimit);
    QFETCH(QString, tables);
    BoardState board;
    board.boardTypeKnown = known;
    board.boardType = quint16(type);
    QCOMPARE(board.boardCode(), name);
    QCOMPARE(board.diChannelCount(), di);
    QCOMPARE(board.doChannelCount(), doCount);
    QCOMPARE(board.diPairLimit(), pairLimit);
    const QStringList parts = tables.split(QLatin1Char(' '));
    QCOMPARE(board.hasDiTable(), parts.contains(QLatin1String("DI")));
    // Only a known type can rule the DI table out.
    QCOMPARE(board.lacksDiTable(), known && !parts.contains(QLatin1String("DI")));
    QCOMPARE(board.hasDoTable(), parts.contains(QLatin1String("DO")));
    QCOMPARE(board.hasNinthDo(), parts.contains(QLatin1String("9")));
    if (known)
        QCOMPARE(BoardInfo::boardName(quint16(type)), name);
}

void TestBoardState::featureGates_data()
{
    QTest::addColumn<bool>("typeKnown");
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("firmware"); // empty: version unknown
    QTest::addColumn<bool>("debounce");
    QTest::addColumn<bool>("extended");
    QTest::addColumn<bool>("doDp");
    QTest::addColumn<bool>("calibration"); // with a connector and main firmware running

    QTest::newRow("type 1, 0.0.4") << true << 1 << "0.0.4" << false << false << false << false;
    QTest::newRow("type 1, 0.0.5") << true << 1 << "0.0.5" << true << false << true << false;
    QTest::newRow("type 1, 0.0.6") << true << 1 << "0.0.6" << true << true << true << true;
    QTest::newRow("type 1, version unknown") << true << 1 << "" << false << false << false << false;
    QTest::newRow("type 2, 0.0.3") << true << 2 << "0.0.3" << true << false << false << false;
    QTest::newRow("type 2, version unknown") << true << 2 << "" << true << false << false << false;
    QTest::newRow("type 3, 1.0.0") << true << 3 << "1.0.0" << false << false << true << false;
    QTest::newRow("type 4, 0.0.6") << true << 4 << "0.0.6" << true << true << true << true;
    QTest::newRow("type 9, 0.1.0") << true << 9 << "0.1.0" << true << true << true << true;
    QTest::newRow("type unknown, 1.0.0") << false << 0 << "1.0.0" << false << false << true << false;
    QTest::newRow("type 4, four-part version") << true << 4 << "0.0.0.6" << true << false << false << false;
    QTest::newRow("type 1, two-part version") << true << 1 << "1.0" << false << false << false << false;
}

void TestBoardState::featureGates()
{
    QFETCH(bool, typeKnown);
    QFETCH(int, type);
    QFETCH(QString, firmware);
    QFETCH(bool, debounce);
    QFETCH(bool, extended);
    QFETCH(bool, doDp);
    QFETCH(bool, calibration);

    BoardState board;
    board.boardTypeKnown = typeKnown;
    board.boardType = quint16(type);
    board.firmwareVersionKnown = !firmware.isEmpty();
    board.firmwareVersion = firmware;
    board.modeKnown = true;
    board.mode = 0;

    QCOMPARE(board.diDebounceSupported(), debounce);
    QCOMPARE(board.diExtendedSupported(), extended);
    QCOMPARE(board.doDpSupported(), doDp);
    QCOMPARE(board.calibrationAvailable(true), calibration);

    // Calibration needs the connector and the main firmware on top.
    QVERIFY(!board.calibrationAvailable(false));
    board.mode = 1;
    QVERIFY(!board.calibrationAvailable(true));
    board.modeKnown = false;
    board.mode = 0;
    QVERIFY(!board.calibrationAvailable(true));
}

void TestBoardState::boardVersionQuery_data()
{
    QTest::addColumn<bool>("modeKnown");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("firmware");
    QTest::addColumn<QString>("bootloader");
    QTest::addColumn<bool>("allowed");

    QTest::newRow("main 0.0.3") << true << 0 << "0.0.3" << "" << false;
    QTest::newRow("main 0.0.4") << true << 0 << "0.0.4" << "" << true;
    QTest::newRow("main, bootloader new, firmware old") << true << 0 << "0.0.3" << "9.9.9" << false;
    QTest::newRow("bootloader 0.0.4") << true << 1 << "9.9.9" << "0.0.4" << false;
    QTest::newRow("bootloader 0.0.5") << true << 1 << "" << "0.0.5" << true;
    QTest::newRow("bootloader unreadable") << true << 1 << "" << "-" << false;
    QTest::newRow("mode unknown") << false << 0 << "1.0.0" << "1.0.0" << false;
    QTest::newRow("odd mode") << true << 7 << "1.0.0" << "1.0.0" << false;
}

void TestBoardState::boardVersionQuery()
{
    QFETCH(bool, modeKnown);
    QFETCH(int, mode);
    QFETCH(QString, firmware);
    QFETCH(QString, bootloader);
    QFETCH(bool, allowed);
    BoardState board;
    board.modeKnown = modeKnown;
    board.mode = quint8(mode);
    board.firmwareVersionKnown = !firmware.isEmpty();
    board.firmwareVersion = firmware;
    board.bootloaderVersion = bootloader;
    QCOMPARE(board.boardVersionQueryAllowed(), allowed);
}

// A stale text must not open a gate once the readout said the version is unknown.
void TestBoardState::unknownFirmwareVersionOpensNoGate()
{
    BoardState board;
    board.boardTypeKnown = true;
    board.boardType = 1;
    board.firmwareVersion = QStringLiteral("9.9.9");
    board.firmwareVersionKnown = false;
    QVERIFY(!board.firmwareVersionNumber().has_value());
    QVERIFY(!board.diDebounceSupported());
    QVERIFY(!board.doDpSupported());
    board.firmwareVersionKnown = true;
    QCOMPARE(*board.firmwareVersionNumber(), 9909);
    QVERIFY(board.diDebounceSupported());

    board.clear();
    QVERIFY(!board.boardTypeKnown);
    QVERIFY(board.firmwareVersion.isEmpty());
    QCOMPARE(board.diChannelCount(), 16);
}

QTEST_GUILESS_MAIN(TestBoardState)
#include "tst_boardstate.moc"
