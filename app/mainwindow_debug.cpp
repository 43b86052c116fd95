#include "mainwindow.h"
#include "ui_aboutdialog.h"
#include "ui_mainwindow.h"

#include "connector.h"

#include <QCheckBox>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextDocument>
#include <QVBoxLayout>

namespace {

const char* const unlockPassword = "marzipo";
constexpr int dumpLineLimit = 2000;

} // namespace

// ---- RX/TX dump ----

void MainWindow::onDebugActionToggled(bool enabled)
{
    debugEnabled = enabled;

    if (enabled) {
        if (!debugDumpView)
            buildDebugDump();
        applyDumpCallback();
        appendDebugDumpLine(tr("[debug] Включен вывод RX/TX дампа"));
        return;
    }

    applyDumpCallback();
    // Only a view that exists is taken out: QLayout::removeWidget(nullptr)
    // would drop every item without a widget, the connection bar's nested
    // layout among them.
    if (debugDumpView) {
        ui->verticalLayout->removeWidget(debugDumpPanel);
        delete debugDumpPanel;
        debugDumpPanel = nullptr;
        debugDumpView = nullptr;
        dumpFindEdit = nullptr;
        dumpLines.clear();
        dumpNotes.clear();
    }
}

void MainWindow::buildDebugDump()
{
    debugDumpPanel = new QWidget(this);
    debugDumpPanel->setObjectName(QStringLiteral("widgetDebugDump"));
    auto* column = new QVBoxLayout(debugDumpPanel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    column->addLayout(row);

    auto button = [this, row](const char* name, const QString& text, void (MainWindow::*slot)()) {
        auto* b = new QPushButton(text, debugDumpPanel);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
    };
    button("pushButtonSaveDump", tr("Сохранить журнал…"), &MainWindow::saveDebugDump);
    auto* copy = new QPushButton(tr("Копировать"), debugDumpPanel);
    copy->setObjectName(QStringLiteral("pushButtonCopyDump"));
    row->addWidget(copy);
    button("pushButtonClearDump", tr("Очистить"), &MainWindow::clearDebugDump);
    dumpFindEdit = new QLineEdit(debugDumpPanel);
    dumpFindEdit->setObjectName(QStringLiteral("lineEditFindDump"));
    dumpFindEdit->setPlaceholderText(tr("Найти…"));
    connect(dumpFindEdit, &QLineEdit::returnPressed, this, &MainWindow::findInDebugDump);
    row->addWidget(dumpFindEdit);
    button("pushButtonFindDump", tr("Найти"), &MainWindow::findInDebugDump);
    auto* notes = new QCheckBox(tr("Названия команд"), debugDumpPanel);
    notes->setObjectName(QStringLiteral("checkBoxDumpCommandNames"));
    notes->setChecked(dumpNotesShown);
    connect(notes, &QCheckBox::toggled, this, &MainWindow::showDumpCommandNames);
    row->addWidget(notes);
    row->addStretch();

    debugDumpView = new QPlainTextEdit(debugDumpPanel);
    debugDumpView->setObjectName(QStringLiteral("plainTextEditDebugDump"));
    debugDumpView->setReadOnly(true);
    // Tab moves on rather than stopping in the dump.
    debugDumpView->setTabChangesFocus(true);
    debugDumpView->setPlaceholderText(tr("RX/TX дамп обмена"));
    // Bounded: a long session with the dump on must not grow without end.
    debugDumpView->document()->setMaximumBlockCount(dumpLineLimit);
    connect(copy, &QPushButton::clicked, debugDumpView, &QPlainTextEdit::copy);
    column->addWidget(debugDumpView);
    ui->verticalLayout->addWidget(debugDumpPanel);
}

QString MainWindow::dumpLineShown(int index) const
{
    const QString& note = dumpNotes.at(index);
    // The note stands beside the line; the line itself stays as it came.
    return dumpNotesShown && !note.isEmpty() ? dumpLines.at(index) + QStringLiteral("    # ") + note
                                              : dumpLines.at(index);
}

void MainWindow::showDumpCommandNames(bool shown)
{
    dumpNotesShown = shown;
    if (!debugDumpView)
        return;
    QStringList lines;
    for (int i = 0; i < dumpLines.size(); ++i)
        lines << dumpLineShown(i);
    debugDumpView->setPlainText(lines.join(QLatin1Char('\n')));
    debugDumpView->moveCursor(QTextCursor::End);
}

void MainWindow::saveDebugDump()
{
    if (!debugDumpView)
        return;
    const QString suggested = QDir::home().filePath(
        QStringLiteral("dump_%1.txt").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))));
    const QString path = chooseDumpFile ? chooseDumpFile(this, true, suggested)
                                        : QFileDialog::getSaveFileName(this, tr("Сохранить журнал"), suggested,
                                                                       tr("Текст (*.txt)"));
    if (path.isEmpty())
        return;
    QString text = debugDumpView->toPlainText();
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        QMessageBox::warning(this, tr("Vantor"),
                             tr("Не удалось записать файл %1:\n%2\n").arg(QDir::toNativeSeparators(path),
                                                                          file.errorString()));
}

void MainWindow::clearDebugDump()
{
    if (debugDumpView)
        debugDumpView->clear();
    dumpLines.clear();
    dumpNotes.clear();
}

void MainWindow::findInDebugDump()
{
    if (!debugDumpView || !dumpFindEdit || dumpFindEdit->text().isEmpty())
        return;
    const QString text = dumpFindEdit->text();
    // From the cursor on, then once more from the top.
    if (debugDumpView->find(text))
        return;
    debugDumpView->moveCursor(QTextCursor::Start);
    if (!debugDumpView->find(text))
        statusBar()->showMessage(tr("Не найдено: %1").arg(text), 5000);
}

void MainWindow::appendDebugDumpLine(QString line)
{
    if (!debugDumpView)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    dumpLines << QStringLiteral("%1  %2").arg(stamp, line);
    dumpNotes << dumpAnnotator.annotate(line);
    // The same bound as the view's, so a redraw shows what the view held.
    if (dumpLines.size() > dumpLineLimit) {
        dumpLines.removeFirst();
        dumpNotes.removeFirst();
    }
    debugDumpView->appendPlainText(dumpLineShown(dumpLines.size() - 1));
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
