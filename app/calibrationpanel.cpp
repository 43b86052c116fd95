#include "calibrationpanel.h"

#include "boardsession.h"
#include "boardtexts.h"
#include "windowtext.h"

#include <QMessageBox>
#include <QPushButton>

CalibrationPanel::CalibrationPanel(QPushButton* zero, QPushButton* scale24V, BoardSession* session, QObject* parent)
    : QObject(parent)
    , zero(zero)
    , scale24V(scale24V)
    , session(session)
{
    setObjectName(QStringLiteral("calibrationPanel"));
    connect(session, &BoardSession::stateChanged, this, &CalibrationPanel::updateButtons);
}

void CalibrationPanel::setUnlocked(bool isUnlocked)
{
    unlocked = isUnlocked;
    updateButtons();
}

void CalibrationPanel::updateButtons()
{
    // A link, the main firmware, a board with a DI table and firmware 0.0.6 or later.
    const bool usable = unlocked && session->calibrationAvailable();
    zero->setEnabled(usable);
    scale24V->setEnabled(usable);
}

void CalibrationPanel::calibrate(bool scale)
{
    if (!unlocked)
        return;

    QWidget* parent = zero->window();
    if (!session->calibrationAvailable()) {
        QMessageBox::warning(parent, windowText("Vantor"), BoardTexts::calibrationUnavailable(scale));
        return;
    }

    // The board takes its ADC readings the moment the command arrives, so the
    // user confirms that the inputs are prepared; Cancel is the safe default.
    const QMessageBox::StandardButton answer =
        QMessageBox::question(parent, BoardTexts::calibrationQuestionTitle(scale), BoardTexts::calibrationQuestion(scale),
                              QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    if (answer != QMessageBox::Ok)
        return;

    // The question ran an event loop; a link gone meanwhile means the command
    // could not be sent, and that is what the technician is told.
    const BoardSession::ActionResult result = session->calibrate(scale);
    showOutcome(parent, result.ok(), result.available ? result.text : BoardTexts::calibrationNotSent(scale));
}
