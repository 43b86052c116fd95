#include "boardmodel.h"

#include "commandset.h"

#include <QCryptographicHash>

namespace {

void appendLe(QByteArray& out, quint32 value, int width)
{
    for (int i = 0; i < width; ++i)
        out.append(char((value >> (8 * i)) & 0xFFu));
}

QString sha1(const QByteArray& bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex());
}

} // namespace

BoardModel::BoardModel() = default;

int BoardModel::diChannelCount() const
{
    // The inputs each board variant is built with.
    switch (type) {
    case 3: return 0;
    case 4: return 32;
    default: return 16;
    }
}

QByteArray BoardModel::ack(const QString& what)
{
    note = what;
    return QByteArray(1, char(Command::ReplyAck));
}

QByteArray BoardModel::refuse(quint32 code, const QString& why)
{
    note = QStringLiteral("refused with code %1: %2").arg(code).arg(why);
    lastError = qint32(code);
    ++count.refusals;
    QByteArray reply(1, char(Command::ReplyStatus));
    appendLe(reply, code, 4);
    return reply;
}

QByteArray BoardModel::block(quint8 code, const QByteArray& data) const
{
    QByteArray reply(1, char(code));
    reply.append(data);
    return reply;
}

bool BoardModel::storeExact(const QByteArray& request, int size, QByteArray& target, int at)
{
    if (request.size() != 1 + size)
        return false;
    const QByteArray data = request.mid(1);
    if (target.mid(at, size) != data) {
        target.replace(at, size, data);
        ++revision;
    }
    return true;
}

QByteArray BoardModel::doTableShort() const
{
    QByteArray out;
    for (int ch = 0; ch < BoardConfiguration::doChannels; ++ch) {
        const QByteArray entry = config.doTable.mid(ch * BoardConfiguration::doEntrySize, BoardConfiguration::doEntrySize);
        out.append(entry.left(5));
        out.append(3, '\0');
        out.append(entry.mid(8, 4));
    }
    return out;
}

QByteArray BoardModel::inputModesReply() const
{
    const int channels = diChannelCount();
    if (!old)
        return config.diInputModes.left(channels * BoardConfiguration::diModeSize);
    QByteArray out;
    for (int ch = 0; ch < channels; ++ch)
        out.append(config.diInputModes.mid(ch * BoardConfiguration::diModeSize, 3));
    return out;
}

void BoardModel::dropTransfer()
{
    receiver.reset();
}

QByteArray BoardModel::flash()
{
    if (flashRefusalCode != 0)
        return refuse(flashRefusalCode, QStringLiteral("flash refused on request"));
    QString why;
    const FirmwareReceiver::Status status = receiver.readyToFlash(&why);
    if (status != FirmwareReceiver::Accepted)
        return refuse(status, why);
    flashed = receiver.image();
    ++count.flashes;
    lastError = 0;
    // An image that names its version reports it from now on, so that an
    // update can be seen to have taken.
    const int tag = flashed.indexOf("version=");
    if (tag >= 0) {
        QByteArray version;
        for (int i = tag + 8; i < flashed.size() && version.size() < maxTextLength; ++i) {
            const char c = flashed.at(i);
            if ((c < '0' || c > '9') && c != '.')
                break;
            version.append(c);
        }
        if (!version.isEmpty())
            (runningMode == 1 ? firmwareText : bootloaderText) = version;
    }
    return ack(QStringLiteral("flashed %1 bytes, sha1 %2").arg(flashed.size()).arg(sha1(flashed)));
}

QByteArray BoardModel::latestImage() const
{
    if (receiver.readyToFlash() == FirmwareReceiver::Accepted)
        return receiver.image();
    return flashed;
}

