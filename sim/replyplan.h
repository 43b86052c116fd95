#pragma once

#include <QByteArray>
#include <QVector>

// How one reply goes onto the line: pieces with the pause before each, the
// line rate at which their bytes are paced, and whether the link is cut after
// the last piece.
struct ReplyPlan
{
    struct Piece
    {
        int pauseBeforeMs = 0;
        QByteArray bytes;
    };

    QVector<Piece> pieces;
    int baud = 0;          // 0: bytes go out at once
    int leadBytes = 0;     // paced only: request bytes still on the line before the reply's first
    bool hangUp = false;   // cut the link after the last piece
    // 0 or more: the reply waits for the link's next request and leaves this
    // many ms after it, and the link stays one reply behind (see PacedWriter).
    int holdMs = -1;

    int byteCount() const
    {
        int n = 0;
        for (const Piece& p : pieces)
            n += p.bytes.size();
        return n;
    }
};
