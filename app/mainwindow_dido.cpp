#include "mainwindow.h"

// The DI/DO configuration editor.

void MainWindow::on_pushButtonGetDiDoParam_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonSetDiDoParam_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonResetDiDoParam_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonFillFactoryDiDoParam_clicked()
{
    // Not built yet.
}

void MainWindow::onDiConfigContextMenuRequested(QPoint /*pos*/)
{
    // Not built yet.
}

void MainWindow::buildDiDoTables()
{
    // Not built yet.
}

bool MainWindow::readDiConfig()
{
    // Not built yet.
    return false;
}

bool MainWindow::readDiDebounce()
{
    // Not built yet.
    return false;
}

bool MainWindow::readDiExtended()
{
    // Not built yet.
    return false;
}

bool MainWindow::readDoConfig()
{
    // Not built yet.
    return false;
}

bool MainWindow::writeDiExtended()
{
    // Not built yet.
    return false;
}

bool MainWindow::writeDoConfig()
{
    // Not built yet.
    return false;
}

void MainWindow::showDiDoRecord()
{
    // Not built yet.
}

void MainWindow::collectDiDoRecord()
{
    // Not built yet.
}

void MainWindow::resetDiDoRecord()
{
    // Not built yet.
}

bool MainWindow::readDiDoConfig()
{
    // Not built yet.
    return false;
}

void MainWindow::paintRow(QTableWidget* /*table*/, int /*row*/, bool /*enabled*/)
{
    // Not built yet.
}

void MainWindow::updateDoDpCell(QTableWidget* /*table*/, int /*row*/)
{
    // Not built yet.
}

void MainWindow::showRepeatMenu(int /*row*/, int /*column*/, const QPoint& /*globalPos*/)
{
    // Not built yet.
}

void MainWindow::repeatEverywhere(int /*row*/, int /*column*/)
{
    // Not built yet.
}
