#include "dumppanel.h"

#include "boardsession.h"
#include "connector.h"
#include "windowtext.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextDocument>

namespace {

constexpr int dumpLineLimit = 2000;

} // namespace

DumpPanel::DumpPanel(QWidget* window, QBoxLayout* layout, QStatusBar* statusBar, BoardSession* session,
                     QObject* parent)
    : QObject(parent)
    , window(window)
    , layout(layout)
    , statusBar(statusBar)
    , session(session)
{
    setObjectName(QStringLiteral("dumpPanel"));
    connect(session, &BoardSession::stateChanged, this, &DumpPanel::followLink);
}

void DumpPanel::setEnabled(bool enabled)
{
    on = enabled;
    if (enabled) {
        if (!dumpView)
            build();
        followLink();
        append(windowText("[debug] Включен вывод RX/TX дампа"));
        return;
    }

    followLink();
    // Only a view that exists is taken out: QLayout::removeWidget(nullptr)
    // would drop every item without a widget, the connection bar's nested
    // layout among them.
    if (dumpView) {
        layout->removeWidget(panel);
        delete panel;
        panel = nullptr;
        dumpView = nullptr;
        findEdit = nullptr;
        lines.clear();
        notes.clear();
    }
}

void DumpPanel::followLink()
{
    const QSharedPointer<Connector> link = session->link();
    const QSharedPointer<Connector> previous = fed.toStrongRef();
    if (previous == link && installed == (on && link))
        return;
    if (previous && previous != link)
        previous->clearDumpCallback();
    fed = link;
    installed = false;
    if (!link)
        return;
    if (!on) {
        link->clearDumpCallback();
        return;
    }
    installed = true;
    // The transport may call this from its worker thread: the text is copied
    // into a queued call and no widget is touched here.
    DumpPanel* dump = this;
    link->setDumpCallback([dump](const QString& text) {
        QMetaObject::invokeMethod(dump, [dump, text]() { dump->append(text); }, Qt::QueuedConnection);
    });
}

void DumpPanel::build()
{
    panel = new QWidget(window);
    panel->setObjectName(QStringLiteral("widgetDebugDump"));
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    column->addLayout(row);

    auto button = [this, row](const char* name, const QString& text, void (DumpPanel::*slot)()) {
        auto* b = new QPushButton(text, panel);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
    };
    button("pushButtonSaveDump", windowText("Сохранить журнал…"), &DumpPanel::save);
    auto* copy = new QPushButton(windowText("Копировать"), panel);
    copy->setObjectName(QStringLiteral("pushButtonCopyDump"));
    row->addWidget(copy);
    button("pushButtonClearDump", windowText("Очистить"), &DumpPanel::clear);
    findEdit = new QLineEdit(panel);
    findEdit->setObjectName(QStringLiteral("lineEditFindDump"));
    findEdit->setPlaceholderText(windowText("Найти…"));
    connect(findEdit, &QLineEdit::returnPressed, this, &DumpPanel::find);
    row->addWidget(findEdit);
    button("pushButtonFindDump", windowText("Найти"), &DumpPanel::find);
    auto* commandNames = new QCheckBox(windowText("Названия команд"), panel);
    commandNames->setObjectName(QStringLiteral("checkBoxDumpCommandNames"));
    commandNames->setChecked(notesShown);
    connect(commandNames, &QCheckBox::toggled, this, &DumpPanel::showCommandNames);
    row->addWidget(commandNames);
    row->addStretch();

    dumpView = new QPlainTextEdit(panel);
    dumpView->setObjectName(QStringLiteral("plainTextEditDebugDump"));
    dumpView->setReadOnly(true);
    // Tab moves on rather than stopping in the dump.
    dumpView->setTabChangesFocus(true);
    dumpView->setPlaceholderText(windowText("RX/TX дамп обмена"));
    // Bounded: a long session with the dump on must not grow without end.
    dumpView->document()->setMaximumBlockCount(dumpLineLimit);
    connect(copy, &QPushButton::clicked, dumpView, &QPlainTextEdit::copy);
    column->addWidget(dumpView);
    layout->addWidget(panel);
}

QString DumpPanel::lineShown(int index) const
{
    const QString& note = notes.at(index);
    // The note stands beside the line; the line itself stays as it came.
    return notesShown && !note.isEmpty() ? lines.at(index) + QStringLiteral("    # ") + note : lines.at(index);
}

void DumpPanel::showCommandNames(bool shown)
{
    notesShown = shown;
    if (!dumpView)
        return;
    QStringList shownLines;
    for (int i = 0; i < lines.size(); ++i)
        shownLines << lineShown(i);
    dumpView->setPlainText(shownLines.join(QLatin1Char('\n')));
    dumpView->moveCursor(QTextCursor::End);
}

void DumpPanel::save()
{
    if (!dumpView)
        return;
    const QString suggested = QDir::home().filePath(
        QStringLiteral("dump_%1.txt").arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"))));
    const QString path = chooseFile ? chooseFile(window, true, suggested)
                                    : QFileDialog::getSaveFileName(window, windowText("Сохранить журнал"), suggested,
                                                                   windowText("Текст (*.txt)"));
    if (path.isEmpty())
        return;
    QString text = dumpView->toPlainText();
    if (!text.isEmpty())
        text += QLatin1Char('\n');
    const QByteArray bytes = text.toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        QMessageBox::warning(window, windowText("Vantor"),
                             windowText("Не удалось записать файл %1:\n%2\n")
                                 .arg(QDir::toNativeSeparators(path), file.errorString()));
}

void DumpPanel::clear()
{
    if (dumpView)
        dumpView->clear();
    lines.clear();
    notes.clear();
}

void DumpPanel::find()
{
    if (!dumpView || !findEdit || findEdit->text().isEmpty())
        return;
    const QString text = findEdit->text();
    // From the cursor on, then once more from the top.
    if (dumpView->find(text))
        return;
    dumpView->moveCursor(QTextCursor::Start);
    if (!dumpView->find(text))
        statusBar->showMessage(windowText("Не найдено: %1").arg(text), 5000);
}

void DumpPanel::append(const QString& line)
{
    if (!dumpView)
        return;
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    lines << QStringLiteral("%1  %2").arg(stamp, line);
    notes << annotator.annotate(line);
    // The same bound as the view's, so a redraw shows what the view held.
    if (lines.size() > dumpLineLimit) {
        lines.removeFirst();
        notes.removeFirst();
    }
    dumpView->appendPlainText(lineShown(lines.size() - 1));
}
