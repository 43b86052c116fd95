#include "mainwindow.h"

// Identity readout on connect, reboot, mode switch and DI calibration.

void MainWindow::onSerialConnected(QSharedPointer<Connector>& /*connector*/)
{
    // Not built yet.
}

void MainWindow::onSerialDisconnected()
{
    // Not built yet.
}

void MainWindow::on_pushButtonEnterBootloader_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonCalibrateDiZero_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonCalibrateDiScale24V_clicked()
{
    // Not built yet.
}

void MainWindow::onDeviceRebootRequested()
{
    // Not built yet.
}

bool MainWindow::readFirmwareVersion()
{
    // Not built yet.
    return false;
}

bool MainWindow::readDeviceStatus()
{
    // Not built yet.
    return false;
}

bool MainWindow::readBoardVersion()
{
    // Not built yet.
    return false;
}

bool MainWindow::readErrorCode()
{
    // Not built yet.
    return false;
}
