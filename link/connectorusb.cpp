#include "connectorusb.h"

#include "dumpline.h"
#include "serialinput.h"

#include <QElapsedTimer>

namespace {

// A reply is complete once the line has been quiet this long.
constexpr int kQuietGapMs = 50;
// Passes over bytes already waiting before a request; a device that never
// stops talking must not keep write() in the loop.
constexpr int kMaxDrainPasses = 16;

} // namespace

ConnectorUSB::ConnectorUSB(const QString& portName)
    : portName(portName)
{
    serialPort.setReadBufferSize(SerialInput::maxChunk);
    // A device that is unplugged leaves the port with a resource error.
    QObject::connect(&serialPort, &QSerialPort::errorOccurred, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError)
            reportLinkLost();
    });
}

ConnectorUSB::~ConnectorUSB()
{
    QObject::disconnect(&serialPort, nullptr, nullptr, nullptr);
    if (serialPort.isOpen())
        serialPort.close();
}

QSerialPort* ConnectorUSB::GetSerialPort()
{
    return &serialPort;
}

int ConnectorUSB::waitMs() const
{
    // Qt's wait calls take a negative time as "for ever".
    return qMax(0, getTimeout());
}

void ConnectorUSB::setDevID(unsigned char)
{
    // One board per USB port: there is no address to set.
}

QByteArray ConnectorUSB::takeStaleInput()
{
    QByteArray stale;
    if (!serialPort.isOpen())
        return stale;
    for (int pass = 0; pass < kMaxDrainPasses; ++pass) {
        stale += serialPort.readAll();
        if (!serialPort.waitForReadyRead(0))
            break;
    }
    stale += serialPort.readAll();
    return stale;
}

int ConnectorUSB::write(const QByteArray& data)
{
    if (!serialPort.isOpen())
        return -1;

    // Whatever is still waiting (a reply that came after its read timed out)
    // would otherwise be taken as the answer to this request.
    const QByteArray stale = takeStaleInput();
    if (!stale.isEmpty()) {
        emitDump(dumpLine("RX", stale));
        // Bare bytes carry no address: whatever waited was the board's.
        noteExtraReply();
    }

    serialPort.clearError();
    qint64 written = 0;
    while (written < data.size()) {
        const qint64 accepted = serialPort.write(data.constData() + written, data.size() - written);
        if (accepted <= 0)
            return -1;
        if (!SerialInput::waitWritten(&serialPort, waitMs()))
            return -1;
        written += accepted;
    }
    emitDump(dumpLine("TX", data));
    return int(written);
}

QByteArray ConnectorUSB::read()
{
    QByteArray result;
    if (!serialPort.isOpen())
        return result;

    // Part of the reply may already sit in the port's buffer (taken in while
    // the request was being written); waitForReadyRead only sees new bytes.
    if (serialPort.bytesAvailable() > 0 || serialPort.waitForReadyRead(waitMs())) {
        result += serialPort.read(SerialInput::maxChunk);
        // A long reply may run past the time-out, but a device that never
        // falls quiet must not hold the caller for ever: one more time-out
        // span after the first byte is the limit. Nor may it fill memory: no
        // reply is anywhere near a chunk, so a full chunk ends the read.
        QElapsedTimer sinceFirstByte;
        sinceFirstByte.start();
        const qint64 tailLimit = qMax(waitMs(), kQuietGapMs);
        while (result.size() < SerialInput::maxChunk && sinceFirstByte.elapsed() < tailLimit
               && serialPort.waitForReadyRead(kQuietGapMs))
            result += serialPort.read(SerialInput::maxChunk - result.size());
    }
    if (!result.isEmpty())
        emitDump(dumpLine("RX", result));
    return result;
}
