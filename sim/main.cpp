#include "boardoptions.h"
#include "ptylink.h"
#include "tcplink.h"
#include "virtualboard.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

void printLine(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char* argv[])
{
    // Checked before anything opens a descriptor that could take number 0.
    const bool haveInput = ::fcntl(STDIN_FILENO, F_GETFD) != -1;
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("quorvel-vboard"));

    BoardOptions options;
    QString error;
    QString exitText;
    if (!options.parse(QCoreApplication::arguments(), &error, &exitText)) {
        printLine(stderr, QStringLiteral("quorvel-vboard: ") + error);
        return 2;
    }
    if (!exitText.isEmpty()) {
        printLine(stdout, exitText);
        return 0;
    }

    VirtualBoard board;
    if (options.quiet)
        board.log().setEnabled(false);
    if (!options.logFile.isEmpty() && !board.log().openFile(options.logFile, &error)) {
        printLine(stderr, QStringLiteral("quorvel-vboard: cannot open the log %1: %2").arg(options.logFile, error));
        return 1;
    }
    board.setAddress(options.boards.first().address);
    for (const BoardOptions::Board& one : options.boards) {
        board.addBoard(one.address);
        BoardModel* model = board.modelAt(one.address);
        model->setBoardType(one.boardType);
        model->setFirmwareVersion(one.firmware.toLatin1());
        model->setBootloaderVersion(one.bootloader.toLatin1());
        model->setMode(one.mode);
        model->setOldLayout(one.oldLayout);
    }
    if (!options.stateFile.isEmpty() && !board.useStateFile(options.stateFile, &error)) {
        printLine(stderr, QStringLiteral("quorvel-vboard: ") + error);
        return 1;
    }
    for (const QString& command : options.startCommands) {
        const QString answer = board.execute(command);
        if (!answer.startsWith(QLatin1String("OK"))) {
            printLine(stderr, QStringLiteral("quorvel-vboard: --%1: %2").arg(command, answer));
            return 2;
        }
    }

    QStringList ready;
    TcpLink tcp(&board);
    if (options.tcp) {
        if (!tcp.listen(options.tcpHost, options.tcpPort, &error)) {
            printLine(stderr, QStringLiteral("quorvel-vboard: cannot listen on %1:%2: %3")
                                  .arg(options.tcpHost.toString()).arg(options.tcpPort).arg(error));
            return 1;
        }
        ready << QStringLiteral("tcp=%1:%2").arg(tcp.hostText()).arg(tcp.port());
    }
    PtyLink pty(&board, options.bare);
    if (options.pty) {
        if (!pty.open(&error)) {
            printLine(stderr, QStringLiteral("quorvel-vboard: ") + error);
            return 1;
        }
        ready << QStringLiteral("pty=%1").arg(pty.slavePath());
    }

    // Operator commands on standard input; at its end the board keeps running
    // (a board started in the background has no input at all).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    input.setEnabled(haveInput);
    QByteArray pendingInput;
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char chunk[4096];
        const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        pendingInput.append(chunk, int(got));
        int newline;
        while ((newline = pendingInput.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pendingInput.left(newline)).trimmed();
            pendingInput.remove(0, newline + 1);
            const QString answer = board.execute(line);
            if (!answer.isEmpty())
                printLine(stdout, answer);
        }
    });
    QObject::connect(&board, &VirtualBoard::quitRequested, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    for (const BoardOptions::Board& one : options.boards) {
        board.log().event(QStringLiteral("board"),
                          QStringLiteral("type %1, firmware %2, bootloader %3, %4, address %5%6")
                              .arg(one.boardType)
                              .arg(one.firmware, one.bootloader,
                                   one.mode ? QStringLiteral("bootloader running") : QStringLiteral("main firmware running"))
                              .arg(one.address)
                              .arg(one.oldLayout ? QStringLiteral(", old block layouts") : QString()));
    }
    printLine(stdout, QStringLiteral("READY ") + ready.join(QLatin1Char(' ')));
    return app.exec();
}
