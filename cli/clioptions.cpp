#include "clioptions.h"

#include <QCommandLineParser>
#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QVector>

namespace {

struct SubcommandRule
{
    const char* name;
    int argumentCount;
    const char* argumentName;
    // The exit codes it can end with, for its own --help; all of them when null.
    const char* exitCodes;
};

const SubcommandRule subcommands[] = {
    { "info", 0, "", "0 2 3 4 5" },
    { "config-read", 1, "FILE", "0 2 3 4 5 6" },
    { "config-write", 1, "FILE", "0 2 3 4 5 6 9" },
    { "config-diff", 1, "FILE", "0 1 2 3 4 5 6" },
    { "apply", 1, "FILE", "0 2 3 4 5 6 7 8 9 10" },
    { "firmware", 1, "FILE", "0 2 3 4 5 6 7 8" },
    { "flash", 0, "", "0 2 3 4 5 8" },
    { "reboot", 0, "", "0 2 3 4 5" },
    { "mode", 1, "main|boot", "0 2 3 4 5" },
    { "scan", 0, "", "0 2 3 4 5 11" },
    { "update", 1, "FILE", "0 2 3 4 5 6 7 8 10" },
    { "ports", 0, "", "0 2" },
};

// Subcommands that may work through a list of addresses.
bool takesAddressList(const QString& command)
{
    for (const char* name : { "info", "config-read", "config-write", "apply", "update", "reboot", "mode" }) {
        if (command == QLatin1String(name))
            return true;
    }
    return false;
}

const SubcommandRule* findSubcommand(const QString& name)
{
    for (const SubcommandRule& rule : subcommands) {
        if (name == QLatin1String(rule.name))
            return &rule;
    }
    return nullptr;
}

// Edits (insert, delete, change, swap two neighbours) from one word to the
// other, ignoring case: "infp", "INFO" and "ifno" are all near "info".
int editDistance(const QString& typed, const QString& name)
{
    const QString a = typed.toLower();
    const QString b = name.toLower();
    QVector<QVector<int>> d(a.size() + 1, QVector<int>(b.size() + 1));
    for (int i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (int j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (int i = 1; i <= a.size(); ++i) {
        for (int j = 1; j <= b.size(); ++j) {
            const int change = a.at(i - 1) == b.at(j - 1) ? 0 : 1;
            d[i][j] = qMin(qMin(d[i - 1][j] + 1, d[i][j - 1] + 1), d[i - 1][j - 1] + change);
            if (i > 1 && j > 1 && a.at(i - 1) == b.at(j - 2) && a.at(i - 2) == b.at(j - 1))
                d[i][j] = qMin(d[i][j], d[i - 2][j - 2] + 1);
        }
    }
    return d[a.size()][b.size()];
}

// A help section title: a line of its own ending in ':' ("Exit codes:").
bool isSectionTitle(const QString& line)
{
    return !line.isEmpty() && !line.startsWith(QLatin1Char(' ')) && line.endsWith(QLatin1Char(':'));
}

// Decimal digits only: "0x10", "+5" or " 7" are typing mistakes on a command line.
bool parseDecimal(const QString& text, qint64 low, qint64 high, qint64* value)
{
    if (text.isEmpty() || text.size() > 10)
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    const qint64 v = text.toLongLong();
    if (v < low || v > high)
        return false;
    *value = v;
    return true;
}

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; a bare IPv6 address (two colons or
// more) has no port.
bool parseTcpTarget(const QString& text, QString* host, quint16* port, QString* error)
{
    QString hostText = text;
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = text.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = QStringLiteral("--tcp: missing ']' in \"%1\"").arg(text);
            return false;
        }
        hostText = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                *error = QStringLiteral("--tcp: unexpected \"%1\" after the address").arg(rest);
                return false;
            }
            portText = rest.mid(1);
            if (portText.isEmpty()) {
                *error = QStringLiteral("--tcp: the port after ':' is missing");
                return false;
            }
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const int colon = text.indexOf(QLatin1Char(':'));
        hostText = text.left(colon);
        portText = text.mid(colon + 1);
        if (portText.isEmpty()) {
            *error = QStringLiteral("--tcp: the port after ':' is missing");
            return false;
        }
    }
    if (hostText.trimmed().isEmpty()) {
        *error = QStringLiteral("--tcp: the host is missing");
        return false;
    }
    qint64 value = LinkOptions::defaultTcpPort;
    if (!portText.isEmpty() && !parseDecimal(portText, 0, 65535, &value)) {
        *error = QStringLiteral("--tcp: the port must be a number from 0 to 65535, not \"%1\"").arg(portText);
        return false;
    }
    *host = hostText;
    *port = quint16(value);
    return true;
}

// "1-20,25": single addresses and inclusive ranges, 0 to 65535, each once.
// The frames carry only an address's low byte, so 1 and 257 are one board on
// the line: a list naming both would work on it twice, and is refused.
bool parseAddressList(const QString& text, QList<int>* list, QString* error)
{
    list->clear();
    QHash<quint8, int> onTheLine; // low byte -> the address given for it
    const QStringList items = text.split(QLatin1Char(','));
    for (const QString& item : items) {
        const QStringList ends = item.split(QLatin1Char('-'));
        qint64 low = 0;
        qint64 high = 0;
        if (ends.size() > 2 || !parseDecimal(ends.first(), 0, 65535, &low)
            || !parseDecimal(ends.last(), 0, 65535, &high) || high < low) {
            *error = QStringLiteral("--address wants a number from 0 to 65535, or a list such as 1-20,25, "
                                    "not \"%1\"").arg(item);
            return false;
        }
        for (qint64 a = low; a <= high; ++a) {
            const auto given = onTheLine.constFind(quint8(a));
            if (given != onTheLine.constEnd()) {
                *error = given.value() == a
                    ? QStringLiteral("--address names %1 twice").arg(a)
                    : QStringLiteral("--address names %1 and %2, which are one board: the frames carry only the "
                                     "low byte of an address (both are %3 on the line)")
                          .arg(given.value())
                          .arg(a)
                          .arg(quint8(a));
                return false;
            }
            onTheLine.insert(quint8(a), int(a));
            list->append(int(a));
        }
    }
    return true;
}

QString parityName(QSerialPort::Parity parity)
{
    switch (parity) {
    case QSerialPort::EvenParity: return QStringLiteral("Even");
    case QSerialPort::OddParity: return QStringLiteral("Odd");
    default: return QStringLiteral("None");
    }
}

} // namespace

