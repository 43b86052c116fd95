#include "mainwindow.h"
#include "ui_aboutdialog.h"
#include "ui_mainwindow.h"

#include "connector.h"

#include <QDateTime>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextDocument>

namespace {

const char* const unlockPassword = "marzipo";
constexpr int dumpLineLimit = 2000;

} // namespace

// ---- RX/TX dump ----

void MainWindow::onDebugActionToggled(bool enabled)
{
    debugEnabled = enabled;

    if (enabled) {
        if (!debugDumpView) {
            debugDumpView = new QPlainTextEdit(this);
            debugDumpView->setObjectName(QStringLiteral("plainTextEditDebugDump"));
            debugDumpView->setReadOnly(true);
            // Tab moves on rather than stopping in the dump.
            debugDumpView->setTabChangesFocus(true);
            debugDumpView->setPlaceholderText(tr("RX/TX дамп обмена"));
            // Bounded: a long session with the dump on must not grow without end.
            debugDumpView->document()->setMaximumBlockCount(dumpLineLimit);
            ui->verticalLayout->addWidget(debugDumpView);
        }
        applyDumpCallback();
        appendDebugDumpLine(tr("[debug] Включен вывод RX/TX дампа"));
        return;
    }

    applyDumpCallback();
    // Only a view that exists is taken out: QLayout::removeWidget(nullptr)
    // would drop every item without a widget, the connection bar's nested
    // layout among them.
    if (debugDumpView) {
        ui->verticalLayout->removeWidget(debugDumpView);
        delete debugDumpView;
        debugDumpView = nullptr;
    }
}

void MainWindow::appendDebugDumpLine(QString line)
{
    if (!debugDumpView)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    debugDumpView->appendPlainText(QStringLiteral("%1  %2").arg(stamp, line));
}

void MainWindow::applyDumpCallback()
{
    if (!connector)
        return;
    if (!debugEnabled) {
        connector->clearDumpCallback();
        return;
    }
    // The transport may call this from its worker thread: the text is copied
    // into a queued call and no widget is touched here.
    MainWindow* window = this;
    connector->setDumpCallback([window](const QString& text) {
        QMetaObject::invokeMethod(window, [window, text]() { window->appendDebugDumpLine(text); },
                                  Qt::QueuedConnection);
    });
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
