// The frame codec against arbitrary line data cut into arbitrary chunks, as a
// reader meets it: each unpack step may only consume a head of the buffer,
// whatever it reports must be what the consumed bytes really were, and the
// sequence of outcomes may not depend on how the bytes were chunked (nor on
// whether the reader discards junk between reads).

#include "framecodec.h"
#include "fuzzcheck.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <vector>

namespace {

const QByteArray kMark = QByteArray::fromHex("fe45ff54");

struct Event
{
    int32_t status;
    QByteArray payload;
    bool operator==(const Event& other) const { return status == other.status && payload == other.payload; }
};

struct Reading
{
    std::vector<Event> events;
    QByteArray left;
};

uint32_t frameAddress(const QByteArray& frame)
{
    return uint32_t(uint8_t(frame.at(4))) | uint32_t(uint8_t(frame.at(5))) << 8;
}

// Checks one unpack step: `before` is the buffer as it was handed in.
void checkStep(const QByteArray& before, const QByteArray& after, const UnpackResult& r, uint32_t address)
{
    FUZZ_CHECK(r.status >= UnpackOk && r.status <= UnpackForeignAddress);
    FUZZ_CHECK(after.size() <= before.size());
    const int consumed = before.size() - after.size();
    FUZZ_CHECK(before.mid(consumed) == after);
    if (r.status != UnpackOk)
        FUZZ_CHECK(r.payload.isEmpty());

    const int markAt = before.indexOf(kMark);
    if (r.status == UnpackIncomplete) {
        if (markAt < 0) {
            FUZZ_CHECK(consumed == 0); // junk without a mark stays until one comes
        } else {
            FUZZ_CHECK(consumed == markAt);
            FUZZ_CHECK(after.startsWith(kMark));
            FUZZ_CHECK(after.size() < FrameCodec::overhead
                       || after.size() < uint8_t(after.at(6)) + FrameCodec::overhead);
        }
        return;
    }

    // A decision was made on one whole frame that starts at the first mark.
    FUZZ_CHECK(markAt >= 0 && markAt < consumed);
    const QByteArray frame = before.mid(markAt, consumed - markAt);
    FUZZ_CHECK(frame.size() >= FrameCodec::overhead);
    const int length = uint8_t(frame.at(6));
    FUZZ_CHECK(frame.size() == length + FrameCodec::overhead);
    const QByteArray body = frame.mid(FrameCodec::headerSize, length);
    const bool checksumGood = FrameCodec::pack(frameAddress(frame), body) == frame;

    switch (r.status) {
    case UnpackOk:
        FUZZ_CHECK(checksumGood);
        FUZZ_CHECK(r.payload == body);
        FUZZ_CHECK(FrameCodec::pack(address, r.payload) == frame); // came whole, for us
        break;
    case UnpackForeignAddress:
        FUZZ_CHECK(checksumGood);
        FUZZ_CHECK(frameAddress(frame) != address);
        break;
    case UnpackBadCrc:
        FUZZ_CHECK(!checksumGood);
        break;
    }
}

// Feeds `stream` in chunks of the given sizes (the rest in one last chunk)
// and unpacks after each until the codec wants more.
Reading read(const QByteArray& stream, const std::vector<int>& chunks, uint32_t address, bool discard)
{
    Reading out;
    QByteArray buffer;
    int at = 0;
    size_t next = 0;
    while (at < stream.size() || next == 0) {
        const int take = next < chunks.size() ? qMin(chunks[next], stream.size() - at) : stream.size() - at;
        ++next;
        buffer.append(stream.constData() + at, take);
        at += take;
        if (discard) {
            const QByteArray before = buffer;
            const int dropped = FrameCodec::discardJunk(buffer);
            FUZZ_CHECK(dropped >= 0 && before.mid(dropped) == buffer);
            if (dropped > 0) {
                FUZZ_CHECK(!before.contains(kMark));
                FUZZ_CHECK(buffer.size() == kMark.size() - 1);
            }
        }
        // Every step that decides on a frame shrinks the buffer, so this ends;
        // the bound turns a codec that stops making progress into a crash.
        const int stepLimit = buffer.size() / FrameCodec::overhead + 2;
        int steps = 0;
        for (;;) {
            FUZZ_CHECK(++steps <= stepLimit);
            const QByteArray before = buffer;
            const UnpackResult r = FrameCodec::unpack(buffer, address);
            checkStep(before, buffer, r, address);
            if (r.status == UnpackIncomplete)
                break;
            out.events.push_back({ r.status, r.payload });
        }
        if (stream.isEmpty())
            break;
    }
    out.left = buffer;
    return out;
}

QByteArray consumePayload(FuzzedDataProvider& in)
{
    const std::string bytes = in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, 300));
    return QByteArray(bytes.data(), int(bytes.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const uint32_t address = in.ConsumeIntegral<uint16_t>();
    const uint32_t other = in.ConsumeIntegral<uint16_t>();
    // A clean line carries nothing but whole frames; then every one of them
    // must come out, in order.
    const bool clean = in.ConsumeBool();

    QByteArray stream;
    std::vector<Event> expected;
    for (int piece = 0; piece < 48 && in.remaining_bytes() > 0; ++piece) {
        switch (in.ConsumeIntegralInRange<int>(0, clean ? 1 : 4)) {
        case 0: {
            const QByteArray payload = consumePayload(in);
            stream += FrameCodec::pack(address, payload);
            expected.push_back({ UnpackOk, payload.left(FrameCodec::maxPayload) });
            break;
        }
        case 1: {
            const QByteArray payload = consumePayload(in);
            stream += FrameCodec::pack(other, payload);
            if (other == address)
                expected.push_back({ UnpackOk, payload.left(FrameCodec::maxPayload) });
            else
                expected.push_back({ UnpackForeignAddress, QByteArray() });
            break;
        }
        case 2: { // a frame with one byte spoilt: mark, address, length, payload or checksum
            QByteArray frame = FrameCodec::pack(address, consumePayload(in));
            const int index = in.ConsumeIntegralInRange<int>(0, frame.size() - 1);
            frame[index] = char(uint8_t(frame.at(index)) ^ in.ConsumeIntegralInRange<uint8_t>(1, 255));
            stream += frame;
            break;
        }
        case 3:
            stream += kMark;
            break;
        default:
            stream += consumePayload(in);
            break;
        }
    }
    std::vector<int> chunks;
    while (in.remaining_bytes() > 0 && chunks.size() < 256)
        chunks.push_back(in.ConsumeIntegralInRange<int>(0, 80));

    const Reading whole = read(stream, {}, address, false);
    const Reading chunked = read(stream, chunks, address, false);
    const Reading discarding = read(stream, chunks, address, true);
    FUZZ_CHECK(chunked.events == whole.events);
    FUZZ_CHECK(chunked.left == whole.left);
    FUZZ_CHECK(discarding.events == whole.events);
    FUZZ_CHECK(whole.left.endsWith(discarding.left));

    if (clean) {
        FUZZ_CHECK(whole.left.isEmpty());
        FUZZ_CHECK(whole.events.size() == expected.size());
        for (size_t i = 0; i < expected.size(); ++i)
            FUZZ_CHECK(whole.events[i] == expected[i]);
    }
    return 0;
}
