// The parsers of what the board sends back: the identity and status replies,
// the configuration block decoders and the version rule. Each is judged
// against a plain reading of the reply: accepted exactly when its lead byte
// and length say so, nothing changed when refused, and once accepted the
// record written back out gives the very bytes that came in.

#include "boardstate.h"
#include "configblocks.h"
#include "fuzzcheck.h"
#include "replyparsers.h"
#include "versionnumber.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstring>
#include <limits>

namespace {

uint8_t byte(const QByteArray& r, int i)
{
    return uint8_t(r.at(i));
}

uint32_t le32(const QByteArray& r, int i)
{
    return uint32_t(byte(r, i)) | uint32_t(byte(r, i + 1)) << 8 | uint32_t(byte(r, i + 2)) << 16
        | uint32_t(byte(r, i + 3)) << 24;
}

// The text whose length byte sits at `at`: capped at what follows, Latin-1, trimmed.
QString expectedText(const QByteArray& r, int at)
{
    if (at >= r.size())
        return QString();
    const int n = qMin(int(byte(r, at)), r.size() - at - 1);
    // Not the QByteArray overload: in Qt 5 it stops at the first zero byte.
    return QString::fromLatin1(r.constData() + at + 1, n).trimmed();
}

void checkText(const QString& text)
{
    for (const QChar c : text)
        FUZZ_CHECK(c.unicode() < 256);
    if (!text.isEmpty()) {
        FUZZ_CHECK(!text.front().isSpace());
        FUZZ_CHECK(!text.back().isSpace());
    }
}

// The version rule read plainly: three parts of ASCII digits, each an int,
// the weighted sum an int.
std::optional<int> expectedVersion(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 3)
        return std::nullopt;
    int64_t value[3] = {};
    for (int i = 0; i < 3; ++i) {
        const QString& part = parts.at(i);
        if (part.isEmpty())
            return std::nullopt;
        int64_t v = 0;
        for (const QChar c : part) {
            if (c.unicode() < '0' || c.unicode() > '9')
                return std::nullopt;
            v = v * 10 + (c.unicode() - '0');
            if (v > std::numeric_limits<int>::max())
                return std::nullopt;
        }
        value[i] = v;
    }
    const int64_t number = value[0] * 1000 + value[1] * 100 + value[2];
    if (number > std::numeric_limits<int>::max())
        return std::nullopt;
    return int(number);
}

void checkVersion(const QString& text)
{
    FUZZ_CHECK(parseVersionNumber(text) == expectedVersion(text));
}

void checkIdentity(const QByteArray& r)
{
    const bool ack = !r.isEmpty() && byte(r, 0) == 0xC9;
    const bool status = !r.isEmpty() && (byte(r, 0) == 0xC9 || byte(r, 0) == 0xC8);

    const auto firmware = parseFirmwareVersionReply(r);
    FUZZ_CHECK(firmware.has_value() == (ack && r.size() >= 2));
    if (firmware) {
        FUZZ_CHECK(*firmware == expectedText(r, 1));
        checkText(*firmware);
        checkVersion(*firmware);
    }

    const auto device = parseDeviceStatusReply(r);
    FUZZ_CHECK(device.has_value() == (ack && r.size() >= 3));
    if (device) {
        FUZZ_CHECK(device->mode == byte(r, 1));
        FUZZ_CHECK(device->bootloaderVersion == expectedText(r, 2));
        checkText(device->bootloaderVersion);
        BoardState board;
        board.modeKnown = true;
        board.mode = device->mode;
        board.bootloaderVersion = device->bootloaderVersion;
        FUZZ_CHECK(board.bootloaderVersionNumber() == expectedVersion(device->bootloaderVersion));
    }

    const auto boardType = parseBoardVersionReply(r);
    FUZZ_CHECK(boardType.has_value() == (ack && r.size() >= 3));
    if (boardType)
        FUZZ_CHECK(*boardType == (byte(r, 1) | byte(r, 2) << 8));

    const auto code = parseStatusReply(r);
    FUZZ_CHECK(code.has_value() == (status && r.size() >= 5));
    if (code)
        FUZZ_CHECK(*code == le32(r, 1));
    const auto error = parseErrorCodeReply(r);
    FUZZ_CHECK(error.has_value() == code.has_value());
    if (error)
        FUZZ_CHECK(uint32_t(*error) == *code);
}

