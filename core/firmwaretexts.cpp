#include "firmwaretexts.h"

#include <QCoreApplication>

// Short alias so each text stays on one line; the context is the window's.
#define TR(text) QCoreApplication::translate("MainWindow", text)

namespace FirmwareTexts {

QString copyDone()
{
    return TR("Копирование завершено!\n");
}

QString fileReadFailed()
{
    return TR("Ошибка чтения файла прошивки\n");
}

QString copyDoneQuestion(bool mainFirmware)
{
    return mainFirmware ? TR("Копирование основной прошивки завершено.\nЗаписать прошивку?")
                        : TR("Копирование загрузчика завершено.\nЗаписать прошивку?");
}

QString flashWait(bool mainFirmware)
{
    return mainFirmware ? TR("Подождите, выполняется запись основной прошивки...")
                        : TR("Подождите, выполняется запись загрузчика...");
}

QString flashDone(bool mainFirmware)
{
    return mainFirmware ? TR("Основная прошивка обновлена\n") : TR("Загрузчик обновлён\n");
}

QString flashError(bool mainFirmware)
{
    return mainFirmware ? TR("Ошибка команды записи основной прошивки\n") : TR("Ошибка команды записи загрузчика\n");
}

QString flashFailure(bool mainFirmware, const FirmwareFlash::Result& result)
{
    QString text = flashError(mainFirmware);
    if (result.code)
        text += TR("Код ошибки: %1\n").arg(*result.code);
    return text;
}

} // namespace FirmwareTexts
