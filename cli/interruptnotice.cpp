#include "interruptnotice.h"

#include <csignal>
#include <cstring>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t copying = 0;
volatile std::sig_atomic_t blocksDone = 0;
volatile std::sig_atomic_t blocksTotal = 0;

int append(char* buffer, int at, int size, const char* text)
{
    for (; *text && at < size; ++text)
        buffer[at++] = *text;
    return at;
}

int appendNumber(char* buffer, int at, int size, int value)
{
    char digits[12];
    int count = 0;
    unsigned int v = value < 0 ? 0u : unsigned(value);
    do {
        digits[count++] = char('0' + v % 10);
        v /= 10;
    } while (v != 0 && count < int(sizeof(digits)));
    while (count > 0 && at < size)
        buffer[at++] = digits[--count];
    return at;
}

extern "C" void onInterrupt(int signalNumber)
{
    if (copying) {
        char line[256];
        const int length = InterruptNotice::formatCopyLine(line, int(sizeof(line)), int(blocksDone), int(blocksTotal));
        ssize_t ignored = ::write(STDERR_FILENO, line, size_t(length));
        (void)ignored;
    }
    // End as the signal ends a program, so the caller sees which one it was.
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

} // namespace

namespace InterruptNotice {

void install()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof(action));
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void copyStarted(int totalBlocks)
{
    blocksDone = 0;
    blocksTotal = totalBlocks;
    copying = 1;
}

void copyRestarted()
{
    blocksDone = 0;
}

void blockAcknowledged()
{
    blocksDone = blocksDone + 1;
}

void copyEnded()
{
    copying = 0;
}

int formatCopyLine(char* buffer, int size, int acknowledged, int total)
{
    // Opens a line of its own: the progress line may be half drawn.
    int at = append(buffer, 0, size, "\nquorvel-cli: interrupted after ");
    at = appendNumber(buffer, at, size, acknowledged);
    at = append(buffer, at, size, " of ");
    at = appendNumber(buffer, at, size, total);
    at = append(buffer, at, size, " firmware blocks were acknowledged; the board keeps a partial image "
                                  "(copy the firmware again before flashing)\n");
    return at;
}

} // namespace InterruptNotice
