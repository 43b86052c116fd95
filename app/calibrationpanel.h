#pragma once

#include <QObject>

class BoardSession;
class QPushButton;

// The DI calibration of the additional tab: two buttons, usable while the tab
// is unlocked and the board takes a calibration, each asking the technician
// to prepare the inputs before the session sends its one command.
class CalibrationPanel : public QObject
{
    Q_OBJECT

public:
    CalibrationPanel(QPushButton* zero, QPushButton* scale24V, BoardSession* session, QObject* parent = nullptr);

    // The additional tab's lock; locked, the buttons do nothing.
    void setUnlocked(bool unlocked);
    void updateButtons();

    // Both calibrations: the same steps with their own command and texts.
    void calibrate(bool scale24V);

private:
    QPushButton* zero;
    QPushButton* scale24V;
    BoardSession* session;
    bool unlocked = false;
};
