#include "calibrationpanel.h"

#include "boardcontext.h"
#include "devicecommands.h"
#include "windowtext.h"

#include <QMessageBox>
#include <QPushButton>

CalibrationPanel::CalibrationPanel(QPushButton* zero, QPushButton* scale24V, BoardContext* context, QObject* parent)
    : QObject(parent)
    , zero(zero)
    , scale24V(scale24V)
    , context(context)
{
    setObjectName(QStringLiteral("calibrationPanel"));
    connect(context, &BoardContext::changed, this, &CalibrationPanel::updateButtons);
}

void CalibrationPanel::setUnlocked(bool isUnlocked)
{
    unlocked = isUnlocked;
    updateButtons();
}

bool CalibrationPanel::available() const
{
    return context->state().calibrationAvailable(context->linked());
}

void CalibrationPanel::updateButtons()
{
    const bool usable = unlocked && available();
    zero->setEnabled(usable);
    scale24V->setEnabled(usable);
}

void CalibrationPanel::calibrate(bool scale)
{
    if (!unlocked)
        return;

    QWidget* parent = zero->window();
    if (!available()) {
        QMessageBox::warning(
            parent, windowText("Vantor"),
            scale ? windowText("Калибровка масштаба DI доступна только в режиме основной прошивки для DI-плат с "
                               "версией прошивки 0.0.6 и выше.")
                  : windowText("Калибровка нуля DI доступна только в режиме основной прошивки для DI-плат с версией "
                               "прошивки 0.0.6 и выше."));
        return;
    }

    // The board takes its ADC readings the moment the command arrives, so the
    // user confirms that the inputs are prepared; Cancel is the safe default.
    const QMessageBox::StandardButton answer = QMessageBox::question(
        parent, scale ? windowText("Калибровка масштаба DI 24 В") : windowText("Калибровка нуля DI"),
        scale ? windowText("Подайте 24 В на все DI входы и нажмите OK.\n"
                           "Текущие значения ADC будут использованы для расчета масштаба режима 24 В.")
              : windowText("Отключите напряжение со всех DI входов и нажмите OK.\n"
                           "Текущие значения ADC будут сохранены как ноль для режима 24 В."),
        QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;

    // The question ran an event loop; should the link have gone meanwhile,
    // the command cannot be written and the user is told so below.
    const ExchangeResult result = sendCalibration(scale);
    if (!result.written()) {
        QMessageBox::warning(parent, windowText("Vantor"),
                             scale ? windowText("Ошибка команды калибровки масштаба DI\n")
                                   : windowText("Ошибка команды калибровки DI\n"));
        return;
    }
    if (result.accepted)
        QMessageBox::information(parent, windowText("Vantor"),
                                 scale ? windowText("Калибровка масштаба DI 24 В выполнена.")
                                       : windowText("Калибровка нуля DI выполнена."));
    else
        QMessageBox::warning(parent, windowText("Vantor"),
                             scale ? windowText("Ошибка калибровки масштаба DI\n")
                                   : windowText("Ошибка калибровки нуля DI\n"));
}

// ---- Board calls ----

ExchangeResult CalibrationPanel::sendCalibration(bool scale) const
{
    const DeviceCommands commands(context->connector());
    const ExchangeResult result = scale ? commands.calibrateDiScale24V() : commands.calibrateDiZero();
    context->log(scale ? QStringLiteral("calibration DI 24V") : QStringLiteral("calibration DI zero"), result);
    return result;
}
