#pragma once

#include <QJsonObject>
#include <QString>

struct BoardState;

// Which configuration blocks a board exchanges and in which form, as its type
// and firmware version decide: a saved configuration may only go back to a
// board that exchanges the very same blocks, or bytes would land in the wrong
// place or go missing.
struct ConfigLayout
{
    enum class DoTable { None, Short, Full };

    int diChannels = 0;        // DI entries written (0 when the board has no DI table)
    bool diDebounce = false;   // debounce times written (0xA8)
    bool diInputModes = false; // input modes written (0xA9)
    DoTable doTable = DoTable::Short; // 0xA6 full entries, 0xA5 short ones, or no DO table

    static ConfigLayout of(const BoardState& board);

    bool operator==(const ConfigLayout& other) const;
    bool operator!=(const ConfigLayout& other) const { return !(*this == other); }

    // "16 DI with debounce and input modes, DO full entries"
    QString describe() const;

    QJsonObject toJson() const;
    // False, with `error` set, for a malformed layout object.
    static bool fromJson(const QJsonObject& object, ConfigLayout* layout, QString* error);
};
