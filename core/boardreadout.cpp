#include "boardreadout.h"

#include "boardinfo.h"
#include "boardtexts.h"
#include "devicecommands.h"
#include "printabletext.h"

#include <QJsonValue>

using BoardTexts::tr;

namespace {

int indexOf(BoardReadout::Field field)
{
    return int(field);
}

} // namespace

BoardReadout::BoardReadout(Connector* link)
    : link(link)
{
    begin();
}

QString BoardReadout::title(Field field)
{
    switch (field) {
    case Field::BoardVersion: return tr("Версия платы:");
    case Field::FirmwareVersion: return tr("Версия прошивки:");
    case Field::Status: return tr("Статус устройства:");
    case Field::BootloaderVersion: return tr("Версия загрузчика:");
    case Field::ErrorCode: return tr("Код ошибки загрузчика:");
    }
    return QString();
}

QString BoardReadout::readingText()
{
    return tr("Чтение...");
}

QString BoardReadout::noValueText()
{
    return QStringLiteral("-");
}

QString BoardReadout::noReplyText()
{
    return tr("Нет ответа");
}

QString BoardReadout::failedText()
{
    return tr("Ошибка");
}

QString BoardReadout::undefinedText()
{
    return tr("Не определена");
}

QString BoardReadout::silentBoardText()
{
    return tr("Устройство не ответило\n");
}

void BoardReadout::show(Field field, Outcome outcome, const QString& text)
{
    outcomes[indexOf(field)] = outcome;
    texts[indexOf(field)] = text;
    if (fieldHook)
        fieldHook(field, text);
}

void BoardReadout::showFailure(Field field, bool noReply)
{
    show(field, noReply ? Outcome::NoReply : Outcome::Failed, noReply ? noReplyText() : failedText());
}

void BoardReadout::begin()
{
    board.clear();
    firmwareAnswered = false;
    firmwareValid = false;
    boardVersionAsked = false;
    errorCodeAsked = false;
    anySilent = false;
    code.reset();
    for (int i = 0; i < FieldCount; ++i) {
        outcomes[i] = Outcome::NotAsked;
        texts[i] = noValueText();
    }
}

bool BoardReadout::run(bool withErrorCode)
{
    begin();
    // Both are always asked, in this order.
    readFirmwareVersion();
    readDeviceStatus();
    if (!usable())
        return false;
    // Older firmware and bootloaders do not know the board version command;
    // the board type then stays unknown.
    if (board.boardVersionQueryAllowed())
        readBoardVersion();
    else
        skipBoardVersion();
    if (withErrorCode)
        readErrorCode();
    return true;
}

bool BoardReadout::readFirmwareVersion()
{
    show(Field::FirmwareVersion, Outcome::NotAsked, readingText());
    board.firmwareVersionKnown = false;
    board.firmwareVersion.clear();
    firmwareAnswered = firmwareValid = false;
    if (!link) {
        show(Field::FirmwareVersion, Outcome::NotAsked, noValueText());
        return false;
    }
    const Reading<QString> reading = DeviceCommands(link).readFirmwareVersion();
    firmwareAnswered = reading.exchange.answered();
    firmwareValid = reading.ok();
    anySilent = anySilent || !reading.exchange.answered();
    if (!reading.ok()) {
        showFailure(Field::FirmwareVersion, reading.silent());
    } else if (reading.value->isEmpty()) {
        show(Field::FirmwareVersion, Outcome::Empty, undefinedText());
    } else {
        // The text is also what the version gates are computed from, so it
        // is kept exactly as the board sent it (trimmed).
        board.firmwareVersionKnown = true;
        board.firmwareVersion = *reading.value;
        show(Field::FirmwareVersion, Outcome::Read, board.firmwareVersion);
    }
    return firmwareAnswered;
}

