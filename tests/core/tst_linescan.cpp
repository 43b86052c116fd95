// The line scan on a scripted line: which answers count as boards, which are
// reported as what they are, and that a stop ends it before the next address.

#include "framecodec.h"
#include "linescan.h"
#include "scriptedconnector.h"

#include <QMap>
#include <QtTest>

namespace {

using Step = ScriptedConnector::Step;

const QByteArray version = QByteArray::fromHex("c905") + "1.2.0";

// What each address of the line does; addresses not named stay silent.
//   board    answers the version and the whole readout
//   twin     two boards: the version comes twice
//   wrong    answers the version request with a refusal
//   late     its answer comes behind a frame for the next address
//   garbled  the first answer arrives with a bad checksum, the repeat well
//   no-type  answers everything but the board version
Step answer(const QString& kind, quint8 code, int attempt)
{
    if (code == 0x78) {
        if (kind == QLatin1String("twin"))
            return ScriptedConnector::reads({ version, QByteArray::fromHex("c905") + "9.9.9" });
        if (kind == QLatin1String("wrong"))
            return ScriptedConnector::replyHex("c8 01 00 00 00");
        if (kind == QLatin1String("garbled") && attempt == 0)
            return ScriptedConnector::silence();
        return ScriptedConnector::reply(version);
    }
    switch (code) {
    case 0x64: return ScriptedConnector::reply(QByteArray::fromHex("c90005") + "0.0.7");
    case 0x7D: return kind == QLatin1String("no-type") ? ScriptedConnector::replyHex("c8 02 00 00 00")
                                                       : ScriptedConnector::replyHex("c9 02 00");
    case 0x79: return ScriptedConnector::replyHex("c9 00 00 00 00");
    }
    return ScriptedConnector::silence();
}

} // namespace

class TestLineScan : public QObject
{
    Q_OBJECT

private slots:
    void answersAreToldApart_data();
    void answersAreToldApart();
};

void TestLineScan::answersAreToldApart_data()
{
    QTest::addColumn<QString>("line");       // "address=kind ..."
    QTest::addColumn<int>("stopAt");         // the address at which Stop is pressed; -1 never
    QTest::addColumn<QStringList>("reports"); // "address:kind", in order
    QTest::addColumn<QList<int>>("counts");  // boards, odd answers, incomplete, shared, addresses asked

    QTest::newRow("boards and silence") << "1=board 5=board" << -1 << QStringList { "1:board", "5:board" }
                                        << QList<int> { 2, 0, 0, 0, 8 };
    QTest::newRow("a late answer is another address's") << "2=late" << -1 << QStringList { "2:foreign 3", "2:board" }
                                                          << QList<int> { 1, 1, 0, 0, 8 };
    QTest::newRow("a garbled answer is asked again") << "3=garbled" << -1
                                                     << QStringList { "3:bad-checksum", "3:board" }
                                                     << QList<int> { 1, 1, 0, 0, 8 };
    QTest::newRow("a refusal is no board") << "4=wrong" << -1 << QStringList { "4:wrong-reply" }
                                           << QList<int> { 0, 1, 0, 0, 8 };
    QTest::newRow("two boards on one address") << "6=twin 7=board" << -1
                                               << QStringList { "6:duplicate", "7:board" }
                                               << QList<int> { 1, 0, 0, 1, 8 };
    QTest::newRow("a readout with a hole") << "1=no-type" << -1 << QStringList { "1:incomplete" }
                                           << QList<int> { 0, 0, 1, 0, 8 };
    QTest::newRow("stopped") << "1=board 5=board" << 3 << QStringList { "1:board" } << QList<int> { 1, 0, 0, 0, 3 };
}

void TestLineScan::answersAreToldApart()
{
    QFETCH(QString, line);
    QFETCH(int, stopAt);
    QFETCH(QStringList, reports);
    QFETCH(QList<int>, counts);

    QMap<int, QString> kinds;
    for (const QString& entry : line.split(QLatin1Char(' '))) {
        const QStringList parts = entry.split(QLatin1Char('='));
        kinds.insert(parts.at(0).toInt(), parts.at(1));
    }
    ScriptedConnector link;
    LineScan scan(&link);
    QMap<int, int> versionAsked;
    link.setResponder([&](const QByteArray& request) {
        const QString kind = kinds.value(link.devId);
        const quint8 code = quint8(request.at(0));
        if (kind.isEmpty())
            return ScriptedConnector::silence();
        const int attempt = code == 0x78 ? versionAsked[link.devId]++ : 0;
        // What the transport passes over on its way to the answer.
        if (code == 0x78 && attempt == 0 && kind == QLatin1String("late"))
            scan.notePassedOver(UnpackForeignAddress, FrameCodec::pack(link.devId + 1, version));
        if (code == 0x78 && attempt == 0 && kind == QLatin1String("garbled"))
            scan.notePassedOver(UnpackBadCrc, QByteArray::fromHex("fe45ff54"));
        return answer(kind, code, attempt);
    });

    QStringList seen;
    connect(&scan, &LineScan::addressStarted, this, [&](int address) {
        if (address == stopAt)
            scan.stop();
    });
    connect(&scan, &LineScan::answered, this, [&](const LineScan::Answer& a) {
        static const char* const names[] = { "board", "incomplete", "foreign", "bad-checksum", "wrong-reply",
                                             "duplicate" };
        QString text = QStringLiteral("%1:%2").arg(a.address).arg(QLatin1String(names[a.kind]));
        if (a.kind == LineScan::Answer::ForeignAddress)
            text += QStringLiteral(" %1").arg(a.frameAddress);
        if (a.kind == LineScan::Answer::Board)
            QCOMPARE(a.readout.text(BoardReadout::Field::BoardVersion), QStringLiteral("VRELL_B"));
        seen << text;
    });

    const LineScan::Summary summary = scan.run(0, 7, 40);
    QCOMPARE(seen, reports);
    QCOMPARE((QList<int> { summary.boards, summary.oddAnswers, summary.incomplete, summary.shared, summary.asked }),
             counts);
    QCOMPARE(summary.stopped, stopAt >= 0);
    // An address waits the time given, no longer (0 never answers).
    QCOMPARE(link.writes.value(0), QByteArray(1, char(0x78)));
    QCOMPARE(link.readTimeouts.value(0), 40);
}

QTEST_GUILESS_MAIN(TestLineScan)
#include "tst_linescan.moc"
