#include "connectorserial.h"
#include "ptypair.h"
#include "workercontextobject.h"
#include "referenceframes.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSharedPointer>
#include <QStringList>
#include <QtTest>

#include <atomic>
#include <memory>
#include <termios.h>

namespace {

// Bitwise CRC-32 with polynomial 0x04C11DB7, start 0xFFFFFFFF, no reflection, no final XOR.
uint32_t referenceCrc32(const QByteArray& stream)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : stream) {
        crc ^= uint32_t(uint8_t(c)) << 24;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// Threads the system knows under the worker thread's name (cut to 15 characters).
int workerThreadCount()
{
    int count = 0;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(task));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "ConnectorSerial")
            ++count;
    }
    return count;
}

// Descriptors of this process open on `path`.
int openDescriptorsOn(const QString& path)
{
    int count = 0;
    const QFileInfoList fds = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System);
    for (const QFileInfo& fd : fds) {
        if (fd.symLinkTarget() == path)
            ++count;
    }
    return count;
}

QStringList rxLines(const QStringList& dump)
{
    QStringList rx;
    for (const QString& line : dump) {
        if (line.startsWith(QLatin1String("RX ")))
            rx << line;
    }
    return rx;
}

// The bytes of all RX lines, in order.
QByteArray rxBytes(const QStringList& dump)
{
    QByteArray bytes;
    for (const QString& line : rxLines(dump))
        bytes += QByteArray::fromHex(line.section(QLatin1String("hex="), 1).toLatin1());
    return bytes;
}

} // namespace

class TestConnectorSerial : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void nothingMovesBeforeThePortIsOpen();
    void failedOpenLeavesTheTransportClosed();
    void openPortAppliesTheLineSettings();
    void writeSendsAndDumpsTheWholeFrame();
    void failedWriteClosesTheTransport();
    void boardReply_data();
    void boardReply();
    void zeroTimeoutReadsNothing();
    void lateReplyIsDumpedAndNotTakenForTheNextOne();
    void frameBegunBeforeTheTimeOutIsStillTaken();
    void chatteringBusCannotHoldReadForever();
    void workerReadEndsAtItsFirstWaitOnAChatteringLine();
    void destructionClosesThePortAndEndsTheThread();

    void stm32Crc_data();
    void stm32Crc();
    void reorder4FillsOneStaticWorkArea();

private:
    bool openSerial(ConnectorSerial& link);

    std::unique_ptr<PtyPair> pty;
    std::unique_ptr<ConnectorSerial> serial;
    QStringList dump;
};

void TestConnectorSerial::init()
{
    pty.reset(new PtyPair);
    QVERIFY2(pty->isOpen(), qPrintable(pty->errorString()));
    serial.reset(new ConnectorSerial(pty->slavePath()));
    serial->setDevID(1);
    dump.clear();
    serial->setDumpCallback([this](const QString& line) { dump << line; });
}

void TestConnectorSerial::cleanup()
{
    if (pty)
        pty->waitScript();
    serial.reset();
    pty.reset();
}

bool TestConnectorSerial::openSerial(ConnectorSerial& link)
{
    return link.openPort(pty->slavePath(), 115200, QSerialPort::Data8, QSerialPort::NoParity, QSerialPort::OneStop,
                         QSerialPort::NoFlowControl);
}

void TestConnectorSerial::nothingMovesBeforeThePortIsOpen()
{
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(serial->write(hex("78")), -1);
    QVERIFY(serial->read().isEmpty());
    QVERIFY2(clock.elapsed() < 1000, "must fail at once, not wait for the time-out");
    QVERIFY(dump.isEmpty());
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 1); // only the pair's own
}

void TestConnectorSerial::failedOpenLeavesTheTransportClosed()
{
    QVERIFY(openSerial(*serial));
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 2);

    QVERIFY(!serial->openPort(QStringLiteral("/dev/quorvel-no-such-port"), 115200, QSerialPort::Data8,
                              QSerialPort::NoParity, QSerialPort::OneStop, QSerialPort::NoFlowControl));
    // The earlier port was closed before the attempt.
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(serial->write(hex("78")), -1);
    QVERIFY(serial->read().isEmpty());
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(dump.isEmpty());
    QVERIFY(pty->readUntilQuiet(100, 300).isEmpty());

    // Opening anew brings it back.
    QVERIFY(openSerial(*serial));
    QCOMPARE(serial->write(hex("78")), 12);
}