QString LinkOptions::describe() const
{
    switch (kind) {
    case Kind::Tcp:
        return (host.contains(QLatin1Char(':')) ? QStringLiteral("[%1]:%2") : QStringLiteral("%1:%2"))
            .arg(host)
            .arg(tcpPort);
    case Kind::Serial:
        return QStringLiteral("Port=%1, Baud=%2, DataBits=%3, Parity=%4, StopBits=%5, DeviceId=%6")
            .arg(portName)
            .arg(baudRate)
            .arg(dataBits)
            .arg(parityName(parity))
            .arg(stopBits)
            .arg(deviceAddress);
    case Kind::Usb:
        return QStringLiteral("%1 (USB COM)").arg(portName);
    case Kind::None:
        break;
    }
    return QString();
}

CliOptions CliOptions::parse(const QStringList& arguments, Outcome* outcome)
{
    CliOptions options;
    auto fail = [&](const QString& why) {
        options.error = why;
        *outcome = Outcome::Invalid;
        return options;
    };

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList { QStringLiteral("h"), QStringLiteral("help") });
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption tcp(QStringLiteral("tcp"), QString(), QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption serial(QStringLiteral("serial"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption usb(QStringLiteral("usb"), QString(), QStringLiteral("PORT"));
    const QCommandLineOption baud(QStringLiteral("baud"), QString(), QStringLiteral("RATE"));
    const QCommandLineOption dataBits(QStringLiteral("data-bits"), QString(), QStringLiteral("N"));
    const QCommandLineOption parity(QStringLiteral("parity"), QString(), QStringLiteral("none|even|odd"));
    const QCommandLineOption stopBits(QStringLiteral("stop-bits"), QString(), QStringLiteral("1|2"));
    const QCommandLineOption address(QStringLiteral("address"), QString(), QStringLiteral("N"));
    const QCommandLineOption flash(QStringLiteral("flash"));
    const QCommandLineOption noFlash(QStringLiteral("no-flash"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption trace(QStringLiteral("trace"));
    const QCommandLineOption quiet(QStringLiteral("quiet"));
    const QCommandLineOption noLog(QStringLiteral("no-log"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"));
    const QCommandLineOption keepGoing(QStringLiteral("keep-going"));
    const QCommandLineOption connectTimeout(QStringLiteral("connect-timeout"), QString(), QStringLiteral("MS"));
    const QCommandLineOption retries(QStringLiteral("retries"), QString(), QStringLiteral("N"));
    const QCommandLineOption extraWait(QStringLiteral("extra-wait"), QString(), QStringLiteral("MS"));
    const QCommandLineOption check(QStringLiteral("check"));
    const QCommandLineOption firmwareFile(QStringLiteral("firmware"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption firmwareVersion(QStringLiteral("firmware-version"), QString(), QStringLiteral("X.Y.Z"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("A"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("B"));
    const QCommandLineOption timeout(QStringLiteral("timeout"), QString(), QStringLiteral("MS"));
    parser.addOptions({ help, version, tcp, serial, usb, baud, dataBits, parity, stopBits, address, flash, noFlash,
                        json, trace, noLog, noVerify, keepGoing, check, firmwareFile, firmwareVersion, from, to,
                        timeout, quiet, connectTimeout, retries, extraWait });

    const bool parsed = parser.parse(arguments);
    // Known even on a line refused below: a script that asked for JSON gets its refusal as JSON.
    options.json = parser.isSet(json);
    options.quiet = parser.isSet(quiet);
    if (!parsed)
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        // "info --help" is the help of info; an unknown word gets the whole help.
        const QString named = parser.positionalArguments().value(0);
        if (findSubcommand(named))
            options.command = named;
        *outcome = Outcome::Help;
        return options;
    }
    if (parser.isSet(version)) {
        *outcome = Outcome::Version;
        return options;
    }

    // Options given twice would leave the reader guessing which one counts.
    for (const QCommandLineOption* option :
         { &tcp, &serial, &usb, &baud, &dataBits, &parity, &stopBits, &address, &firmwareFile, &firmwareVersion, &from,
           &to, &timeout, &connectTimeout, &retries, &extraWait }) {
        if (parser.values(*option).size() > 1)
            return fail(QStringLiteral("--%1 is given more than once").arg(option->names().first()));
    }

    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return fail(QStringLiteral("no subcommand given (try --help)"));
    options.command = positional.first();
    options.arguments = positional.mid(1);
    const SubcommandRule* rule = findSubcommand(options.command);
    if (!rule) {
        const QString near = nearestSubcommand(options.command);
        if (!near.isEmpty())
            return fail(QStringLiteral("unknown subcommand \"%1\"; did you mean \"%2\"? (try --help)")
                            .arg(options.command, near));
        return fail(QStringLiteral("unknown subcommand \"%1\" (try --help)").arg(options.command));
    }
    if (options.arguments.size() != rule->argumentCount) {
        if (rule->argumentCount == 0)
            return fail(QStringLiteral("%1 takes no argument, got \"%2\"").arg(options.command, options.arguments.first()));
        return fail(QStringLiteral("%1 wants %2").arg(options.command, QLatin1String(rule->argumentName)));
    }
    if (options.command == QLatin1String("mode")) {
        const QString target = options.arguments.first();
        if (target != QLatin1String("main") && target != QLatin1String("boot"))
            return fail(QStringLiteral("mode wants main or boot, not \"%1\"").arg(target));
    }

    // Listing this machine's ports reaches no board: no link, only --json.
    if (options.command == QLatin1String("ports")) {
        for (const QCommandLineOption* option : { &tcp, &serial, &usb, &baud, &dataBits, &parity, &stopBits, &address,
                                                  &flash, &noFlash, &keepGoing, &from, &to, &timeout, &check,
                                                  &firmwareFile, &firmwareVersion, &connectTimeout, &retries,
                                                  &extraWait }) {
            if (parser.isSet(*option))
                return fail(QStringLiteral("ports lists this machine's serial ports; --%1 does not belong to it")
                                .arg(option->names().first()));
        }
        options.json = parser.isSet(json);
        *outcome = Outcome::Run;
        return options;
    }

    // Options that belong to one subcommand.
    if (parser.isSet(flash) && parser.isSet(noFlash))
        return fail(QStringLiteral("--flash and --no-flash exclude each other"));
    if ((parser.isSet(flash) || parser.isSet(noFlash)) && options.command != QLatin1String("firmware"))
        return fail(QStringLiteral("--flash and --no-flash belong to the firmware subcommand"));
    if (parser.isSet(noVerify) && options.command != QLatin1String("config-write"))
        return fail(QStringLiteral("--no-verify belongs to the config-write subcommand"));
    const bool apply = options.command == QLatin1String("apply");
    if ((parser.isSet(check) || parser.isSet(firmwareFile) || parser.isSet(firmwareVersion)) && !apply)
        return fail(QStringLiteral("--check, --firmware and --firmware-version belong to the apply subcommand"));
    if (parser.isSet(firmwareFile) != parser.isSet(firmwareVersion))
        return fail(QStringLiteral("--firmware and --firmware-version go together: the version is how a board "
                                   "already running that firmware is told apart"));
    if (parser.isSet(firmwareFile)) {
        options.firmwarePath = parser.value(firmwareFile);
        options.firmwareVersion = parser.value(firmwareVersion).trimmed();
        if (options.firmwarePath.isEmpty() || options.firmwareVersion.isEmpty())
            return fail(QStringLiteral("--firmware wants a file and --firmware-version a version, e.g. 0.0.7"));
    }
    options.checkOnly = parser.isSet(check);
    const bool scan = options.command == QLatin1String("scan");
    if ((parser.isSet(from) || parser.isSet(to) || parser.isSet(timeout)) && !scan)
        return fail(QStringLiteral("--from, --to and --timeout belong to the scan subcommand"));
    if (scan && parser.isSet(address))
        return fail(QStringLiteral("scan asks every address from --from to --to; --address does not belong to it"));
    if (parser.isSet(address)) {
        QString why;
        if (!parseAddressList(parser.value(address), &options.addresses, &why))
            return fail(why);
        if (options.isList() && !takesAddressList(options.command))
            return fail(QStringLiteral("%1 takes one address, not a list").arg(options.command));
        // Standard input can be read once: board 2 would get nothing.
        if (options.isList() && options.command == QLatin1String("config-write")
            && options.arguments.first() == QLatin1String("-"))
            return fail(QStringLiteral("config-write - reads standard input once; a list of addresses wants a file"));
    }
    if (parser.isSet(keepGoing) && !options.isList())
        return fail(QStringLiteral("--keep-going belongs to a list of addresses (--address 1-20,25)"));
    options.keepGoing = parser.isSet(keepGoing);
    if (parser.isSet(json) && options.command != QLatin1String("info") && options.command != QLatin1String("config-diff")
        && !apply && !scan && options.command != QLatin1String("update") && !options.isList())
        return fail(QStringLiteral("--json belongs to the info, config-diff, apply, scan and update subcommands and "
                                   "to lists of addresses"));
    if (scan) {
        qint64 v = 0;
        if (parser.isSet(from)) {
            if (!parseDecimal(parser.value(from), 0, 255, &v))
                return fail(QStringLiteral("--from wants an address from 0 to 255, not \"%1\"").arg(parser.value(from)));
            options.scanFrom = int(v);
        }
        if (parser.isSet(to)) {
            if (!parseDecimal(parser.value(to), 0, 255, &v))
                return fail(QStringLiteral("--to wants an address from 0 to 255, not \"%1\"").arg(parser.value(to)));
            options.scanTo = int(v);
        }
        if (options.scanTo < options.scanFrom)
            return fail(QStringLiteral("--to %1 lies before --from %2").arg(options.scanTo).arg(options.scanFrom));
        if (parser.isSet(timeout)) {
            if (!parseDecimal(parser.value(timeout), 1, 60000, &v))
                return fail(QStringLiteral("--timeout wants 1 to 60000 ms, not \"%1\"").arg(parser.value(timeout)));
            options.scanTimeoutMs = int(v);
        }
    }
    // A gateway over a slow network: the defaults stay those of the window.
    qint64 wait = 0;
    if (parser.isSet(retries)) {
        const QString command = options.command;
        if (command != QLatin1String("firmware") && command != QLatin1String("update") && command != QLatin1String("apply"))
            return fail(QStringLiteral("--retries belongs to the firmware, update and apply subcommands"));
        if (!parseDecimal(parser.value(retries), 0, 20, &wait))
            return fail(QStringLiteral("--retries wants 0 to 20, not \"%1\"").arg(parser.value(retries)));
        options.retries = int(wait);
    }
    if (parser.isSet(extraWait)) {
        if (!parseDecimal(parser.value(extraWait), 0, 600000, &wait))
            return fail(QStringLiteral("--extra-wait wants 0 to 600000 ms, not \"%1\"").arg(parser.value(extraWait)));
        options.extraWaitMs = int(wait);
    }
    if (parser.isSet(connectTimeout)) {
        if (!parser.isSet(tcp))
            return fail(QStringLiteral("--connect-timeout belongs to --tcp (a serial port opens at once)"));
        if (!parseDecimal(parser.value(connectTimeout), 1, 600000, &wait))
            return fail(QStringLiteral("--connect-timeout wants 1 to 600000 ms, not \"%1\"")
                            .arg(parser.value(connectTimeout)));
        options.link.connectTimeoutMs = int(wait);
    }
    options.flashAfterCopy = !parser.isSet(noFlash);
    options.trace = parser.isSet(trace);
    options.operationsLog = !parser.isSet(noLog);
    options.verifyWrites = !parser.isSet(noVerify);

    // The link: exactly one of the three.
    const int links = int(parser.isSet(tcp)) + int(parser.isSet(serial)) + int(parser.isSet(usb));
    if (links == 0)
        return fail(QStringLiteral("say how to reach the board: --tcp, --serial or --usb"));
    if (links > 1)
        return fail(QStringLiteral("--tcp, --serial and --usb exclude each other"));

    LinkOptions& link = options.link;
    const bool lineOptionGiven =
        parser.isSet(baud) || parser.isSet(dataBits) || parser.isSet(parity) || parser.isSet(stopBits);
    if (parser.isSet(tcp)) {
        link.kind = LinkOptions::Kind::Tcp;
        QString why;
        if (!parseTcpTarget(parser.value(tcp), &link.host, &link.tcpPort, &why))
            return fail(why);
    } else {
        link.kind = parser.isSet(serial) ? LinkOptions::Kind::Serial : LinkOptions::Kind::Usb;
        link.portName = parser.value(parser.isSet(serial) ? serial : usb);
        if (link.portName.isEmpty())
            return fail(QStringLiteral("the serial port name is empty"));
    }
    if (lineOptionGiven && link.kind != LinkOptions::Kind::Serial)
        return fail(QStringLiteral("--baud, --data-bits, --parity and --stop-bits belong to --serial "
                                   "(USB COM always runs at 115200 8N1)"));

    qint64 value = 0;
    if (parser.isSet(baud)) {
        if (!parseDecimal(parser.value(baud), 1, 0x7FFFFFFF, &value))
            return fail(QStringLiteral("--baud wants a positive number, not \"%1\"").arg(parser.value(baud)));
        link.baudRate = int(value);
    }
    if (parser.isSet(dataBits)) {
        if (!parseDecimal(parser.value(dataBits), 5, 8, &value))
            return fail(QStringLiteral("--data-bits wants 5, 6, 7 or 8, not \"%1\"").arg(parser.value(dataBits)));
        link.dataBits = int(value);
    }
    if (parser.isSet(parity)) {
        const QString text = parser.value(parity).toLower();
        if (text == QLatin1String("none"))
            link.parity = QSerialPort::NoParity;
        else if (text == QLatin1String("even"))
            link.parity = QSerialPort::EvenParity;
        else if (text == QLatin1String("odd"))
            link.parity = QSerialPort::OddParity;
        else
            return fail(QStringLiteral("--parity wants none, even or odd, not \"%1\"").arg(parser.value(parity)));
    }
    if (parser.isSet(stopBits)) {
        if (!parseDecimal(parser.value(stopBits), 1, 2, &value))
            return fail(QStringLiteral("--stop-bits wants 1 or 2, not \"%1\"").arg(parser.value(stopBits)));
        link.stopBits = int(value);
    }
    if (parser.isSet(address)) {
        if (link.kind == LinkOptions::Kind::Usb)
            return fail(QStringLiteral("--address has no meaning over USB COM (one board per port, no frames)"));
        link.deviceAddress = options.addresses.first();
    } else {
        options.addresses = { link.deviceAddress };
    }
    if (scan && link.kind == LinkOptions::Kind::Usb)
        return fail(QStringLiteral("scan needs device addresses: USB COM carries one board and no addresses; "
                                   "use --serial or --tcp"));

    *outcome = Outcome::Run;
    return options;
}

QString CliOptions::helpText()
{
    return QStringLiteral(
        "Usage: quorvel-cli LINK [OPTIONS] SUBCOMMAND [ARGUMENT]\n"
        "  or:  quorvel-cli ports [--json]\n"
        "\n"
        "Talks to one board of the family over the same transports and commands as the\n"
        "Quorvel window. Progress and diagnostics go to standard error.\n"
        "\n"
        "Subcommands:\n"
        "  info                 Board type, firmware version, running mode, bootloader\n"
        "                       version and error code (--json: one JSON object).\n"
        "  config-read FILE     Save the DI/DO, RS-485 and protocol settings as JSON\n"
        "                       (FILE - writes to standard output). Main firmware only.\n"
        "  config-write FILE    Write such a file back (FILE - reads standard input,\n"
        "                       one address only).\n"
        "                       A file made for another board type or block layout is\n"
        "                       refused before anything is sent. Main firmware only.\n"
        "                       The written blocks are read back and compared: a board\n"
        "                       that holds other values than sent is exit 9, with the\n"
        "                       fields named as config-diff names them.\n"
        "      --no-verify      Skip the read-back (the log says the write was not\n"
        "                       verified).\n"
        "  config-diff FILE     Compare such a file with the board, one difference a line\n"
        "                       (di[3].address: 12 -> 15, board first; --json: a JSON\n"
        "                       array). Exit 0 when equal, 1 when they differ.\n"
        "  apply FILE           Bring the board to a desired state: the configuration of\n"
        "                       FILE (made by config-read; only the blocks that differ\n"
        "                       are written, then read back) and, with --firmware, a\n"
        "                       main firmware (the one-step update, unless the board\n"
        "                       already runs that version). A board already so is left\n"
        "                       alone: nothing is written. --json: one object per board\n"
        "                       saying whether anything changed, and what.\n"
        "      --check          Report what would change; send nothing that changes\n"
        "                       the board.\n"
        "      --firmware FILE --firmware-version X.Y.Z\n"
        "                       The main firmware and the version it carries (the\n"
        "                       board must report it afterwards, else exit 10).\n"
        "  firmware FILE        Copy a .frm image in acknowledged blocks and flash it.\n"
        "                       The bootloader takes a main firmware (name says \"main\"),\n"
        "                       the main firmware takes a bootloader (name says \"boot\");\n"
        "                       the name must carry the board code, e.g. VRELL_A.\n"
        "      --flash          Flash after the copy (the default).\n"
        "      --no-flash       Copy only; flash later with the flash subcommand.\n"
        "  flash                Flash the image the board holds.\n"
        "  reboot               Reboot the board.\n"
        "  mode main|boot       Start the main firmware or enter the bootloader.\n"
        "  scan                 Ask every device address on the line for its firmware\n"
        "                       version and list each board that answers alone and\n"
        "                       reads out whole (one line each; --json: JSON lines).\n"
        "                       Not over --usb. Exit 11 when two boards answered one\n"
        "                       address, 5 when an answer was no board or a readout\n"
        "                       was answered wrongly, 4 when nothing answered or a\n"
        "                       readout went unanswered (the highest applies).\n"
        "      --from A, --to B Addresses to ask (default 0 to 255).\n"
        "      --timeout MS     Wait per address (default 100).\n"
        "  update FILE          The whole firmware job: enter the bootloader when a main\n"
        "                       firmware comes, reconnect, copy, flash, start the main\n"
        "                       firmware, reconnect and show the version old -> new.\n"
        "                       FILE is checked as for firmware before anything is sent;\n"
        "                       a version that did not change is exit 10 (--json: one\n"
        "                       object, image, oldVersion, newVersion and switched).\n"
        "  ports                List this machine's serial ports with their adapter\n"
        "                       (description, maker, serial number) and stable names\n"
        "                       (/dev/serial/by-id/..., udev symlinks); no LINK.\n"
        "                       --json: one JSON array.\n"
        "\n"
        "Link (exactly one):\n"
        "  --tcp HOST[:PORT]    RS485 TCP; the port defaults to 4001.\n"
        "  --serial PORT        RS485 COM, e.g. /dev/ttyUSB0, with\n"
        "      --baud RATE      (default 9600)\n"
        "      --data-bits N    5 to 8 (default 8)\n"
        "      --parity P       none, even or odd (default none)\n"
        "      --stop-bits N    1 or 2 (default 1)\n"
        "  --usb PORT           USB COM, e.g. /dev/ttyACM0 (115200 8N1, no address).\n"
        "  --address N          Device address 0 to 65535 (default 0); the frames carry\n"
        "                       its low byte. info, config-read, config-write, apply,\n"
        "                       update, reboot and mode take a list, e.g. 1-20,25:\n"
        "                       the boards one after another, a summary at the end,\n"
        "                       the worst exit code (config-read: %a in FILE is the\n"
        "                       address).\n"
        "                       No two addresses of a list may share the low byte\n"
        "                       (1 and 257 are one board); such a list is refused.\n"
        "      --keep-going     Go on after a board failed (default: stop there).\n"
        "      --json           One JSON object per board instead of the summary.\n"
        "\n"
        "Link timing (for a gateway over a slow network; the defaults are the window's):\n"
        "  --connect-timeout MS How long the TCP connection may take (default 5000).\n"
        "  --extra-wait MS      Added to every command's read time (default 0).\n"
        "  --retries N          firmware, update, apply: how often a firmware block that\n"
        "                       was not acknowledged is sent again (default 2, i.e. three\n"
        "                       tries per block).\n"
        "\n"
        "Other options:\n"
        "  --json               info, config-diff, apply, scan, update and lists of\n"
        "                       addresses: JSON on standard output. A failure is then\n"
        "                       JSON too,\n"
        "                       whatever failed and wherever: one object on a line of\n"
        "                       its own (after the lines of scan) with exitCode, step\n"
        "                       and message; a list's board objects carry step and\n"
        "                       message. Standard error says the same in words.\n"
        "  --quiet              No progress and no notes on standard error; failures\n"
        "                       and the results stay.\n"
        "  --trace              Every request and reply payload on standard error,\n"
        "                       each line stamped with the time (HH:MM:SS.mmm).\n"
        "  --no-log             Leave this run out of the operations log (every change\n"
        "                       made to a board is logged otherwise, see README).\n"
        "  --version, -h/--help\n"
        "  SUBCOMMAND --help    The usage, options and exit codes of one subcommand.\n"
        "\n"
        "Exit codes:\n"
        "  0  success\n"
        "  1  config-diff: the board and the file differ\n"
        "  2  usage: unknown subcommand or option, missing or bad argument\n"
        "  3  cannot connect: the TCP connection or the serial port could not be opened\n"
        "  4  no reply: the board stayed silent or the link broke\n"
        "  5  wrong reply: the board answered wrongly, refused, or runs the wrong mode\n"
        "  6  file refused: unreadable, malformed, or made for another board or layout\n"
        "  7  firmware transfer failed: a block was not acknowledged or not sent\n"
        "  8  flash refused by the board\n"
        "  9  config-write, apply: the board acknowledged, but reads back other values\n"
        "  10 update, apply: the board reports its old version (or not the one expected)\n"
        "  11 scan: more than one board answered one address\n"
        "  Ctrl-C or SIGTERM end the tool as the signal ends any program (the shell\n"
        "  reports 130 or 143); during a firmware copy it first says how many blocks\n"
        "  were acknowledged: the board then holds a partial image, not to be flashed.\n"
        "\n"
        "Examples:\n"
        "  quorvel-cli --tcp 192.168.0.7 info\n"
        "  quorvel-cli --serial /dev/ttyUSB0 --baud 115200 --address 3 config-read board3.json\n"
        "  quorvel-cli --tcp 192.168.0.7 mode boot\n"
        "  quorvel-cli --tcp 192.168.0.7 firmware fw_main_VRELL_A.frm\n");
}

QString CliOptions::subcommandHelp(const QString& command)
{
    const SubcommandRule* rule = findSubcommand(command);
    if (!rule)
        return helpText();

    // Cut from the whole help, so the two never tell different stories.
    QStringList titles;
    QMap<QString, QStringList> sections;
    for (const QString& line : helpText().split(QLatin1Char('\n'))) {
        if (isSectionTitle(line))
            titles << line;
        else if (!titles.isEmpty() && !line.isEmpty())
            sections[titles.last()] << line;
    }

    const QString name = QLatin1String(rule->name);
    const QStringList codes = rule->exitCodes ? QString::fromLatin1(rule->exitCodes).split(QLatin1Char(' ')) : QStringList();
    const QRegularExpression codeLine(QStringLiteral("^  (\\d+) "));
    const QRegularExpression anySubcommand(QStringLiteral("^  [a-z]"));
    const QRegularExpression named(QStringLiteral("\\s%1(\\s|$)").arg(QRegularExpression::escape(name)));

    // Listing the ports reaches no board: no link to give, only --json.
    const bool linkless = name == QLatin1String("ports");
    QString text = linkless ? QStringLiteral("Usage: quorvel-cli %1 [--json]").arg(name)
                            : QStringLiteral("Usage: quorvel-cli LINK [OPTIONS] %1").arg(name);
    if (rule->argumentCount > 0)
        text += QLatin1Char(' ') + QLatin1String(rule->argumentName);
    text += QLatin1Char('\n');
    for (const QString& title : titles) {
        if (linkless && title.startsWith(QLatin1String("Link")))
            continue;
        QStringList kept;
        bool inBlock = false;
        for (const QString& line : sections.value(title)) {
            if (title == QLatin1String("Subcommands:")) {
                // Its own lines: from its name to the next subcommand's.
                if (line.contains(anySubcommand))
                    inBlock = line.startsWith(QStringLiteral("  %1 ").arg(name)) || line == QStringLiteral("  ") + name;
                if (inBlock)
                    kept << line;
            } else if (title == QLatin1String("Exit codes:")) {
                const QRegularExpressionMatch code = codeLine.match(line);
                if (!code.hasMatch() || codes.isEmpty() || codes.contains(code.captured(1)))
                    kept << line;
            } else if (title == QLatin1String("Examples:")) {
                if (line.contains(named))
                    kept << line;
            } else {
                kept << line;
            }
        }
        if (kept.isEmpty())
            continue;
        if (title != QLatin1String("Subcommands:"))
            kept.prepend(title);
        text += QLatin1Char('\n') + kept.join(QLatin1Char('\n')) + QLatin1Char('\n');
    }
    return text;
}

QString CliOptions::nearestSubcommand(const QString& typed)
{
    // One slip in a short word, two in a longer one; further off is a guess.
    const int allowed = typed.size() >= 5 ? 2 : 1;
    QString nearest;
    int best = allowed + 1;
    for (const SubcommandRule& rule : subcommands) {
        const int distance = editDistance(typed, QLatin1String(rule.name));
        if (distance < best) {
            best = distance;
            nearest = QLatin1String(rule.name);
        }
    }
    return nearest;
}
