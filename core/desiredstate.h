#pragma once

#include "configcommands.h"

#include <QList>
#include <QString>

class ConfigFile;
struct BoardState;

// What it takes to bring a board to a desired state: the decisions behind an
// idempotent apply, made on what the board reported, before anything is sent.
namespace DesiredState {

// The blocks of `desired` whose write would carry other bytes than `current`
// holds, in the order a restore sends them; empty when the board holds the
// configuration already. Both files must have the board's layout.
QList<ConfigCommands::Block> differingBlocks(const BoardState& board, const ConfigFile& current,
                                             const ConfigFile& desired);

// A main firmware is due unless the board runs its main firmware and reports
// exactly `version` (a board in its bootloader is not where it should be,
// whatever it reports).
bool firmwareDue(const BoardState& board, const QString& version);

} // namespace DesiredState
