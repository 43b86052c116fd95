#pragma once

#include "boardstate.h"
#include "commandexchange.h"
#include "configblocks.h"

#include <QList>
#include <QString>

class Connector;

// The read and write sequences of the configuration blocks, on top of the
// command exchange. Each member returns true when the board did what was asked
// (or when the block does not exist on this board: a gated step that is
// skipped counts as done, so a save of several blocks does not fail on a board
// that lacks one). Every member returns false at once without a connector.
// A failed read leaves its part of the record unchanged.
//
// The board state decides layouts and gates. It is copied: the object is cheap,
// make one per operation (`ConfigCommands(link, board).readDiDoConfig(config)`).
class ConfigCommands
{
public:
    ConfigCommands(Connector* connector, const BoardState& board);

    // 0xA0 -> diEntries.
    bool readDiConfig(DiDoConfig& config) const;
    // 0xA7 -> diDebounceMs. Without debounce support: table zeroed, nothing sent.
    bool readDiDebounce(DiDoConfig& config) const;
    // 0xAA -> the four input-mode arrays. Without support: all 32 channels
    // get their defaults, nothing sent.
    bool readDiExtended(DiDoConfig& config) const;
    // 0xA4 -> doEntries.
    bool readDoConfig(DiDoConfig& config) const;

    // 0xA2, only for a known board type other than 3 (else done).
    bool writeDiTable(const DiDoConfig& config) const;
    // 0xA8, only with debounce support (else done).
    bool writeDiDebounce(const DiDoConfig& config) const;
    // 0xA9, only with input-mode support (else done).
    bool writeDiExtended(const DiDoConfig& config) const;
    // 0xA6 with full entries when the DO DP flag is supported, else 0xA5.
    bool writeDoConfig(const DiDoConfig& config) const;

    // Every read of the DI/DO tab, in order, each attempted even after one
    // failed: the DI reads for a known type other than 3, the DO read unless
    // the type is 4 (skipped ones count as done).
    bool readDiDoConfig(DiDoConfig& config) const;
    // The save: DI table, debounce and input modes for a known type other than
    // 3, DO table unless the type is 4; every step attempted.
    bool writeDiDoConfig(const DiDoConfig& config) const;

    // 0xA1: the board restores its factory DI/DO settings. The caller tells a
    // write failure (written() false) from a refusal or silence.
    ExchangeResult restoreFactory() const;

    struct Rs485Read
    {
        bool ports = false;     // 0x71 succeeded: `ports` was filled
        bool protocols = false; // 0x9D succeeded as well: `protocols` was filled
        bool ok() const { return ports; }
    };
    // 0x71 with up to three attempts, then 0x9D once. A failed 0x9D does not
    // fail the read and leaves `protocols` as it was.
    Rs485Read readRs485Params(Rs485Ports& ports, Iec101Ports& protocols) const;
    // 0x72 with the port records; only if acknowledged, 0x9E with the protocol
    // records. True when both are acknowledged.
    bool writeRs485Params(const Rs485Ports& ports, const Iec101Ports& protocols) const;

    // The blocks of a whole configuration, in the order a restore sends them;
    // blocks this board does not take are left out.
    enum class Block { DiTable, DiDebounce, DiModes, DoTable, Rs485Ports, Iec101 };
    QList<Block> blocksToWrite() const;
    // "DI table (0xA2)"
    QString blockName(Block block) const;
    static bool isDiDoBlock(Block block) { return block != Block::Rs485Ports && block != Block::Iec101; }
    // The request code and the data a block's write carries for these
    // records on this board: two records send the same bytes exactly when
    // the board would end up holding the same.
    quint8 blockCode(Block block) const;
    QByteArray blockData(Block block, const DiDoConfig& config, const Rs485Ports& ports,
                         const Iec101Ports& protocols) const;
    bool writeBlock(Block block, const DiDoConfig& config, const Rs485Ports& ports,
                    const Iec101Ports& protocols) const;
    // The read that gives back what writeBlock sent (0xA0, 0xA7, 0xAA, 0xA4,
    // 0x71 or 0x9D), into the same records; a failed read leaves them as they were.
    bool readBlock(Block block, DiDoConfig& config, Rs485Ports& ports, Iec101Ports& protocols) const;

private:
    bool sendForAck(quint8 code, const QByteArray& data) const;
    bool readPorts(Rs485Ports& ports) const;         // 0x71, up to three attempts
    bool readProtocols(Iec101Ports& protocols) const; // 0x9D

    Connector* link;
    BoardState board;
};
