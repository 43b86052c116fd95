#include "boardoptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace {

struct KnobOption
{
    const char* name;
    const char* valueName;
    const char* help;
};

// Each becomes the run-time command of the same name; commas separate arguments.
const KnobOption knobOptions[] = {
    { "silent", "N", "Ignore the next N requests." },
    { "corrupt-crc", "N", "Spoil the checksum of the next N replies." },
    { "junk", "N", "Put junk bytes before the next N replies." },
    { "foreign", "N", "Put a frame for another address before the next N replies." },
    { "drop-after", "N", "Send only N bytes of the first reply, then cut the link." },
    { "split", "PIECES,MS", "Cut every reply into PIECES pieces MS ms apart." },
    { "delay", "MS", "Wait MS ms before every reply." },
    { "baud", "RATE", "Pace bytes as a line of RATE baud would." },
    { "late", "CODE,MS", "Hold the reply to the first request with this code MS ms more." },
    { "refuse", "CODE,STATUS", "Refuse every request with this code with C8 and STATUS." },
    { "forget", "CODE", "Acknowledge every request with this code without carrying it out." },
    { "hold", "CODE,MS[,NTH]", "Hold the reply to the NTH request with this code (default the first) until the next "
                               "request, then MS ms; later replies follow one request behind." },
    { "flash-refuse", "CODE", "Refuse every flash with this 32-bit code." },
    { "error-code", "N", "The code that 0x79 reports at start." },
};

bool parseHostPort(const QString& text, QHostAddress* host, quint16* port)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0)
        return false;
    QHostAddress address;
    const QString hostText = text.left(colon);
    if (hostText == QLatin1String("localhost"))
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(hostText))
        return false;
    bool ok = false;
    const uint value = text.mid(colon + 1).toUInt(&ok);
    if (!ok || value > 65535)
        return false;
    *host = address;
    *port = quint16(value);
    return true;
}

bool parseVersionText(const QString& text, QString* error)
{
    if (text.toLatin1().size() > 64 || text != QString::fromLatin1(text.toLatin1())) {
        *error = QStringLiteral("version texts are at most 64 Latin-1 characters");
        return false;
    }
    return true;
}

// "1-20,25": addresses 0-255 and inclusive ranges, each once, as
// quorvel-cli's --address takes them.
bool parseBoardList(const QString& text, QVector<quint32>* list, QString* error)
{
    static const QRegularExpression item(QStringLiteral("^([0-9]{1,3})(?:-([0-9]{1,3}))?$"));
    list->clear();
    for (const QString& part : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch m = item.match(part.trimmed());
        const uint low = m.captured(1).toUInt();
        const uint high = m.captured(2).isEmpty() ? low : m.captured(2).toUInt();
        if (!m.hasMatch() || high > 255 || high < low) {
            *error = QStringLiteral("--boards wants addresses 0-255 and ranges, such as 1-20,25, not \"%1\"").arg(part);
            return false;
        }
        for (quint32 a = low; a <= high; ++a) {
            if (list->contains(a)) {
                *error = QStringLiteral("--boards names %1 twice").arg(a);
                return false;
            }
            list->append(a);
        }
    }
    return true;
}

