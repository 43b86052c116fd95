#pragma once

#include <QByteArray>
#include <QList>

// The run-length coding of firmware images (transfer method "RLE").
//
// Stream: the image length as unsigned 32-bit little-endian, then tokens that
// reproduce the image in order. Each token starts with a 3-byte header H,
// unsigned 24-bit little-endian:
//   bit 23 set:   a run; count = H & 0x7FFFFF (4 to 32768), then the one byte
//                 that repeats count times;
//   bit 23 clear: a literal; count = H (1 to 243), then count bytes as they are.

inline constexpr int RleMaxRun = 32768;
inline constexpr int RleMaxLiteral = 243;

// One transfer block of the stream: whole tokens (the first block also the
// length), and the number of image bytes those tokens produce.
struct RlePacket
{
    QByteArray bytes;
    int rawCount = 0;
};

// Runs of four or more equal bytes (at most 32768 per token) become run tokens;
// everything else goes out as literals of at most 243 bytes.
QByteArray rleEncode(const QByteArray& image);

// The packets splitRlePackets(rleEncode(image), maxPacket, maxRaw) gives, made
// without building the whole stream, and only the first `keep` of them: an
// image that needs far too many packets is found out in bounded memory.
// `*count` (when given) receives how many packets there are in all; empty
// with a count of 0 where the splitter gives nothing.
QList<RlePacket> rleEncodePackets(const QByteArray& image, int maxPacket, int maxRaw, int keep, qint64* count);

// Cuts `stream` at token boundaries into packets of at most `maxPacket` bytes
// standing for at most `maxRaw` image bytes each; the first packet starts with
// the 4 length bytes. Gives an empty list for maxPacket <= 4, maxRaw <= 0 and
// for a malformed stream: shorter than the length field, a truncated header or
// token, a count of 0, a token that does not fit even an empty packet, or
// tokens that do not add up to the length the stream declares.
QList<RlePacket> splitRlePackets(const QByteArray& stream, int maxPacket, int maxRaw);
