// The virtual board on malformed input: request payloads of any length
// behind any command code, framed or bare, whole or gathered from arbitrary
// chunks by a link session; and its run-length decoder on packets of any
// shape. The board answers or stays silent, never crashes, and what it puts
// on a framed line is whole frames for its own address. A packet the decoder
// refuses changes nothing; a packet it takes never brings the image past the
// length declared, and a stream it takes whole is the one a plain reading
// gives.

#include "clientsession.h"
#include "framecodec.h"
#include "fuzzcheck.h"
#include "rlereference.h"
#include "rlestreamdecoder.h"
#include "virtualboard.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>

namespace {

// The codes the board knows, so that the fuzzer need not guess them first.
const uint8_t kCodes[] = { 0x64, 0x67, 0x70, 0x71, 0x72, 0x78, 0x79, 0x7A, 0x7B, 0x7C, 0x9D, 0x9E, 0xA0, 0xA1,
                           0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB0, 0xB1, 0xB2, 0xB4, 0xB5, 0xB6 };

QByteArray requestFrom(FuzzedDataProvider& in)
{
    std::string bytes = in.ConsumeRandomLengthString(300);
    if (!bytes.empty() && in.ConsumeBool())
        bytes[0] = char(in.PickValueInArray(kCodes));
    return QByteArray(bytes.data(), int(bytes.size()));
}

// Every byte a framed board puts on the line belongs to a whole, correct
// frame for its address.
void checkFramedLine(QByteArray line, quint32 address)
{
    while (!line.isEmpty()) {
        const UnpackResult frame = FrameCodec::unpack(line, address);
        FUZZ_CHECK(frame.status == UnpackOk);
    }
}

void serveRequests(FuzzedDataProvider& in)
{
    VirtualBoard board;
    board.log().setEnabled(false);
    const quint32 address = in.ConsumeIntegralInRange<quint32>(0, 300);
    board.setAddress(address);
    const bool framed = in.ConsumeBool();
    while (in.remaining_bytes() > 0) {
        const QByteArray request = requestFrom(in);
        const ReplyPlan plan = board.serve(board.address(), request, framed, in.ConsumeIntegralInRange<int>(0, 400), "fuzz");
        QByteArray line;
        for (const ReplyPlan::Piece& piece : plan.pieces) {
            FUZZ_CHECK(piece.pauseBeforeMs >= 0);
            line += piece.bytes;
        }
        FUZZ_CHECK(!plan.hangUp);
        if (framed)
            checkFramedLine(line, address);
        else
            FUZZ_CHECK(line.size() <= FrameCodec::maxPayload);
    }
}

void gatherChunks(FuzzedDataProvider& in)
{
    VirtualBoard board;
    board.log().setEnabled(false);
    const quint32 address = in.ConsumeIntegralInRange<quint32>(0, 3);
    board.setAddress(address);
    const bool framed = in.ConsumeBool();
    QByteArray line;
    ClientSession session(&board, framed, "fuzz", [&line](const QByteArray& bytes) { line += bytes; }, [] {});
    while (in.remaining_bytes() > 0) {
        QByteArray chunk = requestFrom(in);
        // Whole frames now and then, so that the session gets past its framing.
        if (framed && in.ConsumeBool())
            chunk = FrameCodec::pack(in.ConsumeBool() ? address : address + 1, chunk);
        session.receive(chunk);
        QCoreApplication::processEvents();
        if (in.ConsumeBool())
            session.reset();
    }
    QCoreApplication::processEvents();
    if (framed)
        checkFramedLine(line, address);
}

void decodePackets(FuzzedDataProvider& in)
{
    const quint32 maxImage = in.ConsumeIntegralInRange<quint32>(0, 200000);
    RleStreamDecoder decoder(maxImage);
    QByteArray stream;
    while (in.remaining_bytes() > 0) {
        const bool first = !decoder.started() || in.ConsumeIntegralInRange<int>(0, 15) == 0;
        const bool last = in.ConsumeBool();
        const std::string bytes = in.ConsumeRandomLengthString(260);
        const QByteArray packet(bytes.data(), int(bytes.size()));

        const bool startedBefore = decoder.started();
        const quint32 declaredBefore = decoder.declaredLength();
        const QByteArray imageBefore = decoder.output();
        QString detail;
        const RleStreamDecoder::Result result = decoder.feedPacket(packet, first, last, &detail);
        if (result != RleStreamDecoder::Ok) {
            FUZZ_CHECK(!detail.isEmpty());
            FUZZ_CHECK(decoder.started() == startedBefore && decoder.declaredLength() == declaredBefore);
            FUZZ_CHECK(decoder.output() == imageBefore);
            continue;
        }
        FUZZ_CHECK(decoder.started() && decoder.declaredLength() <= maxImage);
        FUZZ_CHECK(quint32(decoder.output().size()) <= decoder.declaredLength());
        FUZZ_CHECK(decoder.output().size() - (first ? 0 : imageBefore.size()) <= RleStreamDecoder::maxPacketRaw);
        FUZZ_CHECK(!last || decoder.finished());
        stream = first ? packet : stream + packet;
    }

    // The whole stream read at once agrees with a plain reading of it.
    QByteArray image;
    if (RleStreamDecoder::decodeAll(stream, &image) == RleStreamDecoder::Ok) {
        std::vector<RleReference::Token> tokens;
        FUZZ_CHECK(RleReference::parse(stream, 4, stream.size(), &tokens));
        FUZZ_CHECK(RleReference::expand(stream, tokens) == image);
        FUZZ_CHECK(uint32_t(image.size()) == RleReference::declaredLength(stream));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Sessions keep timers, and timers want an application.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        serveRequests(in);
        break;
    case 1:
        gatherChunks(in);
        break;
    default:
        decodePackets(in);
    }
    return 0;
}
