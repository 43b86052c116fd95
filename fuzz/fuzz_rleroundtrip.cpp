// Any image through the coder and the splitter comes back unchanged: decoded
// by an independent reader packet by packet (and by the virtual board's own
// decoder when it is built), with every token and packet inside its limits.

#include "fuzzcheck.h"
#include "fuzzimage.h"
#include "rlecoder.h"
#include "rlereference.h"

#ifdef QUORVEL_HAVE_BOARD_DECODER
#include "rlestreamdecoder.h"
#endif

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

namespace {

constexpr int kPacket = 250;
constexpr int kImageCap = 160 * 1024;

// No four equal bytes in a row inside the literal stretches: those belong in runs.
bool literalsHoldNoRun(const QByteArray& stream, const std::vector<RleReference::Token>& tokens)
{
    QByteArray stretch;
    const auto clean = [](const QByteArray& bytes) {
        for (int i = 0; i + 3 < bytes.size(); ++i) {
            if (bytes.at(i) == bytes.at(i + 1) && bytes.at(i) == bytes.at(i + 2) && bytes.at(i) == bytes.at(i + 3))
                return false;
        }
        return true;
    };
    for (const RleReference::Token& t : tokens) {
        if (t.run) {
            if (!clean(stretch))
                return false;
            stretch.clear();
        } else {
            stretch.append(stream.constData() + t.offset + 3, t.count);
        }
    }
    return clean(stretch);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const QByteArray image = fuzzedImage(in, kImageCap);
    const QByteArray stream = rleEncode(image);

    FUZZ_CHECK(stream.size() >= 4);
    FUZZ_CHECK(RleReference::declaredLength(stream) == uint32_t(image.size()));
    std::vector<RleReference::Token> tokens;
    FUZZ_CHECK(RleReference::parse(stream, 4, stream.size(), &tokens));
    for (const RleReference::Token& t : tokens) {
        if (t.run)
            FUZZ_CHECK(t.count >= 4 && t.count <= RleMaxRun);
        else
            FUZZ_CHECK(t.count >= 1 && t.count <= RleMaxLiteral);
    }
    FUZZ_CHECK(literalsHoldNoRun(stream, tokens));
    FUZZ_CHECK(RleReference::expand(stream, tokens) == image);

    const QList<RlePacket> packets = splitRlePackets(stream, kPacket, RleMaxRun);
    FUZZ_CHECK(!packets.isEmpty());
    QByteArray joined;
    QByteArray decoded;
    for (int i = 0; i < packets.size(); ++i) {
        const RlePacket& packet = packets.at(i);
        FUZZ_CHECK(packet.bytes.size() <= kPacket);
        FUZZ_CHECK(packet.rawCount <= RleMaxRun);
        std::vector<RleReference::Token> own;
        FUZZ_CHECK(RleReference::parse(packet.bytes, i == 0 ? 4 : 0, packet.bytes.size(), &own));
        const QByteArray piece = RleReference::expand(packet.bytes, own);
        FUZZ_CHECK(piece.size() == packet.rawCount);
        decoded += piece;
        joined += packet.bytes;
    }
    FUZZ_CHECK(joined == stream);
    FUZZ_CHECK(decoded == image);

#ifdef QUORVEL_HAVE_BOARD_DECODER
    RleStreamDecoder board(4 * 1024 * 1024);
    for (int i = 0; i < packets.size(); ++i)
        FUZZ_CHECK(board.feedPacket(packets.at(i).bytes, i == 0, i + 1 == packets.size()) == RleStreamDecoder::Ok);
    FUZZ_CHECK(board.finished());
    FUZZ_CHECK(board.output() == image);
#endif
    return 0;
}
