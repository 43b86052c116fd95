#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The board's side of the run-length coded firmware transfer: it takes the
// stream packet by packet, exactly as the blocks bring it, and rebuilds the
// image.
//
// The stream opens with the image length (32-bit little-endian) and goes on
// with tokens, each led by a 24-bit little-endian header:
//   bit 23 set   - a run: count (4..32768) copies of the one byte that follows;
//   bit 23 clear - literal bytes: count (1..243) bytes follow as they are.
//
// The decoder is deliberately strict, because a board has fixed buffers: a
// token must lie wholly inside one packet, one packet may not expand to more
// than 32768 image bytes, and the image may not grow past the length it
// declared. Any breach fails the packet and leaves the decoder unchanged.
class RleStreamDecoder
{
public:
    enum Result {
        Ok,
        Malformed, // a token breaks the rules above
        TooLarge,  // the declared length exceeds what the board can hold
    };

    static constexpr int maxRunCount = 32768;
    static constexpr int maxLiteralCount = 243;
    static constexpr int maxPacketRaw = 32768;

    explicit RleStreamDecoder(quint32 maxImageSize = 2 * 1024 * 1024);

    void reset();

    // The first packet of a stream must start with the 4-byte image length;
    // the last one must bring the image to exactly that length. On failure
    // `detail` (when given) says what was wrong.
    Result feedPacket(const QByteArray& packet, bool first, bool last = false, QString* detail = nullptr);

    bool started() const { return hasLength; }
    quint32 declaredLength() const { return declared; }
    const QByteArray& output() const { return image; }
    // The stream has produced exactly the bytes it declared.
    bool finished() const { return hasLength && quint32(image.size()) == declared; }

    // Decodes a whole stream held in one piece (no packet limits beyond the
    // token rules); for checking a stream outside a transfer.
    static Result decodeAll(const QByteArray& stream, QByteArray* image, QString* detail = nullptr);

private:
    Result decodeTokens(const QByteArray& packet, int from, quint32 budget, int maxRaw, QByteArray& out,
                        QString* detail) const;

    quint32 maxImage;
    bool hasLength = false;
    quint32 declared = 0;
    QByteArray image;
};
