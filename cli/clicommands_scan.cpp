#include "clicommands.h"

#include "boardreadout.h"
#include "commandexchange.h"
#include "commandset.h"
#include "connectorserial.h"
#include "console.h"
#include "exitcode.h"
#include "framecodec.h"
#include "linkopener.h"
#include "printabletext.h"
#include "replyparsers.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

// The line scan: every address asked for its firmware version, each board that
// answers read out as info does. Only a board that answered alone and whose
// readout came back whole is listed as a board; anything else is reported and
// said by the exit code.

namespace {

struct PassedOver
{
    int32_t status;
    QByteArray frame;
};

QJsonValue versionOf(const QByteArray& reply)
{
    const std::optional<QString> version = parseFirmwareVersionReply(reply);
    return version ? QJsonValue(*version) : QJsonValue();
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
    QVector<PassedOver> passed;
    framed->setPassedOverCallback([&passed](int32_t status, const QByteArray& frame) { passed.append({ status, frame }); });
    link = QSharedPointer<WatchedConnector>::create(transport);
    link->setExtraWait(options.extraWaitMs);
    if (options.trace)
        link->setTrace([](const QString& line) { Console::trace(line); });
    Console::setStep(QStringLiteral("scan"));

    // The redrawn progress line is progress too: --quiet leaves it out.
    const bool terminal = !Console::quiet() && ::isatty(::fileno(stderr)) == 1;
    const int total = options.scanTo - options.scanFrom + 1;
    int boards = 0;
    int oddAnswers = 0;
    int incomplete = 0;
    int shared = 0;
    // The worst outcome met among the readouts (the highest code).
    int readoutCode = ExitCode::Ok;
    QElapsedTimer clock;
    clock.start();

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
    // A second board on the same address answers the same request; whatever
    // comes for the address in the rest of its wait is that.
    auto listen = [this](qint64 ms) {
        if (ms < 1)
            return QByteArray();
        const int kept = link->getTimeout();
        link->setTimeout(int(ms));
        const QByteArray reply = link->read();
        link->setTimeout(kept);
        return reply;
    };

    for (int address = options.scanFrom; address <= options.scanTo; ++address) {
        const int asked = address - options.scanFrom + 1;
        if (terminal)
            std::fprintf(stderr, "\rscan: address %d (%d of %d), %d found ", address, asked, total, boards);
        else if (asked % 32 == 1)
            Console::progress(QStringLiteral("scan: address %1 (%2 of %3), %4 found").arg(address).arg(asked).arg(total).arg(boards));

        link->setDevID(static_cast<unsigned char>(address));
        // A garbled answer may be a collision on the line: the address is
        // asked once more before it counts as no board.
        ExchangeResult version;
        QElapsedTimer wait;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int passedBefore = passed.size();
            wait.start();
            // No late-reply grace: --timeout is the whole wait per address, and
            // an answer that comes later still names its board's address, so
            // it is reported as a foreign answer rather than taken.
            version = CommandExchange(link.data())
                          .transact(QByteArray(1, char(Command::ReadFirmwareVersion)), options.scanTimeoutMs,
                                    CommandExchange::AfterWrite(), 0);
            if (version.answered() || passed.size() == passedBefore)
                break;
        }
        const bool versionValid = version.answered() && parseFirmwareVersionReply(version.reply);
        const QByteArray second = versionValid ? listen(options.scanTimeoutMs - wait.elapsed()) : QByteArray();

        for (const PassedOver& odd : passed) {
            ++oddAnswers;
            QJsonObject object;
            object.insert(QStringLiteral("address"), address);
            QString text;
            if (odd.status == UnpackForeignAddress) {
                const qint64 from = qint64(FrameCodec::frameAddress(odd.frame).value_or(0));
                object.insert(QStringLiteral("kind"), QStringLiteral("foreign-address"));
                object.insert(QStringLiteral("frameAddress"), from);
                text = QStringLiteral("address %1: an answer framed for address %2 (a late answer or a board with "
                                      "another address); not taken for a board")
                           .arg(address)
                           .arg(from);
            } else {
                object.insert(QStringLiteral("kind"), QStringLiteral("bad-checksum"));
                text = QStringLiteral("address %1: a frame with a bad checksum (garbage or two boards answering); "
                                      "not taken for a board")
                           .arg(address);
            }
            object.insert(QStringLiteral("frame"), QString::fromLatin1(odd.frame.toHex(' ')));
            report(object, text, false);
        }
        passed.clear();

        if (!version.answered())
            continue;
        if (!versionValid) {
            ++oddAnswers;
            QJsonObject object;
            object.insert(QStringLiteral("address"), address);
            object.insert(QStringLiteral("kind"), QStringLiteral("wrong-reply"));
            object.insert(QStringLiteral("reply"), QString::fromLatin1(version.reply.toHex(' ')));
            report(object,
                   QStringLiteral("address %1: a reply that is no firmware version (%2); not taken for a board")
                       .arg(address)
                       .arg(QString::fromLatin1(version.reply.toHex(' '))),
                   false);
            continue;
        }
        if (!second.isEmpty()) {
            // Two boards' answers to the readout would mix: none is read out.
            ++shared;
            QJsonObject object;
            object.insert(QStringLiteral("address"), address);
            object.insert(QStringLiteral("kind"), QStringLiteral("duplicate-address"));
            object.insert(QStringLiteral("firmwareVersions"), QJsonArray { versionOf(version.reply), versionOf(second) });
            object.insert(QStringLiteral("replies"), QJsonArray { QString::fromLatin1(version.reply.toHex(' ')),
                                                                  QString::fromLatin1(second.toHex(' ')) });
            auto shown = [](const QByteArray& reply) {
                const QJsonValue text = versionOf(reply);
                return text.isString() ? QStringLiteral("\"%1\"").arg(text.toString())
                                       : QStringLiteral("(%1)").arg(QString::fromLatin1(reply.toHex(' ')));
            };
            report(object,
                   QStringLiteral("address %1: two answers to one request, firmware %2 and %3: more than one board "
                                  "has this address; not read out")
                       .arg(address)
                       .arg(shown(version.reply), shown(second)),
                   false);
            continue;
        }

        const WatchedConnector::Tally before = link->tally();
        BoardReadout reading(link.data());
        reading.run(true);
        passed.clear();
        QJsonObject object = reading.toJson();
        object.insert(QStringLiteral("address"), address);
        const QString lines = reading.labelLines().join(QStringLiteral("; "));
        if (!reading.complete()) {
            // It answered, so something is there, but not a board that can be vouched for.
            ++incomplete;
            readoutCode = qMax(readoutCode, failureSince(before));
            object.insert(QStringLiteral("kind"), QStringLiteral("incomplete"));
            report(object, QStringLiteral("address %1: a board whose readout is incomplete (%2)").arg(address).arg(lines),
                   false);
            continue;
        }
        ++boards;
        object.insert(QStringLiteral("kind"), QStringLiteral("board"));
        report(object, QStringLiteral("%1: %2").arg(address).arg(lines), true);
    }

    if (terminal)
        std::fprintf(stderr, "\r\033[K");
    int code = readoutCode;
    if (oddAnswers > 0)
        code = qMax(code, int(ExitCode::WrongReply));
    if (shared > 0)
        code = qMax(code, int(ExitCode::DuplicateAddress));
    if (boards + incomplete + shared + oddAnswers == 0)
        code = ExitCode::NoReply;
    // The summary is the account of a failed scan, and only progress otherwise.
    const QString summary = QStringLiteral("scan: %1 addresses (%2 to %3) in %4 s: %5 boards, %6 odd answers, "
                                           "%7 incomplete readouts, %8 shared addresses")
                                .arg(total)
                                .arg(options.scanFrom)
                                .arg(options.scanTo)
                                .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1)
                                .arg(boards)
                                .arg(oddAnswers)
                                .arg(incomplete)
                                .arg(shared);
    if (ExitCode::isFailure(code))
        Console::err(summary);
    else
        Console::progress(summary);
    return code;
}
