#pragma once

// Ctrl-C and SIGTERM end the tool as they end any program (the shell reports
// 128 + the signal: 130 or 143), with one last word on standard error when a
// firmware copy was under way: how far it got, and that the board now holds
// a partial image. The figures are kept where a signal handler may read them.
namespace InterruptNotice {

// Takes SIGINT and SIGTERM over; call once, early.
void install();

// A firmware copy of `totalBlocks` starts; `acknowledged` blocks are done.
void copyStarted(int totalBlocks);
void blockAcknowledged();
// The copy starts over from its first block (its replies could not be matched).
void copyRestarted();
// The copy is over, whatever its outcome.
void copyEnded();

// The line the handler writes: "interrupted after 3 of 120 blocks ...".
// Built without allocation, so that the handler may call it.
int formatCopyLine(char* buffer, int size, int acknowledged, int total);

} // namespace InterruptNotice