bool BoardReadout::readDeviceStatus()
{
    show(Field::Status, Outcome::NotAsked, readingText());
    show(Field::BootloaderVersion, Outcome::NotAsked, readingText());
    board.modeKnown = false;
    board.mode = 0;
    board.bootloaderVersion.clear();
    if (!link) {
        show(Field::Status, Outcome::NotAsked, noValueText());
        show(Field::BootloaderVersion, Outcome::NotAsked, noValueText());
        return false;
    }
    const Reading<DeviceStatus> reading = DeviceCommands(link).readDeviceStatus();
    anySilent = anySilent || !reading.exchange.answered();
    if (!reading.ok()) {
        showFailure(Field::Status, reading.silent());
        showFailure(Field::BootloaderVersion, reading.silent());
        return false;
    }
    board.modeKnown = true;
    board.mode = reading.value->mode;
    board.bootloaderVersion = reading.value->bootloaderVersion;
    show(Field::Status, Outcome::Read, BoardInfo::modeText(board.mode));
    show(Field::BootloaderVersion, board.bootloaderVersion.isEmpty() ? Outcome::Empty : Outcome::Read,
         board.bootloaderVersion.isEmpty() ? noValueText() : board.bootloaderVersion);
    return true;
}

bool BoardReadout::readBoardVersion()
{
    show(Field::BoardVersion, Outcome::NotAsked, readingText());
    board.boardTypeKnown = false;
    board.boardType = 0;
    boardVersionAsked = link != nullptr;
    if (!link) {
        show(Field::BoardVersion, Outcome::NotAsked, noValueText());
        return false;
    }
    const Reading<quint16> reading = DeviceCommands(link).readBoardVersion();
    anySilent = anySilent || !reading.exchange.answered();
    if (reading.ok()) {
        board.boardTypeKnown = true;
        board.boardType = *reading.value;
        show(Field::BoardVersion, Outcome::Read, BoardInfo::boardName(board.boardType));
    } else {
        showFailure(Field::BoardVersion, reading.silent());
    }
    return reading.exchange.answered();
}

void BoardReadout::skipBoardVersion()
{
    boardVersionAsked = false;
    show(Field::BoardVersion, Outcome::NotAsked, noValueText());
}

bool BoardReadout::readErrorCode()
{
    show(Field::ErrorCode, Outcome::NotAsked, readingText());
    code.reset();
    errorCodeAsked = link != nullptr;
    if (!link) {
        show(Field::ErrorCode, Outcome::NotAsked, noValueText());
        return false;
    }
    const Reading<qint32> reading = DeviceCommands(link).readErrorCode();
    anySilent = anySilent || !reading.exchange.answered();
    code = reading.value;
    if (reading.ok())
        show(Field::ErrorCode, Outcome::Read, QString::number(*reading.value));
    else
        showFailure(Field::ErrorCode, reading.silent());
    return reading.ok();
}

bool BoardReadout::complete() const
{
    if (!usable() || !firmwareValid)
        return false;
    if (boardVersionAsked && !board.boardTypeKnown)
        return false;
    return !errorCodeAsked || code.has_value();
}

QString BoardReadout::text(Field field) const
{
    return texts[indexOf(field)];
}

BoardReadout::Outcome BoardReadout::outcome(Field field) const
{
    return outcomes[indexOf(field)];
}

QStringList BoardReadout::labelLines() const
{
    // One line each, whatever the board put into its texts.
    QStringList lines;
    for (Field field : { Field::BoardVersion, Field::FirmwareVersion, Field::Status, Field::BootloaderVersion,
                         Field::ErrorCode })
        lines << PrintableText::oneLine(title(field) + QLatin1Char(' ') + text(field));
    return lines;
}

QJsonObject BoardReadout::toJson() const
{
    QJsonObject object;
    object.insert(QStringLiteral("boardType"), board.boardTypeKnown ? QJsonValue(int(board.boardType)) : QJsonValue());
    object.insert(QStringLiteral("boardName"),
                  board.boardTypeKnown ? QJsonValue(BoardInfo::boardName(board.boardType)) : QJsonValue());
    object.insert(QStringLiteral("firmwareVersion"),
                  board.firmwareVersionKnown ? QJsonValue(board.firmwareVersion) : QJsonValue());
    object.insert(QStringLiteral("mode"), board.modeKnown ? QJsonValue(int(board.mode)) : QJsonValue());
    object.insert(QStringLiteral("modeText"), modeText());
    object.insert(QStringLiteral("bootloaderVersion"),
                  board.modeKnown ? QJsonValue(board.bootloaderVersion) : QJsonValue());
    object.insert(QStringLiteral("errorCode"), code ? QJsonValue(*code) : QJsonValue());
    object.insert(QStringLiteral("complete"), complete());
    return object;
}
