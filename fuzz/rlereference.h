#pragma once

#include <QByteArray>

#include <cstdint>
#include <vector>

// A plain reading of the run-length stream, written apart from the coder so
// that the fuzz targets judge the coder by something other than itself.
//   length: 4 bytes little-endian; token: 3-byte little-endian header H,
//   bit 23 set -> run of (H & 0x7FFFFF) copies of the next byte,
//   bit 23 clear -> H literal bytes follow.
namespace RleReference {

struct Token
{
    int offset = 0; // of the header in the stream
    int size = 0;   // header included
    bool run = false;
    int count = 0;  // image bytes it stands for
};

inline uint32_t declaredLength(const QByteArray& stream)
{
    const auto b = [&](int i) { return uint32_t(uint8_t(stream.at(i))); };
    return b(0) | b(1) << 8 | b(2) << 16 | b(3) << 24;
}

// The tokens in [from, to); false when they do not tile it exactly (a
// truncated header or token, or a count of 0).
inline bool parse(const QByteArray& stream, int from, int to, std::vector<Token>* tokens)
{
    tokens->clear();
    int at = from;
    while (at < to) {
        if (to - at < 3)
            return false;
        const uint32_t header = uint32_t(uint8_t(stream.at(at))) | uint32_t(uint8_t(stream.at(at + 1))) << 8
            | uint32_t(uint8_t(stream.at(at + 2))) << 16;
        Token token;
        token.offset = at;
        token.run = (header & 0x800000u) != 0;
        token.count = int(header & 0x7FFFFFu);
        token.size = token.run ? 4 : 3 + token.count;
        if (token.count == 0 || token.size > to - at)
            return false;
        tokens->push_back(token);
        at += token.size;
    }
    return true;
}

inline int64_t rawTotal(const std::vector<Token>& tokens)
{
    int64_t total = 0;
    for (const Token& t : tokens)
        total += t.count;
    return total;
}

inline QByteArray expand(const QByteArray& stream, const std::vector<Token>& tokens)
{
    QByteArray out;
    for (const Token& t : tokens) {
        if (t.run)
            out.append(QByteArray(t.count, stream.at(t.offset + 3)));
        else
            out.append(stream.constData() + t.offset + 3, t.count);
    }
    return out;
}

} // namespace RleReference
