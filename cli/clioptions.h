#pragma once

#include <QSerialPort>
#include <QString>
#include <QList>
#include <QStringList>
#include <QtGlobal>

// How to reach the board; the same choices as the connection bar.
struct LinkOptions
{
    enum class Kind { None, Tcp, Serial, Usb };

    static constexpr quint16 defaultTcpPort = 4001;

    Kind kind = Kind::None;
    QString host;                  // --tcp
    quint16 tcpPort = defaultTcpPort;
    QString portName;              // --serial, --usb
    int baudRate = 9600;           // --serial only: the line parameters
    int dataBits = 8;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    int stopBits = 1;
    int deviceAddress = 0;         // 0..65535; the frames carry its low byte
    int connectTimeoutMs = 5000;   // --tcp: how long the connection may take (--connect-timeout)

    // "192.168.0.7:4001", or the serial port with its line parameters.
    QString describe() const;
};

// The parsed command line of quorvel-cli.
struct CliOptions
{
    enum class Outcome {
        Run,     // run `command`
        Help,    // print helpText(), or subcommandHelp() of a `command` given, and stop
        Version, // print the version and stop
        Invalid, // `error` says why
    };

    QString command;       // info, config-read, config-write, config-diff, apply, firmware, flash, reboot, mode, scan, update, ports
    QStringList arguments; // the subcommand's own arguments (FILE, main|boot)
    LinkOptions link;
    bool flashAfterCopy = true; // firmware: --flash (default) or --no-flash
    bool json = false;          // info, config-diff, scan, update, lists: JSON instead of lines; also
                                // set for a refused line that asked for it, so the refusal is JSON too
    bool trace = false;         // every request and reply payload on standard error
    bool quiet = false;         // no progress and no notes, only failures and results
    bool operationsLog = true;  // --no-log leaves the run out of the operations log
    bool verifyWrites = true;   // config-write: --no-verify leaves the read-back out
    int retries = 2;            // --retries: a firmware block is sent again this often (3 tries)
    int extraWaitMs = 0;        // --extra-wait: added to every command's read time
    bool checkOnly = false;     // apply --check: report what would change, change nothing
    QString firmwarePath;       // apply --firmware: the main firmware the boards should run
    QString firmwareVersion;    // apply --firmware-version: the version that file carries
    // --address as a list ("1-20,25"), in the order given, each once; one
    // address (the link's own) unless a list was given.
    QList<int> addresses;
    bool keepGoing = false;     // a list goes on after a failed board
    int scanFrom = 0;           // scan: the addresses asked, inclusive
    int scanTo = 255;
    int scanTimeoutMs = 100;    // scan: how long each address may take to answer
    QString error;

    // More than one board to work through.
    bool isList() const { return addresses.size() > 1; }

    // `arguments` starts with the program name, as QCoreApplication::arguments().
    static CliOptions parse(const QStringList& arguments, Outcome* outcome);
    static QString helpText();
    // The usage, options and exit codes of one subcommand, cut from helpText().
    static QString subcommandHelp(const QString& command);
    // The subcommand nearest to a mistyped one; empty when none is near.
    static QString nearestSubcommand(const QString& typed);
};
