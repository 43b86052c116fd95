#include "boardstate.h"

#include "boardinfo.h"
#include "versionnumber.h"

std::optional<int> BoardState::firmwareVersionNumber() const
{
    if (!firmwareVersionKnown)
        return std::nullopt;
    return parseVersionNumber(firmwareVersion);
}

std::optional<int> BoardState::bootloaderVersionNumber() const
{
    return parseVersionNumber(bootloaderVersion);
}

bool BoardState::hasDiTable() const
{
    return boardTypeKnown && BoardInfo::hasDiTable(boardType);
}

bool BoardState::lacksDiTable() const
{
    return boardTypeKnown && !BoardInfo::hasDiTable(boardType);
}

bool BoardState::hasDoTable() const
{
    return !boardTypeKnown || BoardInfo::hasDoTable(boardType);
}

bool BoardState::hasNinthDo() const
{
    return !boardTypeKnown || BoardInfo::hasNinthDo(boardType);
}

int BoardState::diChannelCount() const
{
    return BoardInfo::diChannelCount(boardTypeKnown, boardType);
}

int BoardState::doChannelCount() const
{
    return BoardInfo::doChannelCount(boardTypeKnown, boardType);
}

int BoardState::diPairLimit() const
{
    return BoardInfo::diPairLimit(boardTypeKnown, boardType);
}

QString BoardState::boardCode() const
{
    return BoardInfo::boardCode(boardTypeKnown, boardType);
}

namespace {
bool firmwareAbove(const BoardState& board, int number)
{
    const auto version = board.firmwareVersionNumber();
    return version && *version > number;
}
} // namespace

bool BoardState::diDebounceSupported() const
{
    if (!hasDiTable())
        return false;
    return !BoardInfo::debounceNeedsFirmware5(boardType) || firmwareAbove(*this, 4);
}

bool BoardState::diExtendedSupported() const
{
    return hasDiTable() && firmwareAbove(*this, 5);
}

bool BoardState::doDpSupported() const
{
    return firmwareAbove(*this, 4);
}

bool BoardState::calibrationAvailable(bool connectorHeld) const
{
    return connectorHeld && mainFirmwareRunning() && hasDiTable() && firmwareAbove(*this, 5);
}

bool BoardState::boardVersionQueryAllowed() const
{
    if (bootloaderRunning()) {
        const auto number = bootloaderVersionNumber();
        return number && *number > 4;
    }
    if (mainFirmwareRunning())
        return firmwareAbove(*this, 3);
    return false;
}

bool BoardState::operator==(const BoardState& other) const
{
    return modeKnown == other.modeKnown && mode == other.mode && firmwareVersionKnown == other.firmwareVersionKnown
        && firmwareVersion == other.firmwareVersion && boardTypeKnown == other.boardTypeKnown
        && boardType == other.boardType && bootloaderVersion == other.bootloaderVersion;
}