// "5:type=2,firmware=0.0.5,mode=boot" applied to the board at 5.
bool applyBoardSettings(const QString& text, QVector<BoardOptions::Board>& boards, const BoardOptions::Board& defaults,
                        QString* error)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    bool ok = false;
    const uint address = text.left(colon < 0 ? text.size() : colon).toUInt(&ok);
    if (!ok || address > 255) {
        *error = QStringLiteral("--board wants ADDRESS:KEY=VALUE,... with an address 0-255, got \"%1\"").arg(text);
        return false;
    }
    BoardOptions::Board* board = nullptr;
    for (BoardOptions::Board& b : boards) {
        if (b.address == address)
            board = &b;
    }
    if (!board) {
        boards.append(defaults);
        board = &boards.last();
        board->address = address;
    }
    if (colon < 0 || text.mid(colon + 1).trimmed().isEmpty()) {
        *error = QStringLiteral("--board %1 names no settings (ADDRESS:KEY=VALUE,..., e.g. 5:type=2,mode=boot)")
                     .arg(address);
        return false;
    }
    const QStringList settings = text.mid(colon + 1).split(QLatin1Char(','));
    for (const QString& setting : settings) {
        const QString key = setting.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        const QString value = setting.section(QLatin1Char('='), 1).trimmed();
        if (key == QLatin1String("type")) {
            const uint type = value.toUInt(&ok, 0);
            if (!ok || type > 65535) {
                *error = QStringLiteral("--board %1: type wants 0-65535").arg(address);
                return false;
            }
            board->boardType = quint16(type);
        } else if (key == QLatin1String("firmware") || key == QLatin1String("bootloader")) {
            if (!parseVersionText(value, error))
                return false;
            (key == QLatin1String("firmware") ? board->firmware : board->bootloader) = value;
        } else if (key == QLatin1String("mode") && (value == QLatin1String("main") || value == QLatin1String("boot"))) {
            board->mode = value == QLatin1String("boot") ? 1 : 0;
        } else if (key == QLatin1String("old-layout") && (value == QLatin1String("0") || value == QLatin1String("1"))) {
            board->oldLayout = value == QLatin1String("1");
        } else {
            *error = QStringLiteral("--board %1: unknown setting \"%2\" (type, firmware, bootloader, mode=main|boot, "
                                    "old-layout=0|1)")
                         .arg(address)
                         .arg(setting);
            return false;
        }
    }
    return true;
}

} // namespace

