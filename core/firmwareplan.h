#pragma once

#include "boardstate.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

// How a firmware image is cut into acknowledged blocks, and whether it may be
// sent at all.
//
// Block request: opcode, block number (unsigned 16-bit LE, 0 first), data
// length n (unsigned 16-bit LE), n data bytes (n <= 250).

enum class FirmwareMethod {
    Legacy, // the image as it is, 250 bytes a block: 0xB0 / 0xB1 / 0xB2
    Rle,    // the run-length stream, one packet a block: 0xB4 / 0xB5 / 0xB6
};

inline constexpr int FirmwareBlockSize = 250;
// Block numbers travel as 16 bits; more blocks would reuse numbers.
inline constexpr int MaxFirmwareBlocks = 65536;

// "LEGACY" or "RLE".
QString firmwareMethodName(FirmwareMethod method);

// RLE only when a connector is held, the bootloader runs, the board type is
// known and 1 to 4, and the bootloader version number is above 6; LEGACY
// otherwise (a bootloader image therefore always goes by LEGACY).
FirmwareMethod chooseFirmwareMethod(const BoardState& board, bool connectorHeld);

// The dump line "[firmware] send method=%1 board=%2 bootloader=%3 file=%4":
// `boardCode` empty gives "UNKNOWN"; `bootloaderText` is trimmed (pass "-" when
// there is no bootloader label).
QString firmwareSendLine(FirmwareMethod method, const QString& boardCode, const QString& bootloaderText,
                         const QString& fileName);

// Opcode of block `index` of `count`: first for block 0 (also when it is the
// only one), last for block count - 1, middle otherwise.
quint8 firmwareBlockOpcode(FirmwareMethod method, int index, int count);

// Reply time-out of block `index` of `count`: 60000 ms for the last block (a
// single block included), 5000 ms for block 0, else 1000 ms (LEGACY) or 60000 ms (RLE).
int firmwareBlockTimeoutMs(FirmwareMethod method, int index, int count);

// The request of one block; only the low 16 bits of `blockNumber` are sent.
// `data` holds at most 250 bytes.
QByteArray firmwareBlockRequest(quint8 opcode, int blockNumber, const QByteArray& data);

struct FirmwareBlock
{
    QByteArray data;  // what follows the block header
    int rawCount = 0; // image bytes this block stands for (progress)
};

// The blocks of `image` as the method cuts it, without any check: LEGACY gives
// no block for an empty image; RLE gives one block of the four zero length
// bytes; an empty list from RLE means the stream could not be cut.
QList<FirmwareBlock> firmwareBlocks(const QByteArray& image, FirmwareMethod method);

enum class FirmwareImageProblem {
    None,
    Empty,         // nothing to copy: the board would be asked to flash whatever it holds
    TooManyBlocks, // more than 65536 blocks: block numbers would repeat
    Unencodable,   // the run-length stream could not be cut into packets
};

struct FirmwarePlan
{
    FirmwareMethod method = FirmwareMethod::Legacy;
    qint64 imageSize = 0;
    QList<FirmwareBlock> blocks;    // empty unless ok()
    FirmwareImageProblem problem = FirmwareImageProblem::None;
    qint64 blocksNeeded = 0;        // how many blocks the image takes (also when refused)

    bool ok() const { return problem == FirmwareImageProblem::None; }
    // The warning to show for a refused image; empty when ok().
    QString problemText() const;
};

// Cuts the image and refuses, before anything is sent, an empty image and one
// that needs more than 65536 blocks.
FirmwarePlan planFirmwareTransfer(const QByteArray& image, FirmwareMethod method);
