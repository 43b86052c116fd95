#pragma once

#include <QHostAddress>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QtGlobal>

// What the command line asks of the virtual board.
struct BoardOptions
{
    // One board on the line: its address and identity.
    struct Board
    {
        quint32 address = 0;
        quint16 boardType = 1;
        QString firmware;
        QString bootloader;
        quint8 mode = 0;
        bool oldLayout = false;
    };

    bool tcp = true;
    QHostAddress tcpHost = QHostAddress(QStringLiteral("127.0.0.1"));
    quint16 tcpPort = 4001;
    bool pty = false;
    bool bare = false;
    quint32 address = 0;
    quint16 boardType = 1;
    QString firmware = QStringLiteral("1.2.0");
    QString bootloader = QStringLiteral("1.1.0");
    quint8 mode = 0;
    bool oldLayout = false;
    QString stateFile;
    QString logFile;
    bool quiet = false;
    // Run-time commands given as options ("silent 3", "flash-refuse 5", ...),
    // applied in order before the board starts listening.
    QStringList startCommands;
    // Every board on the line, the first being the one the single-board
    // options and a bare link address; one board unless --boards or --board
    // ask for more.
    QVector<Board> boards;

    // Parses argv (program name first). On failure `error` holds the reason;
    // on --help `exitText` is set to the text to print before leaving.
    bool parse(const QStringList& arguments, QString* error, QString* exitText);
};
