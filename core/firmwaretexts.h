#pragma once

#include "firmwareflash.h"

#include <QString>

// The texts of the firmware operations that depend on the kind of image: a main
// firmware (sent while the bootloader runs) or a bootloader. Translated in the
// context "MainWindow".
namespace FirmwareTexts {

// "Копирование завершено!\n": every block was acknowledged.
QString copyDone();
// "Ошибка чтения файла прошивки\n": the file gave fewer (or more) bytes than its size.
QString fileReadFailed();
// "Копирование основной прошивки завершено.\nЗаписать прошивку?" or the bootloader's.
QString copyDoneQuestion(bool mainFirmware);
// "Подождите, выполняется запись основной прошивки..." or the bootloader's.
QString flashWait(bool mainFirmware);
// "Основная прошивка обновлена\n" or "Загрузчик обновлён\n".
QString flashDone(bool mainFirmware);
// "Ошибка команды записи основной прошивки\n" or the bootloader's.
QString flashError(bool mainFirmware);
// flashError, followed by "Код ошибки: %1\n" (unsigned decimal) when the reply
// carried a status code.
QString flashFailure(bool mainFirmware, const FirmwareFlash::Result& result);

} // namespace FirmwareTexts