void TestConnectorSerial::openPortAppliesTheLineSettings()
{
    // A pseudo-terminal always reports 8 data bits without parity enable, so
    // speed, stop bits and the odd/even choice are what can be seen here.
    QVERIFY(serial->openPort(pty->slavePath(), 9600, QSerialPort::Data7, QSerialPort::EvenParity,
                             QSerialPort::TwoStop, QSerialPort::NoFlowControl));
    termios tio {};
    QCOMPARE(::tcgetattr(pty->masterFd(), &tio), 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B9600));
    QCOMPARE(::cfgetispeed(&tio), speed_t(B9600));
    QVERIFY(!(tio.c_cflag & PARODD));
    QVERIFY(tio.c_cflag & CSTOPB);

    QVERIFY(serial->openPort(pty->slavePath(), 57600, QSerialPort::Data8, QSerialPort::OddParity,
                             QSerialPort::OneStop, QSerialPort::NoFlowControl));
    QCOMPARE(::tcgetattr(pty->masterFd(), &tio), 0);
    QCOMPARE(::cfgetospeed(&tio), speed_t(B57600));
    QVERIFY(tio.c_cflag & PARODD);
    QVERIFY(!(tio.c_cflag & CSTOPB));
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 2); // reopening closed the first
}

void TestConnectorSerial::writeSendsAndDumpsTheWholeFrame()
{
    QVERIFY(openSerial(*serial));
    QCOMPARE(serial->write(hex("7d")), 12);
    QCOMPARE(dump, QStringList { QStringLiteral("TX len=12 hex=fe 45 ff 54 01 00 01 7d 3f 89 00 00") });
    QCOMPARE(pty->read(12, 2000).toHex(' '), QByteArray("fe 45 ff 54 01 00 01 7d 3f 89 00 00"));

    serial->setDevID(5);
    dump.clear();
    QCOMPARE(serial->write(hex("a7")), 12);
    QCOMPARE(dump, QStringList { QStringLiteral("TX len=12 hex=fe 45 ff 54 05 00 01 a7 bf 22 00 00") });
    QCOMPARE(pty->read(12, 2000), hex("fe 45 ff 54 05 00 01 a7 bf 22 00 00"));
}

// A line that takes nothing more (the far end stopped reading) makes a write
// time out; from then on the transport refuses at once until opened anew.
void TestConnectorSerial::failedWriteClosesTheTransport()
{
    QVERIFY(openSerial(*serial));
    serial->setTimeout(100);
    const QByteArray payload(255, char(0x33));
    int result = 0;
    int writes = 0;
    while (writes < 5000 && (result = serial->write(payload)) > 0)
        ++writes;
    QCOMPARE(result, -1);
    QVERIFY(writes > 0);

    dump.clear();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(serial->write(hex("78")), -1);
    QVERIFY(serial->read().isEmpty());
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(dump.isEmpty());

    pty->drain();
    QVERIFY(openSerial(*serial));
    pty->drain();
    QCOMPARE(serial->write(hex("78")), 12);
}

void TestConnectorSerial::boardReply_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("endsEarly"); // returns well before the time-out

    const QByteArray reply = frameFor(1, hex("78 01 02 03"));
    QTest::newRow("one chunk") << QByteArrayList { reply } << hex("78 01 02 03") << true;
    QTest::newRow("three chunks") << QByteArrayList { reply.left(3), reply.mid(3, 6), reply.mid(9) }
                                  << hex("78 01 02 03") << true;
    QTest::newRow("junk before the frame") << QByteArrayList { hex("00 ff 13 fe 45"), reply } << hex("78 01 02 03")
                                           << true;
    QTest::newRow("a second frame behind it") << QByteArrayList { reply + frameFor(1, hex("c9")) }
                                              << hex("78 01 02 03") << true;
    QTest::newRow("frame for another board") << QByteArrayList { frameFor(2, hex("78 01 02 03")), reply }
                                             << QByteArray() << true;
    QByteArray corrupted = reply;
    corrupted[8] = char(corrupted.at(8) ^ 0x40);
    QTest::newRow("bad checksum") << QByteArrayList { corrupted, reply } << QByteArray() << true;
    QTest::newRow("half a frame, then silence") << QByteArrayList { reply.left(9) } << QByteArray() << false;
    QTest::newRow("junk only") << QByteArrayList { hex("01 02 03 04 05 06 07 08 09 0a 0b 0c") } << QByteArray()
                               << false;
    QTest::newRow("silence") << QByteArrayList {} << QByteArray() << false;
}

