#pragma once

#include <QElapsedTimer>
#include <QSerialPort>

// Keeping a serial port's input bounded when the far end never stops talking.
namespace SerialInput {

// The port buffers at most this much and one read hands over at most this
// much, so junk is thrown away as it comes instead of piling up. No reply of
// any board comes near it.
inline constexpr int maxChunk = 64 * 1024;

// With its read buffer full the port stops taking input, and a wait for a
// write then ends at once as though the write had failed. Whatever comes in
// while a request is still going out cannot be its answer: it is dropped and
// the wait goes on, within the same time-out.
inline bool waitWritten(QSerialPort* port, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (port->waitForBytesWritten(int(qMax<qint64>(0, timeoutMs - clock.elapsed()))))
            return true;
        const bool inputFull = port->bytesAvailable() >= port->readBufferSize();
        if (!inputFull || port->error() != QSerialPort::NoError || clock.elapsed() >= timeoutMs)
            return false;
        port->readAll();
    }
}

} // namespace SerialInput
