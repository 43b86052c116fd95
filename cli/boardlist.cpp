#include "boardlist.h"

#include "clicommands.h"
#include "console.h"
#include "exitcode.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVector>

namespace {

constexpr int kNotTried = -1;

} // namespace

BoardList::BoardList(const CliOptions& options)
    : options(options)
{
}

QString BoardList::outcomeText(int exitCode)
{
    switch (exitCode) {
    case kNotTried: return QStringLiteral("skipped");
    case ExitCode::Ok: return QStringLiteral("ok");
    case ExitCode::Usage: return QStringLiteral("usage");
    case ExitCode::CannotConnect: return QStringLiteral("cannot connect");
    case ExitCode::NoReply: return QStringLiteral("no reply");
    case ExitCode::WrongReply: return QStringLiteral("wrong reply");
    case ExitCode::FileRefused: return QStringLiteral("file refused");
    case ExitCode::TransferFailed: return QStringLiteral("transfer failed");
    case ExitCode::FlashRefused: return QStringLiteral("flash refused");
    default: return QStringLiteral("exit %1").arg(exitCode);
    }
}

int BoardList::run()
{
    // One file per board: without %a every board would overwrite the last.
    if (options.command == QLatin1String("config-read") && !options.arguments.value(0).contains(QLatin1String("%a"))) {
        Console::setStep(QStringLiteral("command line"));
        Console::note(QStringLiteral("config-read with a list of addresses wants %a in the file name "
                                     "(it becomes each address), e.g. board-%a.json"));
        return ExitCode::Usage;
    }

    struct Row
    {
        int address = 0;
        int exitCode = kNotTried;
        qint64 ms = 0;
        QJsonObject object;
    };
    QVector<Row> rows;
    for (int address : options.addresses)
        rows.append({ address, kNotTried, 0, QJsonObject() });

    int worst = ExitCode::Ok;
    for (int i = 0; i < rows.size(); ++i) {
        Row& row = rows[i];
        CliOptions one = options;
        one.addresses = { row.address };
        one.link.deviceAddress = row.address;
        if (one.command == QLatin1String("config-read"))
            one.arguments[0].replace(QLatin1String("%a"), QString::number(row.address));
        Console::progress(QStringLiteral("== address %1 (%2 of %3) ==").arg(row.address).arg(i + 1).arg(rows.size()));

        QJsonArray output;
        CliCommands commands(one);
        if (options.json) {
            // info's readout, apply's report: under the subcommand's name.
            commands.setJsonSink([&row, this](const QJsonObject& object) { row.object.insert(options.command, object); });
            Console::setOutSink([&output](const QString& line) { output.append(line); });
        } else {
            // Each result line says which board it is about.
            Console::setOutPrefix(QStringLiteral("%1: ").arg(row.address));
        }
        QElapsedTimer clock;
        clock.start();
        Console::resetFailure();
        row.exitCode = commands.run();
        row.ms = clock.elapsed();
        Console::setOutSink(nullptr);
        Console::setOutPrefix(QString());
        if (!output.isEmpty())
            row.object.insert(QStringLiteral("output"), output);
        // Each board's object carries its failure as a run alone prints it.
        if (options.json && ExitCode::isFailure(row.exitCode)) {
            const QJsonObject failure = Console::takeFailure(row.exitCode);
            for (auto field = failure.constBegin(); field != failure.constEnd(); ++field)
                row.object.insert(field.key(), field.value());
        }
        worst = qMax(worst, row.exitCode);
        if (row.exitCode != ExitCode::Ok && !options.keepGoing) {
            if (i + 1 < rows.size())
                Console::remark(QStringLiteral("stopped at address %1 (--keep-going would go on)").arg(row.address));
            break;
        }
    }

    if (options.json) {
        for (Row& row : rows) {
            row.object.insert(QStringLiteral("address"), row.address);
            row.object.insert(QStringLiteral("outcome"), outcomeText(row.exitCode));
            row.object.insert(QStringLiteral("exitCode"), row.exitCode == kNotTried ? QJsonValue() : QJsonValue(row.exitCode));
            row.object.insert(QStringLiteral("seconds"), double(row.ms) / 1000.0);
            Console::out(QString::fromUtf8(QJsonDocument(row.object).toJson(QJsonDocument::Compact)));
        }
    } else {
        Console::out(QStringLiteral("address  outcome          exit  time"));
        for (const Row& row : rows) {
            Console::out(QStringLiteral("%1  %2  %3  %4")
                             .arg(row.address, 7)
                             .arg(outcomeText(row.exitCode), -15)
                             .arg(row.exitCode == kNotTried ? QStringLiteral("-") : QString::number(row.exitCode), 4)
                             .arg(row.exitCode == kNotTried ? QStringLiteral("-")
                                                            : QStringLiteral("%1 s").arg(double(row.ms) / 1000.0, 0, 'f', 1)));
        }
    }
    return worst;
}
