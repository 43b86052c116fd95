#include "firmwareplan.h"

#include "commandset.h"
#include "rlecoder.h"

#include <QCoreApplication>
#include <QtEndian>

#include <limits>

QString firmwareMethodName(FirmwareMethod method)
{
    return method == FirmwareMethod::Rle ? QStringLiteral("RLE") : QStringLiteral("LEGACY");
}

FirmwareMethod chooseFirmwareMethod(const BoardState& board, bool connectorHeld)
{
    const auto bootloader = board.bootloaderVersionNumber();
    const bool rle = connectorHeld && board.bootloaderRunning() && board.boardTypeKnown && board.boardType >= 1
        && board.boardType <= 4 && bootloader && *bootloader > 6;
    return rle ? FirmwareMethod::Rle : FirmwareMethod::Legacy;
}

QString firmwareSendLine(FirmwareMethod method, const QString& boardCode, const QString& bootloaderText,
                         const QString& fileName)
{
    return QStringLiteral("[firmware] send method=%1 board=%2 bootloader=%3 file=%4")
        .arg(firmwareMethodName(method), boardCode.isEmpty() ? QStringLiteral("UNKNOWN") : boardCode,
             bootloaderText.trimmed(), fileName);
}

quint8 firmwareBlockOpcode(FirmwareMethod method, int index, int count)
{
    const bool rle = method == FirmwareMethod::Rle;
    if (index == 0)
        return rle ? Command::RleFirstBlock : Command::LegacyFirstBlock;
    if (index == count - 1)
        return rle ? Command::RleLastBlock : Command::LegacyLastBlock;
    return rle ? Command::RleMiddleBlock : Command::LegacyMiddleBlock;
}

int firmwareBlockTimeoutMs(FirmwareMethod method, int index, int count)
{
    if (index == count - 1)
        return Command::LastBlockTimeoutMs;
    if (index == 0)
        return Command::FirstBlockTimeoutMs;
    return method == FirmwareMethod::Rle ? Command::RleMiddleBlockTimeoutMs : Command::LegacyMiddleBlockTimeoutMs;
}

QByteArray firmwareBlockRequest(quint8 opcode, int blockNumber, const QByteArray& data)
{
    Q_ASSERT(data.size() <= 0xFFFF);
    QByteArray request;
    request.reserve(5 + data.size());
    request.append(char(opcode));
    char field[2];
    qToLittleEndian(quint16(blockNumber & 0xFFFF), field);
    request.append(field, 2);
    qToLittleEndian(quint16(data.size()), field);
    request.append(field, 2);
    request.append(data);
    return request;
}

QList<FirmwareBlock> firmwareBlocks(const QByteArray& image, FirmwareMethod method)
{
    QList<FirmwareBlock> blocks;
    if (method == FirmwareMethod::Rle) {
        const QList<RlePacket> packets = rleEncodePackets(image, FirmwareBlockSize, RleMaxRun,
                                                          std::numeric_limits<int>::max(), nullptr);
        blocks.reserve(packets.size());
        for (const RlePacket& packet : packets)
            blocks.append({ packet.bytes, packet.rawCount });
        return blocks;
    }
    const int count = (image.size() + FirmwareBlockSize - 1) / FirmwareBlockSize;
    blocks.reserve(count);
    for (int i = 0; i < count; ++i) {
        const QByteArray data = image.mid(i * FirmwareBlockSize, FirmwareBlockSize);
        blocks.append({ data, data.size() });
    }
    return blocks;
}

FirmwarePlan planFirmwareTransfer(const QByteArray& image, FirmwareMethod method)
{
    FirmwarePlan plan;
    plan.method = method;
    plan.imageSize = image.size();
    if (image.isEmpty()) {
        plan.problem = FirmwareImageProblem::Empty;
        return plan;
    }
    // A raw image's block count is known without cutting it; refuse a huge one
    // before spending memory on its copies.
    if (method == FirmwareMethod::Legacy) {
        plan.blocksNeeded = (qint64(image.size()) + FirmwareBlockSize - 1) / FirmwareBlockSize;
        if (plan.blocksNeeded > MaxFirmwareBlocks) {
            plan.problem = FirmwareImageProblem::TooManyBlocks;
            return plan;
        }
    }
    QList<FirmwareBlock> blocks;
    if (method == FirmwareMethod::Rle) {
        // Packets past the last number are only counted, so an image that
        // codes badly costs no more memory than one that fits.
        const QList<RlePacket> packets =
            rleEncodePackets(image, FirmwareBlockSize, RleMaxRun, MaxFirmwareBlocks, &plan.blocksNeeded);
        for (const RlePacket& packet : packets)
            blocks.append({ packet.bytes, packet.rawCount });
    } else {
        blocks = firmwareBlocks(image, method);
        plan.blocksNeeded = blocks.size();
    }
    if (blocks.isEmpty()) {
        plan.problem = FirmwareImageProblem::Unencodable;
        return plan;
    }
    if (plan.blocksNeeded > MaxFirmwareBlocks) {
        plan.problem = FirmwareImageProblem::TooManyBlocks;
        return plan;
    }
    plan.blocks = std::move(blocks);
    return plan;
}

QString FirmwarePlan::problemText() const
{
    switch (problem) {
    case FirmwareImageProblem::None:
        return QString();
    case FirmwareImageProblem::Empty:
        return QCoreApplication::translate("MainWindow", "Файл прошивки пуст\n");
    case FirmwareImageProblem::TooManyBlocks:
        return QCoreApplication::translate("MainWindow",
                                           "Файл прошивки слишком велик: блоков %1, допустимо не более %2\n")
            .arg(blocksNeeded)
            .arg(MaxFirmwareBlocks);
    case FirmwareImageProblem::Unencodable:
        return QCoreApplication::translate("MainWindow", "Ошибка кодирования файла прошивки\n");
    }
    return QString();
}
