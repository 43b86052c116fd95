// The operations log: one line per operation with every field in its place,
// rotation past the size limit, and two programs appending at once without
// losing or tearing a line.

#include "operationslog.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>

class TestOperationsLog : public QObject
{
    Q_OBJECT

private slots:
    void lineHoldsEveryField();
    void rotatesPastTheLimit();
    void twoProgramsAppendAtOnce();
    void appendNeverWaitsAndNamesTheError_data();
    void appendNeverWaitsAndNamesTheError();
};

void TestOperationsLog::lineHoldsEveryField()
{
    OperationRecord record;
    record.program = QStringLiteral("cli");
    record.link = QStringLiteral("RS485 TCP 127.0.0.1:4001, address 5");
    record.board.boardTypeKnown = true;
    record.board.boardType = 2;
    record.board.firmwareVersionKnown = true;
    record.board.firmwareVersion = QStringLiteral("0.0.6");
    // A board's text never splits the line or the field, nor reaches a terminal raw.
    record.board.bootloaderVersion = QString::fromUtf8("0.0.5\n\tforged=line\x1b[2J\x7f\xc2\x9b") + QChar(0);
    record.operation = QStringLiteral("flash");
    record.outcome = QStringLiteral("refused");
    record.boardError = 7;
    const QDateTime when(QDate(2026, 12, 7), QTime(20, 15, 3, 120), Qt::UTC);
    QCOMPARE(OperationsLog::line(record, when),
             QStringLiteral("2026-12-07T20:15:03.120Z\tprogram=cli\tlink=RS485 TCP 127.0.0.1:4001, address 5"
                            "\tboard=VRELL_B\tfirmware=0.0.6\tbootloader=0.0.5\\u000a\\u0009forged=line\\u001b[2J\\u007f\\u009b"
                            "\\u0000\toperation=flash"
                            "\toutcome=refused\terror=7"));
}

void TestOperationsLog::rotatesPastTheLimit()
{
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("deep/operations.log"));
    const OperationsLog log(path);
    OperationRecord record;
    record.operation = QStringLiteral("reboot");
    QVERIFY(log.append(record));
    const qint64 firstLine = QFileInfo(path).size();
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(QByteArray(int(OperationsLog::rotateBytes), 'x'));
    file.close();
    QVERIFY(log.append(record));
    // The full file is kept whole as the old generation; the new one starts afresh.
    QCOMPARE(QFileInfo(path + QStringLiteral(".1")).size(), firstLine + OperationsLog::rotateBytes);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 1);
}

void TestOperationsLog::twoProgramsAppendAtOnce()
{
    // This very program, started twice as a writer of many lines.
    if (qEnvironmentVariableIsSet("OPERATIONS_LOG_WRITER")) {
        const OperationsLog log(QString::fromLocal8Bit(qgetenv("OPERATIONS_LOG_WRITER")));
        OperationRecord record;
        record.operation = QString::fromLocal8Bit(qgetenv("OPERATIONS_LOG_NAME"));
        for (int i = 0; i < 200; ++i)
            QVERIFY(log.append(record));
        return;
    }
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("operations.log"));
    QList<QProcess*> writers;
    for (const char* name : { "first", "second" }) {
        auto* p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("OPERATIONS_LOG_WRITER"), path);
        env.insert(QStringLiteral("OPERATIONS_LOG_NAME"), QLatin1String(name));
        p->setProcessEnvironment(env);
        p->start(QCoreApplication::applicationFilePath(), { QStringLiteral("twoProgramsAppendAtOnce") });
        writers << p;
    }
    for (QProcess* p : writers) {
        QVERIFY(p->waitForFinished(60000));
        QCOMPARE(p->exitCode(), 0);
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 400);
    int first = 0;
    for (const QString& line : lines) {
        QVERIFY2(line.count(QLatin1Char('\t')) == 7, qPrintable(line));
        first += line.contains(QStringLiteral("operation=first\t")) ? 1 : 0;
    }
    QCOMPARE(first, 200);
}

void TestOperationsLog::appendNeverWaitsAndNamesTheError_data()
{
    QTest::addColumn<QString>("fifo"); // made under this name beside the log
    QTest::addColumn<QString>("error");

    QTest::newRow("FIFO as the log") << "operations.log" << "operations.log: not a regular file";
    QTest::newRow("FIFO as the lock") << "operations.log.lock" << "operations.log.lock: not a regular file";
    // A file size limit fails the write as a full disk does, with a reason of its own.
    QTest::newRow("write refused") << "" << QString::fromLocal8Bit(std::strerror(EFBIG));
}

void TestOperationsLog::appendNeverWaitsAndNamesTheError()
{
    QFETCH(QString, fifo);
    QFETCH(QString, error);

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("operations.log"));
    rlimit kept {};
    ::getrlimit(RLIMIT_FSIZE, &kept);
    rlimit small = kept;
    small.rlim_cur = 20;
    ::signal(SIGXFSZ, SIG_IGN);
    QCOMPARE(fifo.isEmpty() ? ::setrlimit(RLIMIT_FSIZE, &small) : ::mkfifo(qPrintable(folder.filePath(fifo)), 0600), 0);
    QString why;
    QElapsedTimer clock;
    clock.start();
    const bool written = OperationsLog(path).append(OperationRecord(), &why);
    ::setrlimit(RLIMIT_FSIZE, &kept);
    QVERIFY(!written && clock.elapsed() < 1000);
    QVERIFY2(why.contains(error) && !why.contains("locked"), qPrintable(why));
    QCOMPARE(QFileInfo(path).size(), 0); // nothing half written stays behind
}

QTEST_GUILESS_MAIN(TestOperationsLog)
#include "tst_operationslog.moc"
