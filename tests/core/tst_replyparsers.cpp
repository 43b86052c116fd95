// Identity and status replies: lengths never taken at their word, texts read
// as Latin-1 and trimmed, status codes little-endian.

#include "replyparsers.h"
#include "referenceframes.h"

#include <QtTest>

class TestReplyParsers : public QObject
{
    Q_OBJECT

private slots:
    void firmwareVersionText_data();
    void firmwareVersionText();
    void deviceStatus_data();
    void deviceStatus();
    void boardVersion_data();
    void boardVersion();
    void statusCode_data();
    void statusCode();
};

void TestReplyParsers::firmwareVersionText_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("text");

    QTest::newRow("plain") << hex("c9 05 312e322e33") << true << "1.2.3";
    QTest::newRow("length byte beyond the reply") << hex("c9 c8 312e322e33") << true << "1.2.3";
    QTest::newRow("length byte shorter than the text") << hex("c9 03 312e322e33") << true << "1.2";
    QTest::newRow("length byte 255, nothing follows") << hex("c9 ff") << true << "";
    QTest::newRow("zero length") << hex("c9 00 31") << true << "";
    QTest::newRow("blanks only") << hex("c9 04 20 20 09 20") << true << "";
    QTest::newRow("trimmed both ends") << hex("c9 07 20 30 2e 30 2e 36 20") << true << "0.0.6";
    QTest::newRow("latin-1 high bytes") << hex("c9 02 e9 41") << true << QString::fromUtf8("éA");
    QTest::newRow("one byte") << hex("c9") << false << "";
    QTest::newRow("empty") << QByteArray() << false << "";
    QTest::newRow("status lead") << hex("c8 05 312e322e33") << false << "";
    QTest::newRow("own code as lead") << hex("78 05 312e322e33") << false << "";
}

void TestReplyParsers::firmwareVersionText()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(QString, text);
    const auto parsed = parseFirmwareVersionReply(reply);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(*parsed, text);
}

void TestReplyParsers::deviceStatus_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("version");

    QTest::newRow("main firmware") << hex("c9 00 05 312e322e33") << true << 0 << "1.2.3";
    QTest::newRow("bootloader") << hex("c9 01 05 302e302e37") << true << 1 << "0.0.7";
    QTest::newRow("length 200, five bytes") << hex("c9 00 c8 312e322e33") << true << 0 << "1.2.3";
    QTest::newRow("odd mode kept") << hex("c9 07 00") << true << 7 << "";
    QTest::newRow("no text after the length") << hex("c9 01 05") << true << 1 << "";
    QTest::newRow("two bytes") << hex("c9 01") << false << 0 << "";
    QTest::newRow("not acknowledged") << hex("64 01 05 302e302e37") << false << 0 << "";
    QTest::newRow("status lead") << hex("c8 01 00") << false << 0 << "";
}

void TestReplyParsers::deviceStatus()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(int, mode);
    QFETCH(QString, version);
    const auto parsed = parseDeviceStatusReply(reply);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QCOMPARE(int(parsed->mode), mode);
        QCOMPARE(parsed->bootloaderVersion, version);
    }
}

void TestReplyParsers::boardVersion_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("type");
    QTest::newRow("type 2") << hex("c9 02 00") << true << 2;
    QTest::newRow("little-endian") << hex("c9 34 12") << true << 0x1234;
    QTest::newRow("longer reply") << hex("c9 04 00 ff") << true << 4;
    QTest::newRow("two bytes") << hex("c9 02") << false << 0;
    QTest::newRow("status lead") << hex("c8 02 00") << false << 0;
}

void TestReplyParsers::boardVersion()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(int, type);
    const auto parsed = parseBoardVersionReply(reply);
    QCOMPARE(parsed.has_value(), valid);
    if (valid)
        QCOMPARE(int(*parsed), type);
}

void TestReplyParsers::statusCode_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("code");
    QTest::addColumn<qint32>("signedCode");
    QTest::newRow("refusal with 42") << hex("c8 2a 00 00 00") << true << 42u << 42;
    QTest::newRow("ack with 5") << hex("c9 05 00 00 00") << true << 5u << 5;
    QTest::newRow("all bits set") << hex("c9 ff ff ff ff") << true << 0xFFFFFFFFu << -1;
    QTest::newRow("little-endian") << hex("c8 78 56 34 12") << true << 0x12345678u << 0x12345678;
    QTest::newRow("trailing bytes ignored") << hex("c9 01 00 00 00 ee") << true << 1u << 1;
    QTest::newRow("four bytes") << hex("c9 2a 00 00") << false << 0u << 0;
    QTest::newRow("lone ack") << hex("c9") << false << 0u << 0;
    QTest::newRow("other lead") << hex("79 2a 00 00 00") << false << 0u << 0;
}

void TestReplyParsers::statusCode()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, valid);
    QFETCH(quint32, code);
    QFETCH(qint32, signedCode);
    const auto status = parseStatusReply(reply);
    const auto error = parseErrorCodeReply(reply);
    QCOMPARE(status.has_value(), valid);
    QCOMPARE(error.has_value(), valid);
    if (valid) {
        QCOMPARE(*status, code);
        QCOMPARE(*error, signedCode);
    }
}

QTEST_GUILESS_MAIN(TestReplyParsers)
#include "tst_replyparsers.moc"