template <typename T>
bool sameBytes(const T& a, const T& b)
{
    return std::memcmp(&a, &b, sizeof(T)) == 0;
}

// Every byte of the record set to something a decoder would have to overwrite.
DiDoConfig scribbled(uint8_t seed)
{
    DiDoConfig c;
    auto* bytes = reinterpret_cast<unsigned char*>(&c);
    for (size_t i = 0; i < sizeof c; ++i)
        bytes[i] = uint8_t(seed + i * 7);
    return c;
}

// The DI entries (0..127), debounce (128..255), the four mode arrays
// (256..383), the DO entries (384..527): a decoder may touch only its own part.
bool sameOutside(const DiDoConfig& a, const DiDoConfig& b, size_t from, size_t to)
{
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    return std::memcmp(x, y, from) == 0 && std::memcmp(x + to, y + to, sizeof(DiDoConfig) - to) == 0;
}

void checkDiTable(const QByteArray& r, uint8_t seed)
{
    const DiDoConfig before = scribbled(seed);
    DiDoConfig c = before;
    const bool accepted = ConfigBlocks::takeDiTable(c, r);
    FUZZ_CHECK(accepted == (!r.isEmpty() && byte(r, 0) == 0xA0 && (r.size() == 129 || r.size() == 65)));
    if (!accepted) {
        FUZZ_CHECK(sameBytes(c, before));
        return;
    }
    FUZZ_CHECK(ConfigBlocks::diTableData(c, 32) == r.mid(1) + QByteArray(129 - r.size(), '\0'));
    FUZZ_CHECK(sameOutside(c, before, 0, 128));
}

void checkDiDebounce(const QByteArray& r, int channels, uint8_t seed)
{
    const int count = qBound(0, channels, 32);
    const DiDoConfig before = scribbled(seed);
    DiDoConfig c = before;
    const bool accepted = ConfigBlocks::takeDiDebounce(c, r, channels);
    FUZZ_CHECK(accepted == (!r.isEmpty() && byte(r, 0) == 0xA7 && r.size() == 4 * count + 1));
    if (!accepted) {
        FUZZ_CHECK(sameBytes(c, before));
        return;
    }
    FUZZ_CHECK(ConfigBlocks::diDebounceData(c, 32) == r.mid(1) + QByteArray(4 * (32 - count), '\0'));
    FUZZ_CHECK(sameOutside(c, before, 128, 256));
}

void checkDiModes(const QByteArray& r, int channels, uint8_t seed)
{
    const int count = qBound(0, channels, 32);
    const DiDoConfig before = scribbled(seed);
    DiDoConfig c = before;
    const bool accepted = ConfigBlocks::takeDiModes(c, r, channels);
    const bool lead = !r.isEmpty() && byte(r, 0) == 0xAA;
    const int record = r.size() == 4 * count + 1 ? 4 : r.size() == 3 * count + 1 ? 3 : 0;
    FUZZ_CHECK(accepted == (lead && record != 0));
    if (!accepted) {
        FUZZ_CHECK(sameBytes(c, before));
        return;
    }
    for (int i = 0; i < 32; ++i) {
        if (i < count) {
            const int at = 1 + record * i;
            FUZZ_CHECK(c.diDpPair[i] == (byte(r, at) ? 1 : 0));
            FUZZ_CHECK(c.diDpRole[i] == (byte(r, at + 1) ? 1 : 0));
            FUZZ_CHECK(c.diInputType[i] == (byte(r, at + 2) ? 1 : 0));
            FUZZ_CHECK(c.diNominal[i] == (record == 4 && byte(r, at + 3) ? 1 : 0));
        } else {
            FUZZ_CHECK(c.diDpPair[i] == 0 && c.diDpRole[i] == (i & 1) && c.diInputType[i] == 0
                       && c.diNominal[i] == 0);
        }
    }
    FUZZ_CHECK(sameOutside(c, before, 256, 384));
}

