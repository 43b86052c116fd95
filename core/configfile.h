#pragma once

#include "configblocks.h"
#include "configlayout.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QtGlobal>

#include <optional>

struct BoardState;

// A board's whole configuration as a readable JSON file: the DI/DO blocks, the
// two RS-485 port records and the two protocol records, with the board type,
// firmware version and block layout it was read with.
//
// Every byte that travels on a write is in the file, the ones no editor knows
// included (as hex), and values without a name of their own are kept as
// {"raw": N}, so a file written back sends exactly the bytes that were read.
// Fields the layout does not send are left out.
class ConfigFile
{
public:
    static constexpr const char* formatName = "quorvel-configuration";
    static constexpr int formatVersion = 1;
    // Input beyond this is refused unread: a real file is a few kilobytes.
    static constexpr qint64 maxFileBytes = 4 * 1024 * 1024;

    bool boardTypeKnown = false;
    quint16 boardType = 0;
    bool firmwareVersionKnown = false;
    QString firmwareVersion;
    QString bootloaderVersion;
    ConfigLayout layout;

    DiDoConfig dido;
    Rs485Ports ports;
    Iec101Ports protocols;

    // What was just read from `board`.
    static ConfigFile fromBoard(const BoardState& board, const DiDoConfig& dido, const Rs485Ports& ports,
                                const Iec101Ports& protocols);

    QJsonObject toJson() const;
    // Indented JSON with a final newline.
    QByteArray toBytes() const;
    static std::optional<ConfigFile> fromJson(const QJsonObject& object, QString* error);
    static std::optional<ConfigFile> fromBytes(const QByteArray& bytes, QString* error);

    // Empty when the file may be written to `board`; otherwise the reason it
    // may not (another board type, or another block layout).
    QString mismatch(const BoardState& board) const;
    // A difference worth a note that does not stop the write (another
    // firmware version with the same layout); empty when none.
    QString note(const BoardState& board) const;
};
