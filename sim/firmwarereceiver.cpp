#include "firmwarereceiver.h"

#include "commandset.h"

namespace {

enum class Position { First, Middle, Last };

bool classify(quint8 code, FirmwareReceiver::Method* method, Position* position)
{
    switch (code) {
    case Command::LegacyFirstBlock: *method = FirmwareReceiver::Method::Legacy; *position = Position::First; return true;
    case Command::LegacyMiddleBlock: *method = FirmwareReceiver::Method::Legacy; *position = Position::Middle; return true;
    case Command::LegacyLastBlock: *method = FirmwareReceiver::Method::Legacy; *position = Position::Last; return true;
    case Command::RleFirstBlock: *method = FirmwareReceiver::Method::Rle; *position = Position::First; return true;
    case Command::RleMiddleBlock: *method = FirmwareReceiver::Method::Rle; *position = Position::Middle; return true;
    case Command::RleLastBlock: *method = FirmwareReceiver::Method::Rle; *position = Position::Last; return true;
    default: return false;
    }
}

quint16 uint16At(const QByteArray& bytes, int at)
{
    return quint16(quint8(bytes.at(at)) | (quint8(bytes.at(at + 1)) << 8));
}

} // namespace

FirmwareReceiver::FirmwareReceiver()
    : decoder(maxImageSize)
{
}

bool FirmwareReceiver::isBlockOpcode(quint8 code)
{
    Method method;
    Position position;
    return classify(code, &method, &position);
}

FirmwareReceiver::Status FirmwareReceiver::refuse(Status status, QString* detail, const QString& text) const
{
    if (detail)
        *detail = text;
    return status;
}

FirmwareReceiver::Status FirmwareReceiver::handleBlock(const QByteArray& request, QString* detail)
{
    Method method = Method::None;
    Position position = Position::First;
    if (request.isEmpty() || !classify(quint8(request.at(0)), &method, &position))
        return refuse(BlockOutOfOrder, detail, QStringLiteral("not a block opcode"));
    if (request.size() < headerSize)
        return refuse(BlockLengthInvalid, detail, QStringLiteral("block request of %1 bytes has no header").arg(request.size()));

    const quint16 number = uint16At(request, 1);
    const int length = uint16At(request, 3);
    const int present = request.size() - headerSize;
    if (length > maxBlockData)
        return refuse(BlockLengthInvalid, detail, QStringLiteral("length field %1 exceeds %2").arg(length).arg(maxBlockData));
    if (length != present)
        return refuse(BlockLengthInvalid, detail,
                      QStringLiteral("length field %1 but %2 data bytes").arg(length).arg(present));
    const QByteArray data = request.mid(headerSize);

    if (position == Position::First) {
        if (number != 0)
            return refuse(BlockOutOfSequence, detail, QStringLiteral("first block numbered %1").arg(number));
        if (method == Method::Rle) {
            RleStreamDecoder fresh(maxImageSize);
            QString why;
            const RleStreamDecoder::Result result = fresh.feedPacket(data, true, false, &why);
            if (result != RleStreamDecoder::Ok) {
                // A broken first block leaves nothing to continue from.
                reset();
                currentPhase = Phase::Failed;
                currentMethod = method;
                return refuse(result == RleStreamDecoder::TooLarge ? ImageTooLarge : StreamMalformed, detail, why);
            }
            reset();
            decoder = fresh;
        } else {
            reset();
            raw = data;
        }
        currentMethod = method;
        currentPhase = Phase::Receiving;
        blocks = 1;
        lastAccepted = request;
        if (detail)
            *detail = QStringLiteral("transfer started, block 0 (%1 bytes)").arg(length);
        return Accepted;
    }

    if (request == lastAccepted && currentPhase != Phase::Failed) {
        if (detail)
            *detail = QStringLiteral("block %1 again, acknowledged without applying it twice").arg(number);
        return Accepted;
    }
    if (currentPhase == Phase::Failed)
        return refuse(TransferFailed, detail, QStringLiteral("transfer failed earlier; a first block must restart it"));
    if (currentPhase != Phase::Receiving)
        return refuse(BlockOutOfOrder, detail, QStringLiteral("no transfer in progress"));
    if (method != currentMethod)
        return refuse(BlockOutOfOrder, detail,
                      QStringLiteral("%1 block inside a %2 transfer").arg(methodName(method), methodName(currentMethod)));
    const quint16 expected = quint16(blocks);
    if (number != expected)
        return refuse(BlockOutOfSequence, detail, QStringLiteral("block %1, expected %2").arg(number).arg(expected));

    if (method == Method::Rle) {
        QString why;
        const RleStreamDecoder::Result result = decoder.feedPacket(data, false, position == Position::Last, &why);
        if (result != RleStreamDecoder::Ok) {
            currentPhase = Phase::Failed;
            return refuse(StreamMalformed, detail, why);
        }
    } else {
        if (raw.size() + data.size() > maxImageSize) {
            currentPhase = Phase::Failed;
            return refuse(ImageTooLarge, detail, QStringLiteral("image grows past %1 bytes").arg(maxImageSize));
        }
        raw.append(data);
    }

    ++blocks;
    lastAccepted = request;
    if (position == Position::Last) {
        currentPhase = Phase::Complete;
    }
    if (detail)
        *detail = QStringLiteral("block %1 (%2 bytes)%3")
                      .arg(number)
                      .arg(length)
                      .arg(position == Position::Last ? QStringLiteral(", image complete: %1 bytes").arg(image().size())
                                                      : QString());
    return Accepted;
}

FirmwareReceiver::Status FirmwareReceiver::readyToFlash(QString* detail) const
{
    switch (currentPhase) {
    case Phase::Idle:
        return refuse(NoImage, detail, QStringLiteral("no image received"));
    case Phase::Failed:
        return refuse(TransferFailed, detail, QStringLiteral("the transfer failed"));
    case Phase::Receiving:
        if (blocks != 1)
            return refuse(ImageIncomplete, detail, QStringLiteral("last block missing after %1 blocks").arg(blocks));
        if (currentMethod == Method::Rle && !decoder.finished())
            return refuse(ImageIncomplete, detail,
                          QStringLiteral("stream brought %1 of %2 bytes")
                              .arg(decoder.output().size())
                              .arg(decoder.declaredLength()));
        break;
    case Phase::Complete:
        break;
    }
    if (image().isEmpty())
        return refuse(ImageEmpty, detail, QStringLiteral("the image is empty"));
    if (detail)
        *detail = QStringLiteral("image of %1 bytes").arg(image().size());
    return Accepted;
}

QByteArray FirmwareReceiver::image() const
{
    return currentMethod == Method::Rle ? decoder.output() : raw;
}

void FirmwareReceiver::reset()
{
    currentPhase = Phase::Idle;
    currentMethod = Method::None;
    blocks = 0;
    raw.clear();
    decoder.reset();
    lastAccepted.clear();
}

QString FirmwareReceiver::methodName(Method method)
{
    switch (method) {
    case Method::Legacy: return QStringLiteral("LEGACY");
    case Method::Rle: return QStringLiteral("RLE");
    case Method::None: break;
    }
    return QStringLiteral("none");
}

QString FirmwareReceiver::phaseName(Phase phase)
{
    switch (phase) {
    case Phase::Idle: return QStringLiteral("idle");
    case Phase::Receiving: return QStringLiteral("receiving");
    case Phase::Complete: return QStringLiteral("complete");
    case Phase::Failed: return QStringLiteral("failed");
    }
    return QString();
}
