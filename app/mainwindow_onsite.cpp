#include "mainwindow.h"
#include "ui_mainwindow.h"

#include "barlink.h"
#include "boardsession.h"
#include "firmwarepanel.h"
#include "onestepupdate.h"
#include "ratelabel.h"
#include "scandialog.h"
#include "windowtext.h"

#include <QAction>
#include <QKeySequence>
#include <QMenu>
#include <QStatusBar>

// What a technician at a cabinet needs beyond the form: the boards on a line,
// the firmware updated in one step, and how fast a copy goes.

void MainWindow::setUpOnSiteTools()
{
    barLink = new BarLink(ui->ConnectionWidget, programName, this);

    // Speed and time left beside the percentage of every copy.
    copyRate = new RateLabel(RateLabel::Unit::Bytes, statusBar());
    copyRate->setObjectName(QStringLiteral("labelTransferRate"));
    statusBar()->addPermanentWidget(copyRate);
    connect(firmware, &FirmwarePanel::copyProgress, copyRate, &RateLabel::progress);
    connect(firmware, &FirmwarePanel::copyEnded, copyRate, &RateLabel::finish);

    auto* findDevices = new QAction(windowText("Найти устройства…"), this);
    findDevices->setObjectName(QStringLiteral("actionFindDevices"));
    findDevices->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_F));
    ui->menu_2->addAction(findDevices);
    connect(findDevices, &QAction::triggered, this, [this] { ScanDialog::run(barLink, this); });

    // The update's links come and go through the bar while it runs; they are
    // carried in a session of their own, so the panels see only the link the
    // update ends on, read out as after Connect.
    updateSession = new BoardSession(this);
    oneStepUpdate = new OneStepUpdate({ this, ui->progressBar, copyRate }, barLink, updateSession, programName,
                                      locale, this);
    oneStepUpdate->windowLink = [this] { return session->link(); };
    oneStepUpdate->linkDescription = [this] { return BarLink::describe(ui->ConnectionWidget); };
    connect(oneStepUpdate, &OneStepUpdate::dumpLine, this, &MainWindow::appendDebugDumpLine);
    auto* updateFirmware = new QAction(windowText("Обновить прошивку…"), this);
    updateFirmware->setObjectName(QStringLiteral("actionUpdateFirmware"));
    ui->menu->addSeparator();
    ui->menu->addAction(updateFirmware);
    connect(updateFirmware, &QAction::triggered, oneStepUpdate, &OneStepUpdate::run);
}
