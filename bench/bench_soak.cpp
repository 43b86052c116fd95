// A long run of the real window against the virtual board: many
// connect / readout / disconnect cycles through the connection bar with the
// RX/TX dump on, then a firmware transfer with the dump on. Prints the
// program's resident memory as it goes and checks on the way that every
// cycle read the board whole, that the dump never holds more than its line
// limit, and that the board rebuilt the image exactly. Meant to run under
// LeakSanitizer (the sanitizer build) or valgrind; tools/soak.sh runs it.
//
//   bench_soak [CYCLES] [tcp|pty]        (default 1000 cycles over a pty)

#include "boardsession.h"
#include "firmwarepanel.h"
#include "mainwindow.h"

#include "connectionbar.h"
#include "modalanswerer.h"
#include "tessarin.h"
#include "testsettings.h"
#include "virtualboardprocess.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextDocument>
#include <QTextObject>

#include <algorithm>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kDumpLineLimit = 2000;
constexpr int kImageSize = 256 * 1024;

double residentMiB()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return -1;
    return double(fields.at(1).toLongLong()) * double(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

class Soak
{
public:
    Soak(bool overTcp)
        : tcp(overTcp)
    {
        window.reset(new MainWindow);
        bar = window->findChild<Tessarin*>();
    }

    // The board of the cycles: main firmware, so the readout reads
    // everything (identity, DI/DO tables, error code, RS-485 settings).
    bool startBoard(const QStringList& args)
    {
        if (!board.start(args, tcp ? VirtualBoardProcess::Link::Tcp : VirtualBoardProcess::Link::Pty)) {
            std::fprintf(stderr, "cannot start the virtual board: %s\n", qPrintable(board.errorString()));
            return false;
        }
        return true;
    }

    void dumpOn()
    {
        window->findChild<QAction*>(QStringLiteral("action"))->setChecked(true);
    }

    // Everything the window owns: a cycle that leaves a widget, timer or
    // connector behind shows here even though LeakSanitizer cannot see it
    // (the window frees its children when it goes). The dump's own text
    // frames come and go with its text, which the line limit bounds.
    int ownedObjects() const
    {
        const QList<QObject*> all = window->findChildren<QObject*>();
        return int(std::count_if(all.cbegin(), all.cend(),
                                 [](QObject* object) { return !qobject_cast<QTextObject*>(object); }));
    }

    int dumpLines() const
    {
        auto* view = window->findChild<QPlainTextEdit*>(QStringLiteral("plainTextEditDebugDump"));
        return view ? view->document()->blockCount() : -1;
    }

    // Connect through the bar as a technician does; true when the readout
    // came back whole and without a message box.
    bool connectOnce(const QString& expectedStatus)
    {
        const QString program = QStringLiteral("KELDORA_NODE");
        const QString missing = tcp ? ConnectionBar::connectOverTcp(bar, program, board.host(), int(board.port()))
                                    : ConnectionBar::connectOverPty(bar, program, board.ptyPath());
        if (!missing.isEmpty())
            return fail(missing);
        QCoreApplication::processEvents(); // the dump lines are queued calls
        if (!answerer.seen.isEmpty())
            return fail("a message box: " + answerer.texts().join(QLatin1Char('|')));
        if (!bar->isConnected())
            return fail("not connected");
        const QString status = window->findChild<QLabel*>(QStringLiteral("labelDeviceStatusValue"))->text();
        if (status != expectedStatus)
            return fail("status shows " + status);
        return true;
    }

    bool disconnectOnce()
    {
        QPushButton* button = ConnectionBar::button(bar, QStringLiteral("Disconnect"));
        if (!button)
            return fail("no Disconnect button");
        button->click();
        QCoreApplication::processEvents();
        if (bar->isConnected() || window->findChild<BoardSession*>()->hasLink())
            return fail("still connected");
        return true;
    }

    // Sends `image` with the window's own send button (the flash question
    // answered No); true when the board holds exactly the image afterwards.
    bool transfer(const QByteArray& image, const QString& folder)
    {
        const QString path = folder + QStringLiteral("/fw_main_vrell_a.frm");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            return fail("cannot write the image file");
        file.close();
        window->findChild<FirmwarePanel*>()->chooseFile = ([path](QWidget*, const QString&, const QString&, const QString&) { return path; });
        answerer.reset();
        answerer.queueButton(QMessageBox::Ok);
        answerer.queueButton(QMessageBox::No);
        window->findChild<QPushButton*>(QStringLiteral("pushButtonSendFirmware"))->click();
        QCoreApplication::processEvents();
        if (answerer.texts().value(0) != QStringLiteral("Копирование завершено!\n"))
            return fail("transfer: " + answerer.texts().join(QLatin1Char('|')));
        const QString onBoard = folder + QStringLiteral("/on-board.bin");
        if (!board.command(QStringLiteral("image ") + onBoard).startsWith(QLatin1String("OK")))
            return fail("the board has no complete image");
        QFile result(onBoard);
        if (!result.open(QIODevice::ReadOnly) || result.readAll() != image)
            return fail("the board holds another image");
        answerer.reset();
        return true;
    }

    QString failure;
    VirtualBoardProcess board;

private:
    bool fail(const QString& why)
    {
        failure = why;
        return false;
    }

    bool tcp;
    std::unique_ptr<MainWindow> window;
    ModalAnswerer answerer;
    Tessarin* bar = nullptr;
};

QByteArray firmwareImage()
{
    QRandomGenerator random(4242);
    QByteArray image;
    while (image.size() < kImageSize) {
        if (random.bounded(3) == 0)
            image.append(random.bounded(1, 3000), '\xFF');
        else
            for (int n = random.bounded(1, 1500); n > 0; --n)
                image.append(char(random.bounded(256)));
    }
    return image.left(kImageSize);
}

// Only what goes wrong: not the library's line per connect, nor the
// offscreen platform's remarks.
void quietMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtInfoMsg || type == QtDebugMsg || text.contains(QLatin1String("propagateSizeHints")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(text));
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietMessages);
    QApplication app(argc, argv);
    TestSettings::isolate(); // never the technician's own settings
    const QStringList args = QCoreApplication::arguments();
    const int cycles = args.size() > 1 ? args.at(1).toInt() : 1000;
    const bool tcp = args.size() > 2 && args.at(2) == QLatin1String("tcp");
    if (cycles <= 0) {
        std::fprintf(stderr, "usage: bench_soak [CYCLES] [tcp|pty]\n");
        return 2;
    }

    int failures = 0;
    double startMiB = 0;
    int startObjects = 0;
    int cyclesEndObjects = 0;
    double cyclesEndMiB = 0;
    int maxDump = 0;
    {
        Soak soak(tcp);
        soak.dumpOn();
        const QStringList mainBoard{ QStringLiteral("--board-type"), QStringLiteral("1"), QStringLiteral("--mode"),
                                     QStringLiteral("main"), QStringLiteral("--firmware"), QStringLiteral("0.0.6"),
                                     QStringLiteral("--bootloader"), QStringLiteral("0.0.6"),
                                     QStringLiteral("--quiet") };
        if (!soak.startBoard(mainBoard))
            return 1;

        std::printf("soak: %d connect/readout/disconnect cycles over %s, dump on\n", cycles, tcp ? "TCP" : "a pty");
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i <= cycles; ++i) {
            // Cycle 0 warms up (first use of fonts, styles, the thread pool);
            // the start figure is taken after it.
            const bool ok = soak.connectOnce(QStringLiteral("Основная прошивка")) && soak.disconnectOnce();
            if (!ok) {
                ++failures;
                std::printf("  cycle %d failed: %s\n", i, qPrintable(soak.failure));
                if (failures > 10)
                    break;
            }
            maxDump = qMax(maxDump, soak.dumpLines());
            if (i == 0) {
                startMiB = residentMiB();
                startObjects = soak.ownedObjects();
                std::printf("  cycle %5d: rss %7.1f MiB, dump %4d lines, %d objects\n", i, startMiB, soak.dumpLines(),
                            startObjects);
            } else if (i % 100 == 0) {
                std::printf("  cycle %5d: rss %7.1f MiB, dump %4d lines, %d objects, %.1f ms a cycle\n", i,
                            residentMiB(), soak.dumpLines(), soak.ownedObjects(), double(clock.elapsed()) / i);
            }
            std::fflush(stdout);
        }
        cyclesEndMiB = residentMiB();
        cyclesEndObjects = soak.ownedObjects();
        soak.board.command(QStringLiteral("mode boot"));

        // The transfer, raw blocks (bootloader 0.0.6): one TX and at least one
        // RX dump line a block, far more than the dump keeps.
        QTemporaryDir folder;
        QElapsedTimer transferClock;
        transferClock.start();
        const QByteArray image = firmwareImage();
        if (!soak.connectOnce(QStringLiteral("Загрузчик")) || !soak.transfer(image, folder.path())) {
            ++failures;
            std::printf("  transfer failed: %s\n", qPrintable(soak.failure));
        } else {
            std::printf("  transfer: %d bytes in %d blocks, %.1f s, dump %d lines\n", image.size(),
                        (image.size() + 249) / 250, transferClock.elapsed() / 1000.0, soak.dumpLines());
        }
        maxDump = qMax(maxDump, soak.dumpLines());
        soak.disconnectOnce();
    }
    const double endMiB = residentMiB();

    std::printf("rss after warm-up %.1f MiB, after the cycles %.1f MiB, after the transfer and the window %.1f MiB\n",
                startMiB, cyclesEndMiB, endMiB);
    std::printf("objects the window owns, disconnected: %d after warm-up, %d after the cycles\n", startObjects,
                cyclesEndObjects);
    if (cyclesEndObjects > startObjects) {
        std::printf("FAILED: the cycles left objects behind\n");
        ++failures;
    }
    std::printf("most dump lines held: %d (limit %d)\n", maxDump, kDumpLineLimit);
    if (maxDump > kDumpLineLimit) {
        std::printf("FAILED: the dump went past its limit\n");
        ++failures;
    }
    std::printf("%s\n", failures ? "FAILED" : "ok");
    return failures ? 1 : 0;
}
