#include "boardreadout.h"

#include "boardinfo.h"
#include "devicecommands.h"
#include "printabletext.h"

#include <QCoreApplication>
#include <QJsonValue>

namespace {

QString windowText(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

template <typename T>
QString failureLabel(const Reading<T>& reading)
{
    return reading.silent() ? windowText("Нет ответа") : windowText("Ошибка");
}

} // namespace

BoardReadout::BoardReadout(Connector* link)
    : link(link)
{
}

QString BoardReadout::silentBoardText()
{
    return windowText("Устройство не ответило\n");
}

bool BoardReadout::run(bool withErrorCode)
{
    board.clear();
    const DeviceCommands commands(link);

    // Both are always asked, in this order.
    const Reading<QString> firmware = commands.readFirmwareVersion();
    firmwareAnswered = firmware.exchange.answered();
    firmwareValid = firmware.ok();
    if (firmware.ok()) {
        if (firmware.value->isEmpty()) {
            firmwareLabel = windowText("Не определена");
        } else {
            firmwareLabel = *firmware.value;
            board.firmwareVersionKnown = true;
            board.firmwareVersion = *firmware.value;
        }
    } else {
        firmwareLabel = failureLabel(firmware);
    }

    const Reading<DeviceStatus> status = commands.readDeviceStatus();
    if (status.ok()) {
        board.modeKnown = true;
        board.mode = status.value->mode;
        board.bootloaderVersion = status.value->bootloaderVersion;
        statusLabel = BoardInfo::modeText(board.mode);
        bootloaderLabel = board.bootloaderVersion.isEmpty() ? QStringLiteral("-") : board.bootloaderVersion;
    } else {
        statusLabel = bootloaderLabel = failureLabel(status);
    }
    if (!usable())
        return false;

    // Older firmware and bootloaders do not know the board version command;
    // the board type then stays unknown.
    boardVersionAsked = board.boardVersionQueryAllowed();
    if (boardVersionAsked) {
        const Reading<quint16> version = commands.readBoardVersion();
        if (version.ok()) {
            board.boardTypeKnown = true;
            board.boardType = *version.value;
            boardLabel = BoardInfo::boardName(board.boardType);
        } else {
            boardLabel = failureLabel(version);
        }
    }

    errorCodeAsked = withErrorCode;
    if (withErrorCode) {
        const Reading<qint32> code = commands.readErrorCode();
        errorCode = code.value;
        errorLabel = code.ok() ? QString::number(*code.value) : failureLabel(code);
    }
    return true;
}

bool BoardReadout::complete() const
{
    if (!usable() || !firmwareValid)
        return false;
    if (boardVersionAsked && !board.boardTypeKnown)
        return false;
    return !errorCodeAsked || errorCode.has_value();
}

QStringList BoardReadout::labelLines() const
{
    // One line each, whatever the board put into its texts.
    QStringList lines {
        windowText("Версия платы:") + QLatin1Char(' ') + boardLabel,
        windowText("Версия прошивки:") + QLatin1Char(' ') + firmwareLabel,
        windowText("Статус устройства:") + QLatin1Char(' ') + statusLabel,
        windowText("Версия загрузчика:") + QLatin1Char(' ') + bootloaderLabel,
        windowText("Код ошибки загрузчика:") + QLatin1Char(' ') + errorLabel,
    };
    for (QString& line : lines)
        line = PrintableText::oneLine(line);
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
    object.insert(QStringLiteral("modeText"), statusLabel);
    object.insert(QStringLiteral("bootloaderVersion"),
                  board.modeKnown ? QJsonValue(board.bootloaderVersion) : QJsonValue());
    object.insert(QStringLiteral("errorCode"), errorCode ? QJsonValue(*errorCode) : QJsonValue());
    object.insert(QStringLiteral("complete"), complete());
    return object;
}
