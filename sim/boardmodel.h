#pragma once

#include "boardconfiguration.h"
#include "firmwarereceiver.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <optional>

// One board of the family as seen from the link: request payload in, reply
// payload (or silence) out. No I/O, no timers; the links and the fault knobs
// live elsewhere.
//
// Replies (all numbers little-endian; "ack" is C9; "refusal" is C8 followed by
// a 32-bit status code, see FirmwareReceiver::Status and BadRequestLength):
//   64            C9, mode (0 main firmware, 1 bootloader), length, bootloader version text
//   78            C9, length, main firmware version text
//   7D            C9, board type (16 bits)
//   79            C9, error code (32 bits): the code of the last refusal, 0 after
//                 a successful flash, a reboot or a mode switch
//   7A / 7B       ack, and the board now runs the bootloader / the main firmware
//                 (reported by the next 64); the firmware transfer is dropped
//   7C            ack, or nothing with the reboot-silent knob; drops the transfer
//   71 / 9D       71 + 56 port bytes / 9D + 48 protocol bytes
//   72 / 9E       exactly 56 / 48 bytes after the code: stored, ack
//   A0            A0 + 128 bytes (32 entries); old layout A0 + 64 (16 entries)
//   A1            factory DI/DO values (BoardConfiguration::restoreFactoryDiDo), ack
//   A2            64 bytes (entries 0-15) or 128 bytes (all 32): stored, ack
//   A4            A4 + 144 (9 full entries); old layout A4 + 108 (9 short entries:
//                 bytes 0-4 of the entry, three zero bytes, the hold time)
//   A5            108 bytes, 9 short entries: bytes 0-4 and the hold time of each
//                 entry are stored, the rest of the entry is kept; ack
//   A6            144 bytes: stored, ack
//   A7            A7 + 4 bytes per DI channel
//   A8 / A9       exactly 4 bytes per DI channel after the code: stored, ack
//   AA            AA + 4 bytes per DI channel; old layout 3 (no nominal byte)
//   AB / AC       zero / 24 V calibration done, ack
//   B0-B2, B4-B6  firmware blocks (FirmwareReceiver): ack, or a refusal
//   67            ack when a complete image is held (the image becomes the
//                 flashed one), else a refusal; the flash-refuse knob refuses
//                 with its own code whatever was received; an image holding
//                 "version=A.B.C" becomes the main firmware (flashed from the
//                 bootloader) or bootloader (flashed from the main firmware)
//                 of that version
// DI channels by board type: 16, 16, 0, 32 for types 1 to 4, 16 for any other.
// A write with the wrong number of bytes is refused with BadRequestLength and
// changes nothing. An empty request and any other code get no reply at all,
// as a board ignores what it does not know. The board answers every command
// in both modes, since the program reads the ports on every connect.
class BoardModel
{
public:
    static constexpr quint32 BadRequestLength = 0x20;
    static constexpr int maxTextLength = 64;

    BoardModel();

    std::optional<QByteArray> handle(const QByteArray& request);

    // Identity and behaviour.
    quint16 boardType() const { return type; }
    void setBoardType(quint16 value) { type = value; }
    QByteArray firmwareVersion() const { return firmwareText; }
    void setFirmwareVersion(const QByteArray& text) { firmwareText = text.left(maxTextLength); }
    QByteArray bootloaderVersion() const { return bootloaderText; }
    void setBootloaderVersion(const QByteArray& text) { bootloaderText = text.left(maxTextLength); }
    quint8 mode() const { return runningMode; }
    void setMode(quint8 value) { runningMode = value; }
    bool oldLayout() const { return old; }
    void setOldLayout(bool value) { old = value; }
    bool rebootSilent() const { return silentReboot; }
    void setRebootSilent(bool value) { silentReboot = value; }
    // 0 lets the flash go by what was received.
    quint32 flashRefusal() const { return flashRefusalCode; }
    void setFlashRefusal(quint32 code) { flashRefusalCode = code; }
    // Refuse every request with this command code (-1: none), to stop a
    // sequence of writes half-way.
    qint32 errorCode() const { return lastError; }
    void setErrorCode(qint32 code) { lastError = code; }

    int diChannelCount() const;

    const BoardConfiguration& configuration() const { return config; }
    void setConfiguration(const BoardConfiguration& value) { config = value; }
    // Grows by one whenever a command changes the stored configuration.
    quint64 configurationRevision() const { return revision; }

    const FirmwareReceiver& firmware() const { return receiver; }
    // The image a flash would write now, or else the image flashed last;
    // empty when there is neither.
    QByteArray latestImage() const;
    QByteArray flashedImage() const { return flashed; }

    struct Counters
    {
        int requests = 0;
        int zeroCalibrations = 0;
        int scaleCalibrations = 0;
        int reboots = 0;
        int modeSwitches = 0;
        int factoryRestores = 0;
        int flashes = 0;
        int refusals = 0;
    };
    const Counters& counters() const { return count; }

    // Identity, mode, counters, transfer and configuration as one object.
    QJsonObject stateJson() const;

    // A short name of the command, "unknown" for codes the board ignores.
    static QString commandName(quint8 code);
    // What the last handled request did, for the log ("" when nothing to add).
    QString lastNote() const { return note; }

private:
    QByteArray refuse(quint32 code, const QString& why);
    QByteArray ack(const QString& what = QString());
    QByteArray block(quint8 code, const QByteArray& data) const;
    bool storeExact(const QByteArray& request, int size, QByteArray& target, int at = 0);
    QByteArray doTableShort() const;
    QByteArray inputModesReply() const;
    QByteArray flash();
    void dropTransfer();

    quint16 type = 1;
    QByteArray firmwareText = "1.2.0";
    QByteArray bootloaderText = "1.1.0";
    quint8 runningMode = 0;
    bool old = false;
    bool silentReboot = false;
    quint32 flashRefusalCode = 0;
    qint32 lastError = 0;

    BoardConfiguration config;
    quint64 revision = 0;
    FirmwareReceiver receiver;
    QByteArray flashed;
    Counters count;
    QString note;
};
