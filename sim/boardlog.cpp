#include "boardlog.h"

#include "boardmodel.h"
#include "commandset.h"
#include "firmwarereceiver.h"

#include <QDateTime>

#include <cstdio>

namespace {

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

quint32 uint32At(const QByteArray& bytes, int at)
{
    quint32 v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | quint8(bytes.at(at + i));
    return v;
}

QString text(const QByteArray& payload, int lengthAt)
{
    const int length = quint8(payload.at(lengthAt));
    return QString::fromLatin1(payload.mid(lengthAt + 1, length));
}

QString describeAck(quint8 requestCode, const QByteArray& payload)
{
    if (payload.size() == 1)
        return QStringLiteral("ack");
    switch (requestCode) {
    case Command::ReadFirmwareVersion:
        if (payload.size() >= 2)
            return QStringLiteral("firmware \"%1\"").arg(text(payload, 1));
        break;
    case Command::ReadDeviceStatus:
        if (payload.size() >= 3)
            return QStringLiteral("mode %1, bootloader \"%2\"").arg(quint8(payload.at(1))).arg(text(payload, 2));
        break;
    case Command::ReadBoardVersion:
        if (payload.size() >= 3)
            return QStringLiteral("board type %1").arg(quint8(payload.at(1)) | (quint8(payload.at(2)) << 8));
        break;
    case Command::ReadErrorCode:
        if (payload.size() >= 5)
            return QStringLiteral("error code %1").arg(qint32(uint32At(payload, 1)));
        break;
    default:
        break;
    }
    return QStringLiteral("ack with data");
}

} // namespace

BoardLog::BoardLog() = default;

bool BoardLog::openFile(const QString& path, QString* error)
{
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

QString BoardLog::describeRequest(const QByteArray& payload)
{
    if (payload.isEmpty())
        return QStringLiteral("(empty request)");
    const quint8 code = quint8(payload.at(0));
    QString meaning = BoardModel::commandName(code);
    if (FirmwareReceiver::isBlockOpcode(code) && payload.size() >= FirmwareReceiver::headerSize) {
        const int number = quint8(payload.at(1)) | (quint8(payload.at(2)) << 8);
        const int length = quint8(payload.at(3)) | (quint8(payload.at(4)) << 8);
        meaning += QStringLiteral(" %1, %2 bytes").arg(number).arg(length);
    }
    return QStringLiteral("%1 (%2)").arg(hex(payload), meaning);
}

QString BoardLog::describeReply(quint8 requestCode, const QByteArray& payload)
{
    if (payload.isEmpty())
        return QStringLiteral("(empty reply)");
    const quint8 lead = quint8(payload.at(0));
    QString meaning;
    if (lead == Command::ReplyStatus && payload.size() >= 5)
        meaning = QStringLiteral("refusal, code %1").arg(uint32At(payload, 1));
    else if (lead == Command::ReplyAck)
        meaning = describeAck(requestCode, payload);
    else if (lead == requestCode)
        meaning = QStringLiteral("%1, %2 data bytes").arg(BoardModel::commandName(requestCode)).arg(payload.size() - 1);
    else
        meaning = QStringLiteral("reply");
    return QStringLiteral("%1 (%2)").arg(hex(payload), meaning);
}

void BoardLog::request(const QString& peer, const QByteArray& payload, const QString& note)
{
    writeLine(peer, QStringLiteral("RX ") + describeRequest(payload) + (note.isEmpty() ? QString() : QStringLiteral(" - ") + note));
}

void BoardLog::reply(const QString& peer, quint8 requestCode, const QByteArray& payload, const QString& note)
{
    writeLine(peer, QStringLiteral("TX ") + describeReply(requestCode, payload)
                        + (note.isEmpty() ? QString() : QStringLiteral(" - ") + note));
}

void BoardLog::event(const QString& peer, const QString& text)
{
    writeLine(peer, QStringLiteral("-- ") + text);
}

void BoardLog::writeLine(const QString& peer, const QString& text)
{
    if (!enabled)
        return;
    const QString line = QStringLiteral("%1 [%2] %3\n")
                             .arg(QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")), peer, text);
    const QByteArray bytes = line.toUtf8();
    if (file.isOpen()) {
        file.write(bytes);
        file.flush();
    } else {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
        std::fflush(stderr);
    }
}