void TestConnectorSerial::boardReply()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArray, expected);
    QFETCH(bool, endsEarly);

    QVERIFY(openSerial(*serial));
    const int timeout = 1500;
    serial->setTimeout(timeout);
    pty->startScript([chunks](PtyPair& board) {
        board.read(12, 2000);
        board.writeChunks(chunks, 80);
    });
    QCOMPARE(serial->write(hex("78")), 12);
    QElapsedTimer clock;
    clock.start();
    const QByteArray got = serial->read();
    const qint64 elapsed = clock.elapsed();

    QCOMPARE(got.toHex(' '), expected.toHex(' '));
    // A frame behind the one returned is a reply too many.
    QCOMPARE(serial->extraReplies(), QTest::currentDataTag() == QLatin1String("a second frame behind it") ? 1 : 0);
    if (endsEarly) {
        // The last chunk comes about 80 ms per chunk after the request.
        QVERIFY2(elapsed < 80 * chunks.size() + 700, qPrintable(QString::number(elapsed)));
    } else {
        QVERIFY2(elapsed >= timeout - 50 && elapsed < timeout + 1500, qPrintable(QString::number(elapsed)));
    }

    // Each chunk the board sent was shown as it came.
    const QStringList rx = rxLines(dump);
    if (endsEarly) {
        const QByteArray sent = chunks.join();
        QVERIFY(sent.startsWith(rxBytes(dump)));
        QVERIFY(!rx.isEmpty());
    } else {
        QCOMPARE(rxBytes(dump), chunks.join());
    }
    if (QTest::currentDataTag() == QLatin1String("three chunks")) {
        QCOMPARE(rx.size(), 3);
        QCOMPARE(rx.at(0), QStringLiteral("RX len=3 hex=fe 45 ff"));
    }
}

void TestConnectorSerial::zeroTimeoutReadsNothing()
{
    QVERIFY(openSerial(*serial));
    QVERIFY(pty->write(frameFor(1, hex("c9"))));
    PtyPair::pause(100);
    serial->setTimeout(0);
    QVERIFY(serial->read().isEmpty());
    QVERIFY(dump.isEmpty()); // nothing was asked of the port

    serial->setTimeout(1000);
    QCOMPARE(serial->read(), hex("c9"));
}

void TestConnectorSerial::lateReplyIsDumpedAndNotTakenForTheNextOne()
{
    QVERIFY(openSerial(*serial));
    serial->setTimeout(200);
    const QByteArray late = frameFor(1, hex("c9 01"));
    const QByteArray fresh = frameFor(1, hex("78 02"));
    pty->startScript([late, fresh](PtyPair& board) {
        board.read(12, 2000);
        PtyPair::pause(400);
        board.write(late);
        board.read(12, 3000);
        board.write(fresh);
    });
    QCOMPARE(serial->write(hex("70")), 12);
    QVERIFY(serial->read().isEmpty());
    PtyPair::pause(700);

    dump.clear();
    QCOMPARE(serial->write(hex("71")), 12);
    serial->setTimeout(2000);
    QCOMPARE(serial->read().toHex(' '), QByteArray("78 02"));
    QCOMPARE(serial->extraReplies(), 1);
    QCOMPARE(dump.size(), 3);
    QCOMPARE(dump.at(0), QStringLiteral("RX len=13 hex=") + QString::fromLatin1(late.toHex(' ')));
    QVERIFY(dump.at(1).startsWith(QLatin1String("TX len=12 ")));
    QCOMPARE(dump.at(2), QStringLiteral("RX len=13 hex=") + QString::fromLatin1(fresh.toHex(' ')));
}

// The first bytes come 20 ms before the time-out, the rest 40 ms later.
void TestConnectorSerial::frameBegunBeforeTheTimeOutIsStillTaken()
{
    QVERIFY(openSerial(*serial));
    const int timeout = 300;
    serial->setTimeout(timeout);
    const QByteArray reply = frameFor(1, hex("c9 07"));
    pty->startScript([reply, timeout](PtyPair& board) {
        board.read(12, 2000);
        PtyPair::pause(timeout - 20);
        board.write(reply.left(9));
        PtyPair::pause(40);
        board.write(reply.mid(9));
    });
    QCOMPARE(serial->write(hex("70")), 12);
    QCOMPARE(serial->read().toHex(' '), QByteArray("c9 07"));
}

void TestConnectorSerial::chatteringBusCannotHoldReadForever()
{
    QVERIFY(openSerial(*serial));
    serial->setTimeout(300);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    pty->startScript([stop](PtyPair& board) {
        QElapsedTimer clock;
        clock.start();
        // Other traffic on the bus, never pausing long enough to end a chunk.
        while (!*stop && clock.elapsed() < 8000)
            board.write(hex("aa 55"));
    });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(serial->read().isEmpty());
    const qint64 elapsed = clock.elapsed();
    *stop = true;
    pty->waitScript();
    QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY(!rxLines(dump).isEmpty());
}

