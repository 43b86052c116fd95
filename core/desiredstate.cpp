#include "desiredstate.h"

#include "boardstate.h"
#include "configfile.h"

namespace DesiredState {

QList<ConfigCommands::Block> differingBlocks(const BoardState& board, const ConfigFile& current,
                                             const ConfigFile& desired)
{
    // The bytes each block's write would carry, not the fields: a field the
    // file keeps only to send back (a reserved byte) counts as well.
    const ConfigCommands commands(nullptr, board);
    QList<ConfigCommands::Block> blocks;
    for (ConfigCommands::Block block : commands.blocksToWrite()) {
        if (commands.blockData(block, current.dido, current.ports, current.protocols)
            != commands.blockData(block, desired.dido, desired.ports, desired.protocols))
            blocks << block;
    }
    return blocks;
}

bool firmwareDue(const BoardState& board, const QString& version)
{
    return !(board.mainFirmwareRunning() && board.firmwareVersionKnown && board.firmwareVersion == version.trimmed());
}

} // namespace DesiredState
