#include "clicommands.h"

#include "boardreadout.h"
#include "commandexchange.h"
#include "commandset.h"
#include "connectorserial.h"
#include "console.h"
#include "exitcode.h"
#include "framecodec.h"
#include "linkopener.h"
#include "replyparsers.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <unistd.h>

// The line scan: every address asked for its firmware version, each board that
// answers read out as info does.

namespace {

struct PassedOver
{
    int32_t status;
    QByteArray frame;
};

quint32 addressOfFrame(const QByteArray& frame)
{
    return frame.size() < 6 ? 0 : quint32(quint8(frame.at(4))) | (quint32(quint8(frame.at(5))) << 8);
}

} // namespace

int CliCommands::scan()
{
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
    if (options.trace)
        link->setTrace([](const QString& line) { Console::err(line); });

    const bool terminal = ::isatty(::fileno(stderr)) == 1;
    const int total = options.scanTo - options.scanFrom + 1;
    int boards = 0;
    int oddAnswers = 0;
    QElapsedTimer clock;
    clock.start();

    auto report = [this](const QJsonObject& object, const QString& text, bool isBoard) {
        if (options.json)
            Console::out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        else if (isBoard)
            Console::out(text);
        else
            Console::note(text);
    };

    for (int address = options.scanFrom; address <= options.scanTo; ++address) {
        const int asked = address - options.scanFrom + 1;
        if (terminal)
            std::fprintf(stderr, "\rscan: address %d (%d of %d), %d found ", address, asked, total, boards);
        else if (asked % 32 == 1)
            Console::err(QStringLiteral("scan: address %1 (%2 of %3), %4 found").arg(address).arg(asked).arg(total).arg(boards));

        link->setDevID(static_cast<unsigned char>(address));
        // A garbled answer may be a collision on the line: the address is
        // asked once more before it counts as no board.
        ExchangeResult version;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const int passedBefore = passed.size();
            // No late-reply grace: --timeout is the whole wait per address, and
            // an answer that comes later still names its board's address, so
            // it is reported as a foreign answer rather than taken.
            version = CommandExchange(link.data())
                          .transact(QByteArray(1, char(Command::ReadFirmwareVersion)), options.scanTimeoutMs,
                                    CommandExchange::AfterWrite(), 0);
            if (version.answered() || passed.size() == passedBefore)
                break;
        }

        for (const PassedOver& odd : passed) {
            ++oddAnswers;
            QJsonObject object;
            object.insert(QStringLiteral("address"), address);
            QString text;
            if (odd.status == UnpackForeignAddress) {
                const quint32 from = addressOfFrame(odd.frame);
                object.insert(QStringLiteral("kind"), QStringLiteral("foreign-address"));
                object.insert(QStringLiteral("frameAddress"), qint64(from));
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
        if (!parseFirmwareVersionReply(version.reply)) {
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

        ++boards;
        BoardReadout reading(link.data());
        reading.run(true);
        passed.clear();
        QJsonObject object = reading.toJson();
        object.insert(QStringLiteral("address"), address);
        object.insert(QStringLiteral("kind"), QStringLiteral("board"));
        if (terminal)
            std::fprintf(stderr, "\r\033[K");
        report(object, QStringLiteral("%1: %2").arg(address).arg(reading.labelLines().join(QStringLiteral("; "))), true);
    }

    if (terminal)
        std::fprintf(stderr, "\r\033[K");
    Console::err(QStringLiteral("scan: %1 addresses (%2 to %3) in %4 s: %5 boards, %6 odd answers")
                     .arg(total)
                     .arg(options.scanFrom)
                     .arg(options.scanTo)
                     .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1)
                     .arg(boards)
                     .arg(oddAnswers));
    if (oddAnswers > 0)
        return ExitCode::WrongReply;
    return boards > 0 ? ExitCode::Ok : ExitCode::NoReply;
}