// The same bound one level down, with a tail gap wide enough that no pause of
// the board's thread can end the chunk early.
void TestConnectorSerial::workerReadEndsAtItsFirstWaitOnAChatteringLine()
{
    QVERIFY(openSerial(*serial));
    auto stop = std::make_shared<std::atomic<bool>>(false);
    pty->startScript([stop](PtyPair& board) {
        QElapsedTimer clock;
        clock.start();
        while (!*stop && clock.elapsed() < 8000) {
            board.write(hex("aa"));
            PtyPair::pause(5);
        }
    });
    QByteArray chunk;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(QMetaObject::invokeMethod(serial->worker, "readRaw", Qt::BlockingQueuedConnection,
                                      Q_RETURN_ARG(QByteArray, chunk), Q_ARG(int, 300), Q_ARG(int, 100)));
    const qint64 elapsed = clock.elapsed();
    *stop = true;
    QVERIFY(!chunk.isEmpty());
    QVERIFY2(elapsed < 1500, qPrintable(QString::number(elapsed)));
}

void TestConnectorSerial::destructionClosesThePortAndEndsTheThread()
{
    serial.reset();
    // The system drops a finished thread's entry a moment after it has run out.
    QTRY_COMPARE_WITH_TIMEOUT(workerThreadCount(), 0, 1000);

    auto* transport = new ConnectorSerial(pty->slavePath());
    QSharedPointer<Connector> link(transport);
    QCOMPARE(transport->workerThread.objectName(), QStringLiteral("ConnectorSerialPortThread"));
    QCOMPARE(workerThreadCount(), 1);
    QVERIFY(openSerial(*transport));
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 2);

    std::atomic<bool> threadFinished { false };
    std::atomic<bool> workerDeleted { false };
    QObject::connect(&transport->workerThread, &QThread::finished, [&threadFinished] { threadFinished = true; });
    QObject::connect(static_cast<QObject*>(transport->worker), &QObject::destroyed, [&workerDeleted] { workerDeleted = true; });

    link.reset();
    // No waiting: all of it must have happened when the destructor returned.
    QCOMPARE(openDescriptorsOn(pty->slavePath()), 1);
    QVERIFY(threadFinished);
    QVERIFY(workerDeleted);
    QTRY_COMPARE_WITH_TIMEOUT(workerThreadCount(), 0, 1000);
}

void TestConnectorSerial::stm32Crc_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("unitStream"); // what the unit is fed, word by word
    QTest::addColumn<uint>("knownValue");       // 0 when only the stream comparison applies

    QTest::newRow("word 0x12345678") << hex("78 56 34 12") << hex("12 34 56 78") << 0xDF8A8A2Bu;
    QTest::newRow("word 0") << hex("00 00 00 00") << hex("00 00 00 00") << 0xC704DD7Bu;
    QTest::newRow("nothing") << QByteArray() << QByteArray() << 0xFFFFFFFFu;
    QTest::newRow("one byte") << QByteArray("1") << hex("ff ff ff 31") << 0u;
    QTest::newRow("three bytes") << QByteArray("123") << hex("ff 33 32 31") << 0u;
    QTest::newRow("nine bytes") << QByteArray("123456789") << hex("34 33 32 31 38 37 36 35 ff ff ff 39") << 0u;
}

void TestConnectorSerial::stm32Crc()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, unitStream);
    QFETCH(uint, knownValue);

    QCOMPARE(referenceCrc32("123456789"), 0x0376E6E7u); // the reference is the published CRC-32/MPEG-2

    ConnectorSerial link { QString() };
    const uint crc = link.crc32_formula_normal_STM32(uint(data.size()), data.data());
    QCOMPARE(crc, referenceCrc32(unitStream));
    if (knownValue != 0)
        QCOMPARE(crc, knownValue);
}

void TestConnectorSerial::reorder4FillsOneStaticWorkArea()
{
    ConnectorSerial link { QString() };
    unsigned char group[4] = { 1, 2, 3, 4 };
    unsigned char* first = link.reorder4(group, 4);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(first), 4), hex("04 03 02 01"));
    unsigned char* second = link.reorder4(group, 2);
    QCOMPARE(second, first);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(second), 4), hex("ff ff 02 01"));
    QCOMPARE(group[0], (unsigned char)1); // the input is left alone
}

QTEST_GUILESS_MAIN(TestConnectorSerial)
#include "tst_connectorserial.moc"