bool BoardOptions::parse(const QStringList& arguments, QString* error, QString* exitText)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A virtual board of the family: answers the program's commands over TCP (framed, as \"RS485 TCP\") "
        "or a pseudo-terminal (framed, or bare payloads as \"USB COM\"). Prints \"READY tcp=HOST:PORT\" "
        "and/or \"pty=PATH\" on one line once it listens; reads run-time commands from standard input "
        "(type help). The log goes to standard error."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption(QStringLiteral("version"), QStringLiteral("Displays version information."));
    parser.addOption(versionOption);
    const QCommandLineOption tcpOption(QStringLiteral("tcp"), QStringLiteral("Listen on HOST:PORT (default 127.0.0.1:4001; port 0 picks a free one)."), QStringLiteral("HOST:PORT"));
    const QCommandLineOption ptyOption(QStringLiteral("pty"), QStringLiteral("Serve a pseudo-terminal (TCP then only with --tcp)."));
    const QCommandLineOption bareOption(QStringLiteral("bare"), QStringLiteral("Bare payloads on the pty, as over USB virtual COM."));
    const QCommandLineOption addressOption(QStringLiteral("address"), QStringLiteral("Device address 0-255 (default 0)."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption typeOption(QStringLiteral("board-type"), QStringLiteral("Board type, 1-4 or any other number (default 1)."), QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption firmwareOption(QStringLiteral("firmware"), QStringLiteral("Main firmware version text (default 1.2.0)."), QStringLiteral("TEXT"), firmware);
    const QCommandLineOption bootloaderOption(QStringLiteral("bootloader"), QStringLiteral("Bootloader version text (default 1.1.0)."), QStringLiteral("TEXT"), bootloader);
    const QCommandLineOption modeOption(QStringLiteral("mode"), QStringLiteral("Running at start: main or boot (default main)."), QStringLiteral("main|boot"), QStringLiteral("main"));
    const QCommandLineOption oldOption(QStringLiteral("old-layout"), QStringLiteral("Answer the short (old) DI/DO block layouts."));
    const QCommandLineOption stateOption(QStringLiteral("state"), QStringLiteral("Keep the configuration in this JSON file across restarts."), QStringLiteral("FILE"));
    const QCommandLineOption logOption(QStringLiteral("log"), QStringLiteral("Write the log to FILE instead of standard error."), QStringLiteral("FILE"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"), QStringLiteral("No log at all."));
    const QCommandLineOption rebootSilentOption(QStringLiteral("reboot-silent"), QStringLiteral("Leave the reboot command unanswered."));
    const QCommandLineOption boardsOption(QStringLiteral("boards"), QStringLiteral("Several boards on one line at these addresses, e.g. 1,5,17 or 1-20,25 (the single-board options apply to each; replaces --address)."), QStringLiteral("LIST"));
    const QCommandLineOption boardOption(QStringLiteral("board"), QStringLiteral("One board of several, e.g. 5:type=2,firmware=0.0.5,mode=boot (also bootloader=TEXT, old-layout=0|1); adds the board when --boards does not list it. May be repeated."), QStringLiteral("ADDR:SETTINGS"));
    parser.addOptions({ tcpOption, ptyOption, bareOption, addressOption, typeOption, firmwareOption, bootloaderOption,
                        modeOption, oldOption, stateOption, logOption, quietOption, rebootSilentOption, boardsOption,
                        boardOption });
    QList<QCommandLineOption> knobs;
    for (const KnobOption& k : knobOptions) {
        knobs.append(QCommandLineOption(QLatin1String(k.name), QString::fromLatin1(k.help), QLatin1String(k.valueName)));
        parser.addOption(knobs.last());
    }

    if (!parser.parse(arguments)) {
        *error = parser.errorText();
        return false;
    }
    if (parser.isSet(helpOption)) {
        *exitText = parser.helpText();
        return true;
    }
    // Same answer as quorvel-cli's, so scripts and help2man read both alike.
    if (parser.isSet(versionOption)) {
        *exitText = QStringLiteral("quorvel-vboard " QUORVEL_VERSION);
        return true;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *error = QStringLiteral("unexpected argument \"%1\"").arg(parser.positionalArguments().first());
        return false;
    }

    pty = parser.isSet(ptyOption);
    bare = parser.isSet(bareOption);
    if (bare && !pty) {
        *error = QStringLiteral("--bare needs --pty");
        return false;
    }
    tcp = !pty || parser.isSet(tcpOption);
    if (parser.isSet(tcpOption) && !parseHostPort(parser.value(tcpOption), &tcpHost, &tcpPort)) {
        *error = QStringLiteral("--tcp wants HOST:PORT, got \"%1\"").arg(parser.value(tcpOption));
        return false;
    }

    bool ok = false;
    const uint addressValue = parser.value(addressOption).toUInt(&ok, 0);
    if (!ok || addressValue > 255) {
        *error = QStringLiteral("--address wants 0-255");
        return false;
    }
    address = addressValue;
    const uint typeValue = parser.value(typeOption).toUInt(&ok, 0);
    if (!ok || typeValue > 65535) {
        *error = QStringLiteral("--board-type wants 0-65535");
        return false;
    }
    boardType = quint16(typeValue);
    firmware = parser.value(firmwareOption);
    bootloader = parser.value(bootloaderOption);
    for (const QString& text : { firmware, bootloader }) {
        if (!parseVersionText(text, error))
            return false;
    }
    const QString modeText = parser.value(modeOption).toLower();
    if (modeText != QLatin1String("main") && modeText != QLatin1String("boot")) {
        *error = QStringLiteral("--mode wants main or boot");
        return false;
    }
    mode = modeText == QLatin1String("boot") ? 1 : 0;
    oldLayout = parser.isSet(oldOption);
    stateFile = parser.value(stateOption);
    logFile = parser.value(logOption);
    quiet = parser.isSet(quietOption);

    Board defaults;
    defaults.address = address;
    defaults.boardType = boardType;
    defaults.firmware = firmware;
    defaults.bootloader = bootloader;
    defaults.mode = mode;
    defaults.oldLayout = oldLayout;
    boards.clear();
    if (parser.isSet(boardsOption)) {
        if (parser.isSet(addressOption)) {
            *error = QStringLiteral("--address and --boards exclude each other");
            return false;
        }
        QVector<quint32> addresses;
        if (!parseBoardList(parser.value(boardsOption), &addresses, error))
            return false;
        for (const quint32 value : addresses) {
            boards.append(defaults);
            boards.last().address = value;
        }
    } else {
        boards.append(defaults);
    }
    for (const QString& text : parser.values(boardOption)) {
        if (!applyBoardSettings(text, boards, defaults, error))
            return false;
    }
    if (bare && boards.size() > 1) {
        *error = QStringLiteral("a bare link has no addresses: one board only");
        return false;
    }
    address = boards.first().address;

    startCommands.clear();
    if (parser.isSet(rebootSilentOption))
        startCommands << QStringLiteral("reboot-silent 1");
    for (int i = 0; i < knobs.size(); ++i) {
        for (const QString& value : parser.values(knobs.at(i)))
            startCommands << knobs.at(i).names().first() + QLatin1Char(' ') + QString(value).replace(QLatin1Char(','), QLatin1Char(' '));
    }
    return true;
}
