#include "mainwindow.h"
#include "ui_aboutdialog.h"
#include "ui_mainwindow.h"

#include "calibrationpanel.h"
#include "dumppanel.h"

#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

// The RX/TX dump switch, the unlock of the additional settings and About.

namespace {

const char* const unlockPassword = "marzipo";

} // namespace

// ---- RX/TX dump ----

void MainWindow::onDebugActionToggled(bool enabled)
{
    dump->setEnabled(enabled);
}

void MainWindow::appendDebugDumpLine(QString line)
{
    dump->append(line);
}

void MainWindow::applyDumpCallback()
{
    dump->followLink();
}

// ---- Unlock of the additional settings ----

void MainWindow::on_actionUnlockAdditional_triggered()
{
    if (additionalUnlocked) {
        setAdditionalUnlocked(false);
        return;
    }

    bool accepted = false;
    const QString password = QInputDialog::getText(this, tr("Доступ к дополнительным настройкам"),
                                                   tr("Введите пароль:"), QLineEdit::Password, QString(),
                                                   &accepted);
    if (!accepted)
        return;
    // Exact match: no trimming, case counts.
    if (password != QLatin1String(unlockPassword)) {
        QMessageBox::warning(this, tr("Vantor"), tr("Неверный пароль."), QMessageBox::Ok);
        return;
    }
    setAdditionalUnlocked(true);
    ui->tabWidget->setCurrentWidget(ui->tabAdditional);
}

void MainWindow::setAdditionalUnlocked(bool unlocked)
{
    additionalUnlocked = unlocked;
    if (ui && ui->actionUnlockAdditional) {
        ui->actionUnlockAdditional->setText(unlocked ? tr("Заблокировать Дополнительно")
                                                     : tr("Доступ к дополнительным настройкам"));
    }
    calibration->setUnlocked(unlocked);
    updateAdditionalTab();
}

// ---- About ----

void MainWindow::on_actionAbout_triggered()
{
    showAboutDialog();
}

void MainWindow::showAboutDialog()
{
    // Held through QPointer: the dialog is a child of the window and goes with
    // it should the window be destroyed while the dialog runs.
    QPointer<QDialog> dialog = new QDialog(this);
    Ui::Dialog form;
    form.setupUi(dialog);
    dialog->setWindowTitle(tr("About"));

    // __DATE__ pads a one-digit day with a blank ("May  4 2026").
    const QString buildDate = QString::fromLatin1(__DATE__).simplified();
    const QString buildTime = QString::fromLatin1(__TIME__);
    const QString html =
        QStringLiteral("<html><body style=\"font-family:'Segoe UI'; font-size:9pt;\">"
                       "<p><b>Quorvel</b></p><p>%1</p><p>%2</p><p>%3</p><p>%4</p></body></html>")
            .arg(tr("Version: %1").arg(QStringLiteral(QUORVEL_VERSION)).toHtmlEscaped(),
                 tr("Author: Ombrek").toHtmlEscaped(), tr("Build date: %1").arg(buildDate).toHtmlEscaped(),
                 tr("Build time: %1").arg(buildTime).toHtmlEscaped());
    form.textBrowser_Version->setHtml(html);

    connect(form.pushButton, &QPushButton::clicked, dialog.data(), &QDialog::accept);
    dialog->exec();
    delete dialog.data();
}
