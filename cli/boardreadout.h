#pragma once

#include "boardstate.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

class Connector;

// The identity readout the window makes on connect, without the window:
// firmware version (0x78) and status (0x64) always, board version (0x7D) only
// from versions that know it, and on request the error code (0x79). Each value
// keeps the text the window's label would show.
class BoardReadout
{
public:
    explicit BoardReadout(Connector* link);

    // Reads firmware version and status, then the board version when it may be
    // asked; with `withErrorCode` the error code as well. Returns usable().
    bool run(bool withErrorCode);

    // The board answered the firmware version and sent a well-formed status:
    // the window keeps such a link, and so do the operations here.
    bool usable() const { return firmwareAnswered && board.modeKnown; }
    // Every value that was asked came back well-formed.
    bool complete() const;
    // Why the readout is not usable: the window's "Устройство не ответило\n".
    static QString silentBoardText();

    const BoardState& state() const { return board; }

    // "Версия платы: VRELL_A" and so on, in the window's order and words.
    QStringList labelLines() const;
    // The same as one object for scripts: null where nothing valid came back.
    QJsonObject toJson() const;

    // The window's running mode text ("Основная прошивка", "Загрузчик", "Неизвестно (7)").
    QString modeText() const { return statusLabel; }

private:
    Connector* link;
    BoardState board;

    bool firmwareAnswered = false;
    bool firmwareValid = false; // well-formed, possibly with an empty text
    bool boardVersionAsked = false;
    bool errorCodeAsked = false;
    std::optional<qint32> errorCode;

    QString boardLabel = QStringLiteral("-");
    QString firmwareLabel = QStringLiteral("-");
    QString statusLabel = QStringLiteral("-");
    QString bootloaderLabel = QStringLiteral("-");
    QString errorLabel = QStringLiteral("-");
};