std::optional<QByteArray> BoardModel::handle(const QByteArray& request)
{
    note.clear();
    if (request.isEmpty()) {
        note = QStringLiteral("empty request ignored");
        return std::nullopt;
    }
    ++count.requests;
    const quint8 code = quint8(request.at(0));
    const int diBytes = 4 * diChannelCount();
    const QString wrongLength = QStringLiteral("%1 bytes after the code").arg(request.size() - 1);

    switch (code) {
    case Command::ReadDeviceStatus: {
        QByteArray reply = ack();
        reply.append(char(runningMode));
        reply.append(char(bootloaderText.size()));
        reply.append(bootloaderText);
        return reply;
    }
    case Command::ReadFirmwareVersion: {
        QByteArray reply = ack();
        reply.append(char(firmwareText.size()));
        reply.append(firmwareText);
        return reply;
    }
    case Command::ReadBoardVersion: {
        QByteArray reply = ack();
        appendLe(reply, type, 2);
        return reply;
    }
    case Command::ReadErrorCode: {
        QByteArray reply = ack();
        appendLe(reply, quint32(lastError), 4);
        return reply;
    }
    case Command::EnterBootloader:
    case Command::StartMainFirmware:
        runningMode = code == Command::EnterBootloader ? 1 : 0;
        ++count.modeSwitches;
        lastError = 0;
        dropTransfer();
        return ack(runningMode ? QStringLiteral("now running the bootloader")
                               : QStringLiteral("now running the main firmware"));
    case Command::Reboot:
        ++count.reboots;
        lastError = 0;
        dropTransfer();
        if (silentReboot) {
            note = QStringLiteral("rebooted without a word");
            return std::nullopt;
        }
        return ack(QStringLiteral("rebooted"));

    case Command::ReadRs485Ports:
        return block(code, config.ports);
    case Command::WriteRs485Ports:
        if (!storeExact(request, BoardConfiguration::portsSize, config.ports))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("port settings stored"));
    case Command::ReadIec101:
        return block(code, config.protocol);
    case Command::WriteIec101:
        if (!storeExact(request, BoardConfiguration::protocolSize, config.protocol))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("protocol settings stored"));

    case Command::ReadDiTable:
        return block(code, old ? config.diTable.left(16 * BoardConfiguration::diEntrySize) : config.diTable);
    case Command::WriteDiTable:
        if (!storeExact(request, 16 * BoardConfiguration::diEntrySize, config.diTable)
            && !storeExact(request, BoardConfiguration::diTableSize, config.diTable))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("DI table stored"));
    case Command::RestoreFactory: {
        const BoardConfiguration before = config;
        config.restoreFactoryDiDo();
        if (config != before)
            ++revision;
        ++count.factoryRestores;
        return ack(QStringLiteral("factory DI/DO settings restored"));
    }
    case Command::ReadDoTable:
        return block(code, old ? doTableShort() : config.doTable);
    case Command::WriteDoTableShort: {
        if (request.size() != 1 + BoardConfiguration::doChannels * BoardConfiguration::doShortEntrySize)
            return refuse(BadRequestLength, wrongLength);
        QByteArray table = config.doTable;
        for (int ch = 0; ch < BoardConfiguration::doChannels; ++ch) {
            const QByteArray entry = request.mid(1 + ch * BoardConfiguration::doShortEntrySize,
                                                 BoardConfiguration::doShortEntrySize);
            const int at = ch * BoardConfiguration::doEntrySize;
            table.replace(at, 5, entry.left(5));
            table.replace(at + 8, 4, entry.mid(8, 4));
        }
        if (table != config.doTable) {
            config.doTable = table;
            ++revision;
        }
        return ack(QStringLiteral("DO table stored (short entries)"));
    }
    case Command::WriteDoTableFull:
        if (!storeExact(request, BoardConfiguration::doTableSize, config.doTable))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("DO table stored"));
    case Command::ReadDiDebounce:
        return block(code, config.diDebounce.left(diBytes));
    case Command::WriteDiDebounce:
        if (!storeExact(request, diBytes, config.diDebounce))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("DI debounce stored"));
    case Command::WriteDiModes:
        if (!storeExact(request, diBytes, config.diInputModes))
            return refuse(BadRequestLength, wrongLength);
        return ack(QStringLiteral("DI input modes stored"));
    case Command::ReadDiModes:
        return block(code, inputModesReply());
    case Command::CalibrateDiZero:
        ++count.zeroCalibrations;
        return ack(QStringLiteral("zero calibrated"));
    case Command::CalibrateDiScale24V:
        ++count.scaleCalibrations;
        return ack(QStringLiteral("24 V scale calibrated"));

    case Command::LegacyFirstBlock:
    case Command::LegacyMiddleBlock:
    case Command::LegacyLastBlock:
    case Command::RleFirstBlock:
    case Command::RleMiddleBlock:
    case Command::RleLastBlock: {
        QString detail;
        const FirmwareReceiver::Status status = receiver.handleBlock(request, &detail);
        if (status != FirmwareReceiver::Accepted)
            return refuse(status, detail);
        return ack(detail);
    }
    case Command::Flash:
        return flash();

    default:
        --count.requests;
        note = QStringLiteral("unknown command ignored");
        return std::nullopt;
    }
}

