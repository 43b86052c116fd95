// Figures for a line of boards: 20 boards of the virtual board on one pty,
// the board pacing its line at 115200 baud, driven by quorvel-cli as a
// technician would. Printed: the full scan (addresses 0-255) against
// 256 x (request wire time + time-out), and the update of all 20 boards with a
// 64 KiB main firmware against the sum of the single-board protocol floors
// (wire time plus the quiet gap after each reply) plus
// the tool's reconnect waits.

#include "cliprocess.h"
#include "firmwareplan.h"
#include "framecodec.h"
#include "virtualboardprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kBoards = 20;
constexpr int kBaud = 115200;
constexpr int kBitsPerByte = 10; // start, 8 data, stop
constexpr int kScanTimeoutMs = 100;
constexpr int kImageSize = 64 * 1024;
// The update's pause before each reopen of the link, twice per board here
// (into the bootloader, back into the main firmware).
constexpr int kReconnectPauseMs = 300;
constexpr int kReconnectsPerBoard = 2;
// Every reply on a serial line ends with this much quiet before the read returns.
constexpr double kReplyGapMs = 2.0;

double wireMs(qint64 bytes)
{
    return bytes * kBitsPerByte * 1000.0 / kBaud;
}

// One exchange on the wire: the request frame and the reply frame.
qint64 exchangeBytes(int requestPayload, int replyPayload)
{
    return requestPayload + FrameCodec::overhead + replyPayload + FrameCodec::overhead;
}

// The identity readout the update makes three times: firmware version and
// status with the version texts of the virtual board ("1.2.0", "1.1.0"), and
// the board version.
qint64 readoutBytes()
{
    return exchangeBytes(1, 2 + 5) + exchangeBytes(1, 3 + 5) + exchangeBytes(1, 3);
}

QByteArray mainImage()
{
    QRandomGenerator random(18);
    QByteArray image;
    while (image.size() < kImageSize) {
        if (random.bounded(3) == 0)
            image.append(random.bounded(4, 2000), char(random.bounded(256)));
        else
            for (int n = random.bounded(1, 800); n > 0; --n)
                image.append(char(random.bounded(256)));
    }
    image.truncate(kImageSize - 13);
    return image + "version=2.0.0";
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (CliProcess::programPath().isEmpty()) {
        std::printf("this build has no quorvel-cli\n");
        return 1;
    }
    QStringList addresses;
    for (int a = 1; a <= kBoards; ++a)
        addresses << QString::number(a);

    VirtualBoardProcess board;
    if (!board.start({ "--quiet", "--boards", addresses.join(','), "--baud", QString::number(kBaud) },
                     VirtualBoardProcess::Link::Pty)) {
        std::printf("virtual board: %s\n", qPrintable(board.errorString()));
        return 1;
    }
    const QStringList line { "--serial", board.ptyPath(), "--baud", QString::number(kBaud) };
    std::printf("%d boards on one pty, the board pacing its line at %d baud (%d bits a byte)\n", kBoards, kBaud,
                kBitsPerByte);

    // Scan: every address gets one request; the silent ones cost the time-out.
    QElapsedTimer clock;
    clock.start();
    const CliProcess::Result scan =
        CliProcess::run(line + QStringList { "scan", "--timeout", QString::number(kScanTimeoutMs) }, 600000);
    const double scanMs = clock.elapsed();
    const int found = scan.out.split('\n', Qt::SkipEmptyParts).size();
    const double requestMs = wireMs(exchangeBytes(1, 0) - FrameCodec::overhead);
    const double scanTarget = 256 * (requestMs + kScanTimeoutMs) * 1.05;
    std::printf("  scan 0-255, time-out %d ms: %d boards found (exit %d)\n", kScanTimeoutMs, found, scan.exitCode);
    std::printf("    measured %9.1f ms   target 256 x (%.2f ms request + %d ms) + 5%% = %9.1f ms   ratio %.3f\n",
                scanMs, requestMs, kScanTimeoutMs, scanTarget, scanMs / scanTarget);
    std::printf("    (the %d boards found are also read out in full, which the target leaves out)\n", found);

    // Update of every board, one after another.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("fw_main_VRELL_A.frm"));
    const QByteArray image = mainImage();
    QFile file(path);
    if (!folder.isValid() || !file.open(QIODevice::WriteOnly) || file.write(image) != image.size()) {
        std::printf("cannot write the image\n");
        return 1;
    }
    file.close();
    const FirmwarePlan plan = planFirmwareTransfer(image, FirmwareMethod::Rle);
    qint64 transferBytes = 0;
    for (const FirmwareBlock& block : plan.blocks)
        transferBytes += exchangeBytes(5 + block.data.size(), 1);
    // Readouts before, after entering the bootloader and after starting the
    // main firmware; enter, flash (and the status read after it), start.
    const qint64 fixedBytes = 3 * readoutBytes() + exchangeBytes(1, 1) + exchangeBytes(1, 1)
        + exchangeBytes(1, 3 + 5) + exchangeBytes(1, 1);
    // Readouts of three exchanges three times, enter, flash, status, start.
    const int exchanges = int(plan.blocks.size()) + 3 * 3 + 4;
    // A single board's floor is the protocol's: the wire time plus the quiet
    // gap that ends every reply on a serial line.
    const double boardWireMs = wireMs(transferBytes + fixedBytes);
    const double boardFloorMs = boardWireMs + kReplyGapMs * exchanges;
    const double waitsMs = double(kBoards) * kReconnectsPerBoard * kReconnectPauseMs;
    const double updateTarget = 1.1 * kBoards * boardFloorMs + waitsMs;

    clock.restart();
    const CliProcess::Result update =
        CliProcess::run(line + QStringList { "--address", QStringLiteral("1-%1").arg(kBoards), "update", path }, 1800000);
    const double updateMs = clock.elapsed();
    std::printf("  update of %d boards with a %d KiB main firmware (RLE, %lld blocks, %lld bytes on the wire a board): "
                "exit %d, %d boards report the new version\n",
                kBoards, kImageSize / 1024, qint64(plan.blocks.size()), transferBytes + fixedBytes, update.exitCode,
                int(update.out.count(QStringLiteral("-> 2.0.0"))));
    std::printf("    measured %9.1f ms   floor %d x (%.1f ms wire + %d x %.0f ms gap) + waits %.0f ms = %9.1f ms   "
                "target 1.1 x floors + waits = %9.1f ms   ratio %.3f\n",
                updateMs, kBoards, boardWireMs, exchanges, kReplyGapMs, waitsMs, kBoards * boardFloorMs + waitsMs,
                updateTarget, updateMs / updateTarget);
    std::printf("    beyond the floor and the waits: %.2f ms per exchange (%d exchanges a board)\n",
                (updateMs - kBoards * boardFloorMs - waitsMs) / (kBoards * exchanges), exchanges);
    if (update.exitCode != 0)
        std::printf("%s\n", qPrintable(update.describe().right(2000)));
    board.stop();
    return 0;
}
