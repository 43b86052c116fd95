#include "mainwindow.h"

// Firmware file choice, block transfer and flash.

void MainWindow::on_pushButtonSendFirmware_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonFlashFirmware_clicked()
{
    // Not built yet.
}

bool MainWindow::sendFirmwareLegacy(const QByteArray& /*image*/)
{
    // Not built yet.
    return false;
}

bool MainWindow::sendFirmwareRle(const QByteArray& /*image*/)
{
    // Not built yet.
    return false;
}
