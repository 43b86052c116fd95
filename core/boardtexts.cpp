#include "boardtexts.h"

#include <QCoreApplication>

namespace BoardTexts {

QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

QString diDoReadFailed()
{
    return tr("Ошибка чтения параметров DI/DO\n");
}

QString diDoWriteFailed()
{
    return tr("Ошибка записи параметров DI/DO\n");
}

QString diDoWritten()
{
    return tr("Параметры DI/DO успешно записаны\n");
}

QString rs485ReadFailed()
{
    return tr("Ошибка чтения параметров RS-485\n");
}

QString rs485WriteFailed()
{
    return tr("Ошибка записи параметров RS-485\n");
}

QString rs485Written()
{
    return tr("Параметры RS-485 успешно записаны\n");
}

QString readBackDiffers(const QStringList& lines)
{
    return tr("Устройство подтвердило запись, но хранит другие значения (поле: в устройстве -> записано):\n%1\n")
        .arg(lines.join(QLatin1Char('\n')));
}

QString restoreNotSent()
{
    return tr("Ошибка команды записи\n");
}

QString restoreRefused()
{
    return tr("Ошибка сброса настроек\n");
}

QString restoreDone()
{
    return tr("Настройки сброшены, требуется перезагрузка\n");
}

QString restoreReadFailed()
{
    return tr("Ошибка чтения параметров\n");
}

QString rebootNotSent()
{
    return tr("Ошибка отправки команды перезагрузки\n");
}

QString rebootRefused()
{
    return tr("Устройство не подтвердило команду перезагрузки\n");
}

QString rebootDone()
{
    return tr("Команда перезагрузки отправлена.\nПереподключитесь к прибору.");
}

QString modeNotSent(bool toMainFirmware)
{
    return toMainFirmware ? tr("Ошибка команды запуска основной прошивки\n")
                          : tr("Ошибка команды перехода в загрузчик\n");
}

QString modeRefused(bool toMainFirmware)
{
    return toMainFirmware ? tr("Прибор не подтвердил запуск основной прошивки\n")
                          : tr("Прибор не подтвердил переход в загрузчик\n");
}

QString modeDone(bool toMainFirmware)
{
    return toMainFirmware ? tr("Устройство запускает основную прошивку.\nПереподключитесь к прибору.")
                          : tr("Устройство переходит в режим загрузчика.\nПереподключитесь к прибору.");
}

QString calibrationUnavailable(bool scale24V)
{
    return scale24V ? tr("Калибровка масштаба DI доступна только в режиме основной прошивки для DI-плат с версией "
                         "прошивки 0.0.6 и выше.")
                    : tr("Калибровка нуля DI доступна только в режиме основной прошивки для DI-плат с версией "
                         "прошивки 0.0.6 и выше.");
}

QString calibrationQuestionTitle(bool scale24V)
{
    return scale24V ? tr("Калибровка масштаба DI 24 В") : tr("Калибровка нуля DI");
}

QString calibrationQuestion(bool scale24V)
{
    return scale24V ? tr("Подайте 24 В на все DI входы и нажмите OK.\n"
                         "Текущие значения ADC будут использованы для расчета масштаба режима 24 В.")
                    : tr("Отключите напряжение со всех DI входов и нажмите OK.\n"
                         "Текущие значения ADC будут сохранены как ноль для режима 24 В.");
}

QString calibrationNotSent(bool scale24V)
{
    return scale24V ? tr("Ошибка команды калибровки масштаба DI\n") : tr("Ошибка команды калибровки DI\n");
}

QString calibrationDone(bool scale24V)
{
    return scale24V ? tr("Калибровка масштаба DI 24 В выполнена.") : tr("Калибровка нуля DI выполнена.");
}

QString calibrationFailed(bool scale24V)
{
    return scale24V ? tr("Ошибка калибровки масштаба DI\n") : tr("Ошибка калибровки нуля DI\n");
}

} // namespace BoardTexts