void checkDoTable(const QByteArray& r, uint8_t seed)
{
    const DiDoConfig before = scribbled(seed);
    DiDoConfig c = before;
    const bool accepted = ConfigBlocks::takeDoTable(c, r);
    FUZZ_CHECK(accepted == (!r.isEmpty() && byte(r, 0) == 0xA4 && (r.size() == 145 || r.size() == 109)));
    if (!accepted) {
        FUZZ_CHECK(sameBytes(c, before));
        return;
    }
    FUZZ_CHECK(sameOutside(c, before, 384, sizeof(DiDoConfig)));
    if (r.size() == 145) {
        FUZZ_CHECK(ConfigBlocks::doTableData(c, true) == r.mid(1));
        return;
    }
    for (int i = 0; i < 9; ++i) {
        const QByteArray full = ConfigBlocks::encodeDoEntry(c.doEntries[i]);
        FUZZ_CHECK(full.left(12) == r.mid(1 + 12 * i, 12));
        FUZZ_CHECK(c.doEntries[i].dp == 0);
        FUZZ_CHECK(std::memcmp(c.doEntries[i].carried13, before.doEntries[i].carried13, 3) == 0);
    }
    // Written back in the short form, only the padding differs from what came.
    QByteArray expected = r.mid(1);
    for (int i = 0; i < 9; ++i)
        expected.replace(12 * i + 5, 3, QByteArray(3, '\0'));
    FUZZ_CHECK(ConfigBlocks::doTableData(c, false) == expected);
}

void checkPorts(const QByteArray& r, uint8_t seed)
{
    Rs485Ports before;
    std::memset(static_cast<void*>(before.data()), seed, sizeof before);
    Rs485Ports ports = before;
    const bool accepted = ConfigBlocks::takeRs485Ports(ports, r);
    FUZZ_CHECK(accepted == (!r.isEmpty() && byte(r, 0) == 0x71 && r.size() > 56));
    if (accepted)
        FUZZ_CHECK(ConfigBlocks::rs485PortsData(ports) == r.mid(1, 56));
    else
        FUZZ_CHECK(sameBytes(ports, before));

    Iec101Ports protocolsBefore;
    std::memset(static_cast<void*>(protocolsBefore.data()), seed ^ 0x55, sizeof protocolsBefore);
    Iec101Ports protocols = protocolsBefore;
    const bool protocolsAccepted = ConfigBlocks::takeIec101(protocols, r);
    FUZZ_CHECK(protocolsAccepted == (!r.isEmpty() && byte(r, 0) == 0x9D && r.size() > 48));
    if (protocolsAccepted)
        FUZZ_CHECK(ConfigBlocks::iec101Data(protocols) == r.mid(1, 48));
    else
        FUZZ_CHECK(sameBytes(protocols, protocolsBefore));
}

void checkAll(const QByteArray& r, int channels, uint8_t seed)
{
    checkIdentity(r);
    checkDiTable(r, seed);
    checkDiDebounce(r, channels, seed);
    checkDiModes(r, channels, seed);
    checkDoTable(r, seed);
    checkPorts(r, seed);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider in(data, size);
    const int channels = in.ConsumeIntegralInRange<int>(-3, 40);
    const uint8_t seed = in.ConsumeIntegral<uint8_t>();
    const int textAt = in.ConsumeIntegralInRange<int>(-2, 300);
    const std::string bytes = in.ConsumeRemainingBytesAsString();
    QByteArray reply(bytes.data(), int(bytes.size()));

    checkAll(reply, channels, seed);
    const QString text = replyText(reply, textAt);
    checkText(text);
    FUZZ_CHECK(text == (textAt < 0 ? QString() : expectedText(reply, textAt)));
    checkVersion(QString::fromLatin1(reply.constData(), reply.size()));

    // The same bytes behind each lead a parser looks for, so that lengths and
    // contents get explored without the fuzzer first guessing the lead byte.
    if (!reply.isEmpty()) {
        for (const uint8_t lead : { 0xC9, 0xC8, 0xA0, 0xA7, 0xAA, 0xA4, 0x71, 0x9D }) {
            reply[0] = char(lead);
            checkAll(reply, channels, seed);
        }
    }
    return 0;
}
