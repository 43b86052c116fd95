// Firmware planning from arbitrary sizes and bytes: the size check before
// reading agrees with the most the raw method can number, and a plan either refuses
// with a reason and no blocks, or gives at most 65536 blocks that carry the
// image exactly, under the limits of a block. The packets made while encoding
// are the packets the splitter cuts from the whole stream, whatever the
// limits and however many are kept.

#include "firmwarefile.h"
#include "firmwareplan.h"
#include "fuzzcheck.h"
#include "fuzzimage.h"
#include "rlecoder.h"
#include "rlereference.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>

#include <limits>

namespace {

constexpr int kImageCap = 200 * 1024;

void checkSize(qint64 size)
{
    FUZZ_CHECK(FirmwareFile::maxImageBytes == 65536LL * 250);
    FUZZ_CHECK(FirmwareFile::sizeProblem(size).isEmpty() == (size > 0 && size <= FirmwareFile::maxImageBytes));
}

void checkPlan(const QByteArray& image, FirmwareMethod method)
{
    const FirmwarePlan plan = planFirmwareTransfer(image, method);
    FUZZ_CHECK(plan.imageSize == image.size());
    if (!plan.ok()) {
        FUZZ_CHECK(plan.blocks.isEmpty());
        FUZZ_CHECK(!plan.problemText().isEmpty());
        FUZZ_CHECK(image.isEmpty() == (plan.problem == FirmwareImageProblem::Empty));
        return;
    }
    // What the plan takes, the size check before reading took as well.
    FUZZ_CHECK(FirmwareFile::sizeProblem(image.size()).isEmpty());
    const int count = plan.blocks.size();
    FUZZ_CHECK(count >= 1 && count <= MaxFirmwareBlocks && plan.blocksNeeded == count);

    QByteArray joined;
    qint64 raw = 0;
    for (int i = 0; i < count; ++i) {
        const FirmwareBlock& block = plan.blocks.at(i);
        FUZZ_CHECK(block.data.size() <= FirmwareBlockSize);
        FUZZ_CHECK(block.rawCount > 0 || (method == FirmwareMethod::Rle && image.isEmpty()));
        const QByteArray request = firmwareBlockRequest(firmwareBlockOpcode(method, i, count), i, block.data);
        FUZZ_CHECK(request.size() == 5 + block.data.size() && request.mid(5) == block.data);
        FUZZ_CHECK(firmwareBlockTimeoutMs(method, i, count) > 0);
        joined += block.data;
        raw += block.rawCount;
    }
    FUZZ_CHECK(raw == image.size());
    if (method == FirmwareMethod::Legacy) {
        FUZZ_CHECK(joined == image);
        return;
    }
    std::vector<RleReference::Token> tokens;
    FUZZ_CHECK(joined.size() >= 4 && RleReference::declaredLength(joined) == uint32_t(image.size()));
    FUZZ_CHECK(RleReference::parse(joined, 4, joined.size(), &tokens));
    FUZZ_CHECK(RleReference::expand(joined, tokens) == image);
}

void checkPacketsWhileEncoding(const QByteArray& image, int maxPacket, int maxRaw, int keep)
{
    const QList<RlePacket> cut = splitRlePackets(rleEncode(image), maxPacket, maxRaw);
    qint64 count = -1;
    const QList<RlePacket> made = rleEncodePackets(image, maxPacket, maxRaw, keep, &count);
    FUZZ_CHECK(count == cut.size());
    FUZZ_CHECK(made.size() == qMin(qMax(keep, 0), cut.size()));
    for (int i = 0; i < made.size(); ++i)
        FUZZ_CHECK(made.at(i).bytes == cut.at(i).bytes && made.at(i).rawCount == cut.at(i).rawCount);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const FirmwareMethod method = in.ConsumeBool() ? FirmwareMethod::Rle : FirmwareMethod::Legacy;
    checkSize(in.ConsumeIntegral<qint64>());
    checkSize(in.ConsumeIntegralInRange<qint64>(-2, 65536LL * 250 + 2));
    const int maxPacket = in.ConsumeIntegralInRange<int>(-1, 300);
    const int maxRaw = in.ConsumeIntegralInRange<int>(-1, 40000);
    const int keep = in.ConsumeIntegralInRange<int>(-1, 5000);
    const QByteArray image = fuzzedImage(in, kImageCap);
    checkPlan(image, method);
    checkPacketsWhileEncoding(image, maxPacket, maxRaw, keep);
    return 0;
}
