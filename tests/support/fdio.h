#pragma once

#include <QByteArray>

// Blocking-with-time-out byte I/O on a plain descriptor (pty master, socket),
// shared by the test peers.
namespace FdIo {

// Waits up to waitMs for something to read and returns one read's worth
// (empty on time-out, end of stream or error).
QByteArray readSome(int fd, int waitMs);
// Reads until `count` bytes have come or `timeoutMs` has passed.
QByteArray readCount(int fd, int count, int timeoutMs);
// Reads until nothing has come for `quietMs`, or `maxMs` has passed.
QByteArray readUntilQuiet(int fd, int quietMs, int maxMs);
// Everything that can be read right now.
QByteArray drain(int fd);
// Writes all of `bytes`, waiting while the descriptor is full; false on error.
bool writeAll(int fd, const QByteArray& bytes);

void pause(int ms);

} // namespace FdIo
