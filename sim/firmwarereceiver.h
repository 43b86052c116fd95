#pragma once

#include "rlestreamdecoder.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// Collects a firmware image from numbered blocks, sent raw (opcodes B0 first,
// B1 middle, B2 last) or run-length coded (B4, B5, B6). A block request is
// opcode, 16-bit block number, 16-bit data length, data; all little-endian.
//
// What the board accepts:
// - a first-block opcode always starts a new transfer (so a resent block 0
//   simply starts over); its block number must be 0;
// - a middle or last block must use the method of the transfer and carry the
//   next block number (low 16 bits, so long transfers may wrap);
// - the length field must equal the data present and be at most 250;
// - a block identical to the last one acknowledged is acknowledged again and
//   not applied twice: the program resends a block whose acknowledgement it
//   missed;
// - run-length packets must decode cleanly (see RleStreamDecoder); a packet
//   that does not fails the whole transfer until the next first block.
// Anything else is refused with a status code and leaves the transfer as it
// was, so the right block may still follow.
//
// When the image counts as complete: after a last block; or, since a transfer
// of a single block sends only the first-block opcode, when nothing but the
// first block came (for run-length transfers only if that block brought the
// whole declared image).
class FirmwareReceiver
{
public:
    enum class Method { None, Legacy, Rle };
    enum class Phase { Idle, Receiving, Complete, Failed };

    // Refusal codes, reported as the 32-bit status after 0xC8 and by 0x79.
    enum Status : quint32 {
        Accepted = 0,
        NoImage = 0x01,           // flash asked for with nothing received
        ImageIncomplete = 0x02,   // the last block has not come
        ImageEmpty = 0x03,        // nothing to write
        TransferFailed = 0x04,    // the transfer broke earlier and was not restarted
        BlockOutOfOrder = 0x10,   // opcode does not fit the transfer (method, first block missing)
        BlockOutOfSequence = 0x11,
        BlockLengthInvalid = 0x12,
        StreamMalformed = 0x13,
        ImageTooLarge = 0x14,
    };

    static constexpr int headerSize = 5;
    static constexpr int maxBlockData = 250;
    static constexpr int maxImageSize = 2 * 1024 * 1024;

    FirmwareReceiver();

    static bool isBlockOpcode(quint8 code);

    // Applies one block request (opcode included). Returns Accepted or the
    // refusal code; `detail` says what was wrong, or what was done.
    Status handleBlock(const QByteArray& request, QString* detail = nullptr);

    // Accepted when an image is ready to be written, else why not.
    Status readyToFlash(QString* detail = nullptr) const;

    // The image rebuilt so far (whole once readyToFlash() is Accepted).
    QByteArray image() const;

    void reset();

    Phase phase() const { return currentPhase; }
    Method method() const { return currentMethod; }
    int blocksAccepted() const { return blocks; }

    static QString methodName(Method method);
    static QString phaseName(Phase phase);

private:
    Status refuse(Status status, QString* detail, const QString& text) const;

    Phase currentPhase = Phase::Idle;
    Method currentMethod = Method::None;
    int blocks = 0;
    QByteArray raw;               // raw transfers
    RleStreamDecoder decoder;     // run-length transfers
    QByteArray lastAccepted;      // the last acknowledged request, for resends
};
