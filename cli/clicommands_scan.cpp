#include "clicommands.h"

#include "connectorserial.h"
#include "console.h"
#include "exitcode.h"
#include "linescan.h"
#include "linkopener.h"
#include "printabletext.h"
#include "replyparsers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

// The line scan's front end: LineScan asks the addresses; each of its reports
// becomes one line (or one JSON object), and the outcomes the exit code.

namespace {

QJsonValue versionOf(const QByteArray& reply)
{
    const std::optional<QString> version = parseFirmwareVersionReply(reply);
    return version ? QJsonValue(*version) : QJsonValue();
}

QString hexOf(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

} // namespace

int CliCommands::scan()
{
    Console::setStep(QStringLiteral("connect"));
    QString error;
    const QSharedPointer<Connector> transport = LinkOpener::open(options.link, &error);
    if (!transport) {
        Console::err(error);
        return ExitCode::CannotConnect;
    }
    // Both framed transports read through ConnectorSerial; the option check
    // keeps USB COM out.
    const QSharedPointer<ConnectorSerial> framed = transport.dynamicCast<ConnectorSerial>();
    if (!framed) {
        Console::note(QStringLiteral("scan needs a framed link (--serial or --tcp)"));
        return ExitCode::Usage;
    }
    link = QSharedPointer<WatchedConnector>::create(transport);
    link->setExtraWait(options.extraWaitMs);
    if (options.trace)
        link->setTrace([](const QString& line) { Console::trace(line); });
    Console::setStep(QStringLiteral("scan"));
    LineScan lineScan(link.data(), framed.data());

    // The redrawn progress line is progress too: --quiet leaves it out.
    const bool terminal = !Console::quiet() && ::isatty(::fileno(stderr)) == 1;
    // The worst outcome met among the readouts (the highest code).
    int readoutCode = ExitCode::Ok;
    WatchedConnector::Tally beforeReadout;

    // Board texts go into a line of their own: one line each, whatever they hold.
    auto report = [this, terminal](const QJsonObject& object, const QString& text, bool isBoard) {
        if (terminal)
            std::fprintf(stderr, "\r\033[K");
        if (options.json)
            Console::out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        else if (isBoard)
            Console::out(PrintableText::oneLine(text));
        else
            Console::note(PrintableText::oneLine(text));
    };

    QObject::connect(&lineScan, &LineScan::addressStarted, [terminal](int address, int asked, int total, int found) {
        if (terminal)
            std::fprintf(stderr, "\rscan: address %d (%d of %d), %d found ", address, asked, total, found);
        else if (asked % 32 == 1)
            Console::progress(QStringLiteral("scan: address %1 (%2 of %3), %4 found").arg(address).arg(asked).arg(total).arg(found));
    });
    QObject::connect(&lineScan, &LineScan::readoutStarting, [this, &beforeReadout](int) { beforeReadout = link->tally(); });
    QObject::connect(&lineScan, &LineScan::answered, [&](const LineScan::Answer& answer) {
        using Answer = LineScan::Answer;
        const int address = answer.address;
        QJsonObject object;
        if (answer.kind == Answer::Board || answer.kind == Answer::Incomplete)
            object = answer.readout.toJson();
        object.insert(QStringLiteral("address"), address);
        switch (answer.kind) {
        case Answer::ForeignAddress:
            object.insert(QStringLiteral("kind"), QStringLiteral("foreign-address"));
            object.insert(QStringLiteral("frameAddress"), qint64(answer.frameAddress));
            object.insert(QStringLiteral("frame"), hexOf(answer.frame));
            report(object,
                   QStringLiteral("address %1: an answer framed for address %2 (a late answer or a board with "
                                  "another address); not taken for a board")
                       .arg(address)
                       .arg(answer.frameAddress),
                   false);
            break;
        case Answer::BadChecksum:
            object.insert(QStringLiteral("kind"), QStringLiteral("bad-checksum"));
            object.insert(QStringLiteral("frame"), hexOf(answer.frame));
            report(object,
                   QStringLiteral("address %1: a frame with a bad checksum (garbage or two boards answering); "
                                  "not taken for a board")
                       .arg(address),
                   false);
            break;
        case Answer::WrongReply:
            object.insert(QStringLiteral("kind"), QStringLiteral("wrong-reply"));
            object.insert(QStringLiteral("reply"), hexOf(answer.reply));
            report(object,
                   QStringLiteral("address %1: a reply that is no firmware version (%2); not taken for a board")
                       .arg(address)
                       .arg(hexOf(answer.reply)),
                   false);
            break;
        case Answer::DuplicateAddress: {
            object.insert(QStringLiteral("kind"), QStringLiteral("duplicate-address"));
            object.insert(QStringLiteral("firmwareVersions"),
                          QJsonArray { versionOf(answer.reply), versionOf(answer.secondReply) });
            object.insert(QStringLiteral("replies"), QJsonArray { hexOf(answer.reply), hexOf(answer.secondReply) });
            auto shown = [](const QByteArray& reply) {
                const QJsonValue text = versionOf(reply);
                return text.isString() ? QStringLiteral("\"%1\"").arg(text.toString())
                                       : QStringLiteral("(%1)").arg(hexOf(reply));
            };
            report(object,
                   QStringLiteral("address %1: two answers to one request, firmware %2 and %3: more than one board "
                                  "has this address; not read out")
                       .arg(address)
                       .arg(shown(answer.reply), shown(answer.secondReply)),
                   false);
            break;
        }
        case Answer::Incomplete:
            readoutCode = qMax(readoutCode, failureSince(beforeReadout));
            object.insert(QStringLiteral("kind"), QStringLiteral("incomplete"));
            report(object,
                   QStringLiteral("address %1: a board whose readout is incomplete (%2)")
                       .arg(address)
                       .arg(answer.readout.labelLines().join(QStringLiteral("; "))),
                   false);
            break;
        case Answer::Board:
            object.insert(QStringLiteral("kind"), QStringLiteral("board"));
            report(object,
                   QStringLiteral("%1: %2").arg(address).arg(answer.readout.labelLines().join(QStringLiteral("; "))),
                   true);
            break;
        }
    });

    const LineScan::Summary summary = lineScan.run(options.scanFrom, options.scanTo, options.scanTimeoutMs);

    if (terminal)
        std::fprintf(stderr, "\r\033[K");
    int code = readoutCode;
    if (summary.oddAnswers > 0)
        code = qMax(code, int(ExitCode::WrongReply));
    if (summary.shared > 0)
        code = qMax(code, int(ExitCode::DuplicateAddress));
    if (!summary.anyAnswer())
        code = ExitCode::NoReply;
    // The summary is the account of a failed scan, and only progress otherwise.
    const QString account = QStringLiteral("scan: %1 addresses (%2 to %3) in %4 s: %5 boards, %6 odd answers, "
                                           "%7 incomplete readouts, %8 shared addresses")
                                .arg(summary.total())
                                .arg(summary.from)
                                .arg(summary.to)
                                .arg(double(summary.elapsedMs) / 1000.0, 0, 'f', 1)
                                .arg(summary.boards)
                                .arg(summary.oddAnswers)
                                .arg(summary.incomplete)
                                .arg(summary.shared);
    if (ExitCode::isFailure(code))
        Console::err(account);
    else
        Console::progress(account);
    return code;
}
