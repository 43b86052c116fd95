#include "mainwindow.h"

// The RS-485 port parameters editor.

void MainWindow::on_pushButtonSetRs485Param_clicked()
{
    // Not built yet.
}

void MainWindow::on_pushButtonGetRs485Param_clicked()
{
    // Not built yet.
}

bool MainWindow::readRs485Params()
{
    // Not built yet.
    return false;
}

bool MainWindow::writeRs485Params()
{
    // Not built yet.
    return false;
}

void MainWindow::buildRs485PortTable(QTableWidget* /*table*/)
{
    // Not built yet.
}

void MainWindow::buildProtocolRows(int /*protocol*/, QTableWidget* /*table*/)
{
    // Not built yet.
}

bool MainWindow::collectPortRecord(QTableWidget* /*table*/, Rs485PortParams& /*record*/)
{
    // Not built yet.
    return false;
}

bool MainWindow::collectIec101Record(QTableWidget* /*table*/, Iec101Params& /*record*/)
{
    // Not built yet.
    return false;
}

void MainWindow::showPortRecord(QTableWidget* /*table*/, const Rs485PortParams& /*record*/)
{
    // Not built yet.
}

void MainWindow::showIec101Record(QTableWidget* /*table*/, const Iec101Params& /*record*/)
{
    // Not built yet.
}
