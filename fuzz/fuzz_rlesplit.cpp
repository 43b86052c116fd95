// The packet splitter against arbitrary streams and limits. A list it gives
// must tile the stream exactly with whole tokens, respect both limits, cut a
// packet only where the next token would not fit, and account for exactly the
// image length the stream declares; a stream that breaks the token rules must
// give an empty list, and a sound one whose tokens all fit must not.

#include "fuzzcheck.h"
#include "rlecoder.h"
#include "rlereference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

namespace {

void appendHeader(QByteArray& out, uint32_t header)
{
    out.append(char(header & 0xFF));
    out.append(char((header >> 8) & 0xFF));
    out.append(char((header >> 16) & 0xFF));
}

// Mostly well-formed streams, so the accepting paths get explored as much as
// the refusing ones.
QByteArray buildStream(FuzzedDataProvider& in)
{
    QByteArray tokens;
    uint32_t total = 0;
    for (int n = 0; n < 200 && in.remaining_bytes() > 0; ++n) {
        switch (in.ConsumeIntegralInRange<int>(0, 9)) {
        case 0: case 1: case 2: case 3: case 4: {
            const std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, RleMaxLiteral));
            if (bytes.empty())
                break;
            appendHeader(tokens, uint32_t(bytes.size()));
            tokens.append(bytes.data(), int(bytes.size()));
            total += uint32_t(bytes.size());
            break;
        }
        case 5: case 6: case 7: {
            const uint32_t count = in.ConsumeIntegralInRange<uint32_t>(4, RleMaxRun);
            appendHeader(tokens, 0x800000u | count);
            tokens.append(char(in.ConsumeIntegral<uint8_t>()));
            total += count;
            break;
        }
        case 8: { // any header at all, count 0 and huge ones included
            const uint32_t header = in.ConsumeIntegralInRange<uint32_t>(0, 0xFFFFFF);
            appendHeader(tokens, header);
            if (header & 0x800000u)
                tokens.append(char(in.ConsumeIntegral<uint8_t>()));
            total += header & 0x7FFFFFu;
            break;
        }
        default: {
            const std::string junk = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, 8));
            tokens.append(junk.data(), int(junk.size()));
            break;
        }
        }
    }
    const uint32_t declared = in.ConsumeBool() ? total : in.ConsumeIntegral<uint32_t>();
    QByteArray stream;
    for (int i = 0; i < 4; ++i)
        stream.append(char((declared >> (8 * i)) & 0xFF));
    stream += tokens;
    if (in.ConsumeBool())
        stream.chop(qMin(stream.size(), int(in.ConsumeIntegralInRange<int>(0, 6))));
    return stream;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    int maxPacket = 250;
    int maxRaw = RleMaxRun;
    if (in.ConsumeBool()) {
        maxPacket = in.ConsumeIntegralInRange<int>(-2, 600);
        maxRaw = in.ConsumeIntegralInRange<int>(-2, 70000);
    }
    QByteArray stream;
    if (in.ConsumeBool()) {
        stream = buildStream(in);
    } else {
        const std::string bytes = in.ConsumeRemainingBytesAsString();
        stream = QByteArray(bytes.data(), int(bytes.size()));
    }

    const QList<RlePacket> packets = splitRlePackets(stream, maxPacket, maxRaw);

    std::vector<RleReference::Token> tokens;
    const bool wellFormed = stream.size() >= 4 && RleReference::parse(stream, 4, stream.size(), &tokens)
        && RleReference::rawTotal(tokens) == int64_t(RleReference::declaredLength(stream));
    bool allFit = maxPacket > 4 && maxRaw > 0;
    bool someNeverFits = !allFit;
    for (const RleReference::Token& t : tokens) {
        allFit = allFit && t.size <= maxPacket - 4 && t.count <= maxRaw;
        someNeverFits = someNeverFits || t.size > maxPacket || t.count > maxRaw;
    }
    if (!wellFormed || someNeverFits)
        FUZZ_CHECK(packets.isEmpty());
    if (wellFormed && allFit)
        FUZZ_CHECK(!packets.isEmpty());
    if (packets.isEmpty())
        return 0;

    QByteArray joined;
    int64_t raw = 0;
    for (int i = 0; i < packets.size(); ++i) {
        const RlePacket& packet = packets.at(i);
        FUZZ_CHECK(packet.bytes.size() <= maxPacket);
        FUZZ_CHECK(packet.rawCount >= 0 && packet.rawCount <= maxRaw);
        const int from = i == 0 ? 4 : 0;
        if (i == 0)
            FUZZ_CHECK(packet.bytes.left(4) == stream.left(4));
        else
            FUZZ_CHECK(packet.bytes.size() > 0);
        std::vector<RleReference::Token> own;
        FUZZ_CHECK(RleReference::parse(packet.bytes, from, packet.bytes.size(), &own));
        FUZZ_CHECK(RleReference::rawTotal(own) == packet.rawCount);
        // A packet is closed only when the next token would not fit into it.
        if (i + 1 < packets.size()) {
            std::vector<RleReference::Token> next;
            FUZZ_CHECK(RleReference::parse(packets.at(i + 1).bytes, 0, packets.at(i + 1).bytes.size(), &next));
            FUZZ_CHECK(!next.empty());
            FUZZ_CHECK(next.front().size > maxPacket - packet.bytes.size()
                       || int64_t(packet.rawCount) + next.front().count > maxRaw);
        }
        joined += packet.bytes;
        raw += packet.rawCount;
    }
    FUZZ_CHECK(joined == stream);
    FUZZ_CHECK(raw == int64_t(RleReference::declaredLength(stream)));
    return 0;
}
