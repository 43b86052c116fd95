#pragma once

#include <QString>
#include <QStringList>

// The texts of the board operations that the window shows in its boxes and
// the command-line tool prints: one place, so the two cannot drift. All are
// translated in the window's context, "MainWindow". The readout's label
// texts are BoardReadout's, the firmware texts FirmwareTexts'.
namespace BoardTexts {

// A text of the window, translated in its context.
QString tr(const char* text);

// Configuration reads and writes.
QString diDoReadFailed();       // "Ошибка чтения параметров DI/DO\n"
QString diDoWriteFailed();      // "Ошибка записи параметров DI/DO\n"
QString diDoWritten();          // "Параметры DI/DO успешно записаны\n"
QString rs485ReadFailed();      // "Ошибка чтения параметров RS-485\n"
QString rs485WriteFailed();     // "Ошибка записи параметров RS-485\n"
QString rs485Written();         // "Параметры RS-485 успешно записаны\n"
// The board acknowledged a write but reads back something else; `lines` name
// the fields as the comparison with a file does ("di[3].address: 12 -> 15",
// the board's value first).
QString readBackDiffers(const QStringList& lines);

// Factory restore of the DI/DO settings (0xA1 and the read that follows).
QString restoreNotSent();       // "Ошибка команды записи\n"
QString restoreRefused();       // "Ошибка сброса настроек\n"
QString restoreDone();          // "Настройки сброшены, требуется перезагрузка\n"
QString restoreReadFailed();    // "Ошибка чтения параметров\n"

// Reboot.
QString rebootNotSent();        // "Ошибка отправки команды перезагрузки\n"
QString rebootRefused();        // "Устройство не подтвердило команду перезагрузки\n"
QString rebootDone();           // "Команда перезагрузки отправлена.\nПереподключитесь к прибору."

// Mode switch, towards the main firmware or the bootloader.
QString modeNotSent(bool toMainFirmware);
QString modeRefused(bool toMainFirmware);
QString modeDone(bool toMainFirmware);

// DI calibration, zero or 24 V scale.
QString calibrationUnavailable(bool scale24V);
QString calibrationQuestionTitle(bool scale24V);
QString calibrationQuestion(bool scale24V);
QString calibrationNotSent(bool scale24V);
QString calibrationDone(bool scale24V);
QString calibrationFailed(bool scale24V);

} // namespace BoardTexts