QJsonObject BoardModel::stateJson() const
{
    QJsonObject transfer;
    transfer.insert(QStringLiteral("phase"), FirmwareReceiver::phaseName(receiver.phase()));
    transfer.insert(QStringLiteral("method"), FirmwareReceiver::methodName(receiver.method()));
    transfer.insert(QStringLiteral("blocks"), receiver.blocksAccepted());
    transfer.insert(QStringLiteral("bytes"), receiver.image().size());
    transfer.insert(QStringLiteral("ready"), receiver.readyToFlash() == FirmwareReceiver::Accepted);
    transfer.insert(QStringLiteral("sha1"), sha1(receiver.image()));

    QJsonObject counters;
    counters.insert(QStringLiteral("requests"), count.requests);
    counters.insert(QStringLiteral("zeroCalibrations"), count.zeroCalibrations);
    counters.insert(QStringLiteral("scaleCalibrations"), count.scaleCalibrations);
    counters.insert(QStringLiteral("reboots"), count.reboots);
    counters.insert(QStringLiteral("modeSwitches"), count.modeSwitches);
    counters.insert(QStringLiteral("factoryRestores"), count.factoryRestores);
    counters.insert(QStringLiteral("flashes"), count.flashes);
    counters.insert(QStringLiteral("refusals"), count.refusals);

    QJsonObject state;
    state.insert(QStringLiteral("boardType"), int(type));
    state.insert(QStringLiteral("firmware"), QString::fromLatin1(firmwareText));
    state.insert(QStringLiteral("bootloader"), QString::fromLatin1(bootloaderText));
    state.insert(QStringLiteral("mode"), int(runningMode));
    state.insert(QStringLiteral("oldLayout"), old);
    state.insert(QStringLiteral("diChannels"), diChannelCount());
    state.insert(QStringLiteral("errorCode"), lastError);
    state.insert(QStringLiteral("rebootSilent"), silentReboot);
    state.insert(QStringLiteral("flashRefusal"), qint64(flashRefusalCode));
    state.insert(QStringLiteral("counters"), counters);
    state.insert(QStringLiteral("transfer"), transfer);
    state.insert(QStringLiteral("flashedBytes"), flashed.size());
    state.insert(QStringLiteral("flashedSha1"), flashed.isEmpty() ? QString() : sha1(flashed));
    state.insert(QStringLiteral("configuration"), config.toJson());
    return state;
}

QString BoardModel::commandName(quint8 code)
{
    switch (code) {
    case Command::ReadDeviceStatus: return QStringLiteral("read status");
    case Command::Flash: return QStringLiteral("flash");
    case Command::ReadRs485Ports: return QStringLiteral("read RS-485 ports");
    case Command::WriteRs485Ports: return QStringLiteral("write RS-485 ports");
    case Command::ReadFirmwareVersion: return QStringLiteral("read firmware version");
    case Command::ReadErrorCode: return QStringLiteral("read error code");
    case Command::EnterBootloader: return QStringLiteral("enter bootloader");
    case Command::StartMainFirmware: return QStringLiteral("start main firmware");
    case Command::Reboot: return QStringLiteral("reboot");
    case Command::ReadBoardVersion: return QStringLiteral("read board version");
    case Command::ReadIec101: return QStringLiteral("read protocol settings");
    case Command::WriteIec101: return QStringLiteral("write protocol settings");
    case Command::ReadDiTable: return QStringLiteral("read DI table");
    case Command::RestoreFactory: return QStringLiteral("restore factory DI/DO");
    case Command::WriteDiTable: return QStringLiteral("write DI table");
    case Command::ReadDoTable: return QStringLiteral("read DO table");
    case Command::WriteDoTableShort: return QStringLiteral("write DO table (short entries)");
    case Command::WriteDoTableFull: return QStringLiteral("write DO table");
    case Command::ReadDiDebounce: return QStringLiteral("read DI debounce");
    case Command::WriteDiDebounce: return QStringLiteral("write DI debounce");
    case Command::WriteDiModes: return QStringLiteral("write DI input modes");
    case Command::ReadDiModes: return QStringLiteral("read DI input modes");
    case Command::CalibrateDiZero: return QStringLiteral("DI zero calibration");
    case Command::CalibrateDiScale24V: return QStringLiteral("DI 24 V calibration");
    case Command::LegacyFirstBlock: return QStringLiteral("raw firmware, first block");
    case Command::LegacyMiddleBlock: return QStringLiteral("raw firmware, middle block");
    case Command::LegacyLastBlock: return QStringLiteral("raw firmware, last block");
    case Command::RleFirstBlock: return QStringLiteral("coded firmware, first block");
    case Command::RleMiddleBlock: return QStringLiteral("coded firmware, middle block");
    case Command::RleLastBlock: return QStringLiteral("coded firmware, last block");
    default: return QStringLiteral("unknown");
    }
}
