#pragma once

#include "connectorusb.h"
#include "framecodec.h"
#include "tessarin_export.h"

#include <QObject>
#include <QSerialPort>
#include <QThread>

#include <functional>
#include <atomic>

class WorkerContextObject;

// A board on an RS-485 line behind a COM port: framed payloads, the port
// driven from a worker thread behind blocking calls.
class TESSARIN_EXPORT ConnectorSerial : public ConnectorUSB
{
public:
    explicit ConnectorSerial(const QString& portName);
    ~ConnectorSerial() override;

    void setDevID(unsigned char id) override;
    int write(const QByteArray& payload) override;
    QByteArray read() override;

    bool openPort(const QString& portName, int baudRate, QSerialPort::DataBits dataBits,
                  QSerialPort::Parity parity, QSerialPort::StopBits stopBits,
                  QSerialPort::FlowControl flowControl);
    // Why the last openPort() failed, as the port reported it (NoError and
    // an empty text when it opened or no port was reached).
    QSerialPort::SerialPortError openError() const;
    QString openErrorString() const;

    // Whole frames the reading passes over, with the status that made it
    // (UnpackBadCrc, UnpackForeignAddress) and the frame's bytes: a line scan
    // must tell such answers from silence, where an exchange only drops them.
    using PassedOverCallback = std::function<void(int32_t status, const QByteArray& frame)>;
    void setPassedOverCallback(const PassedOverCallback& cb) { passedOver = cb; }

protected:
    void Pack(QByteArray& out, const QByteArray& payload) const;
    UnpackResult Unpack(QByteArray& buffer) const;
    // Whether input about to be thrown away may hold a reply of this board: a
    // frame begun for this address, or one whose address has not come yet.
    // Noise without a start mark and other boards' frames are no reply of ours.
    bool mayHoldOwnReply(const QByteArray& input) const;

    uint32_t devId = 0;

private:
    friend class TestConnectorSerial;

    // CRC-32 the way the STM32 hardware unit computes it over 32-bit words:
    // kept beside the framing code for firmware tooling, unused by the frames.
    unsigned int crc32_formula_normal_STM32(unsigned int length, void* data) const;
    // Turns a group of up to four bytes into the unit's word order; returns
    // the address of one static 4-byte work area.
    unsigned char* reorder4(unsigned char* data, unsigned int length) const;
    void watchForPortLoss();

    bool portOpen = false;
    PassedOverCallback passedOver;
    QThread workerThread;
    WorkerContextObject* worker = nullptr;
    // Lives on the creating thread, so the worker's news of a lost port
    // reaches the loss callback there.
    QObject lossRelay;
    // Set by the worker the moment the port fails for good, so a blocking
    // read stops waiting on a device that is gone.
    std::atomic<bool> portGone { false };
};
