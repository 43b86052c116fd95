#pragma once

#include "commandexchange.h"

#include <QObject>

class BoardContext;
class QPushButton;

// The DI calibration of the additional tab: two buttons, usable while the tab
// is unlocked and the board takes a calibration, each asking the technician
// to prepare the inputs before its one command goes out.
class CalibrationPanel : public QObject
{
    Q_OBJECT

public:
    CalibrationPanel(QPushButton* zero, QPushButton* scale24V, BoardContext* context, QObject* parent = nullptr);

    // The additional tab's lock; locked, the buttons do nothing.
    void setUnlocked(bool unlocked);
    // A link, the main firmware, a board with a DI table and firmware 0.0.6 or later.
    bool available() const;
    void updateButtons();

    // Both calibrations: the same steps with their own command and texts.
    void calibrate(bool scale24V);

private:
    // ---- Board calls ----
    ExchangeResult sendCalibration(bool scale24V) const;

    QPushButton* zero;
    QPushButton* scale24V;
    BoardContext* context;
    bool unlocked = false;
};
