#pragma once

#include "configfile.h"

#include <QDate>
#include <QString>

#include <optional>

struct BoardState;

// A configuration file on disk, for the window and the command-line tool alike.
namespace ConfigFileStore {

// A saved configuration is a few tens of KiB; anything past this is not one,
// and is refused before it is parsed.
constexpr qint64 sizeLimit = ConfigFile::maxFileBytes;

// Reads and checks the whole file; `error` names the problem otherwise.
std::optional<ConfigFile> load(const QString& path, QString* error);
// All or nothing: a half-written file never replaces a good one.
bool save(const QString& path, const ConfigFile& file, QString* error);

// "VRELL_A_addr5_2026-12-07.json"
QString defaultName(const BoardState& board, int deviceAddress, const QDate& date);

} // namespace ConfigFileStore
