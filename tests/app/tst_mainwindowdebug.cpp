// The RX/TX dump view, the password lock of the additional tab and the About
// dialog, driven through the window's own menu actions.

#include "boardsetup.h"
#include "dumppanel.h"
#include "mainwindow.h"

#include "modalanswerer.h"
#include "scriptedconnector.h"
#include "tessarin.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QDialog>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QThread>
#include <QVBoxLayout>
#include <QtTest>

#include <memory>

namespace {

// A connector whose dump callback a test can fire, as a transport does from
// its read and write.
class DumpingConnector : public ScriptedConnector
{
public:
    ~DumpingConnector() override
    {
        if (destroyed)
            *destroyed = true;
    }
    using Connector::emitDump;
    bool* destroyed = nullptr;
};

const QString firstDumpLine = QStringLiteral("[debug] Включен вывод RX/TX дампа");
const QRegularExpression stamped(QStringLiteral("^(\\d\\d):(\\d\\d):(\\d\\d)\\.(\\d{3})  (.*)$"));

QStringList dumpLines(QPlainTextEdit* view)
{
    QStringList lines;
    for (QTextBlock b = view->document()->firstBlock(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

// The text after the time stamp; fails the check when the stamp is malformed.
QString unstamped(const QString& line)
{
    const QRegularExpressionMatch m = stamped.match(line);
    if (!m.hasMatch())
        return QStringLiteral("<no stamp> ") + line;
    if (m.captured(1).toInt() > 23 || m.captured(2).toInt() > 59 || m.captured(3).toInt() > 59)
        return QStringLiteral("<bad stamp> ") + line;
    return m.captured(5);
}

template <typename T>
T* child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

} // namespace

class TestMainWindowDebug : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startsWithoutDumpView();
    void switchingOnShowsViewWithFirstLine();
    void linesArriveInOrderWithStamps();
    void lineAfterTheLimitDropsTheFirst();
    void switchingOffRemovesViewAndOnStartsEmpty();
    void commandNamesStandBesideTheLines_data();
    void commandNamesStandBesideTheLines();
    void dumpIsSavedFoundCopiedAndCleared();
    void linesWhileOffAreDropped();
    void dumpFromAnotherThreadLandsOnGuiThread();
    void switchingOffUninstallsTheCallback();
    void switchingOnWithoutLinkInstallsNothingLater();
    void destroyedWindowReceivesNoDump();

    void passwordDialogMasksInput();
    void rightPasswordUnlocksAndShowsTab();
    void wrongPasswordKeepsLocked_data();
    void wrongPasswordKeepsLocked();
    void cancelledPasswordShowsNothing();
    void unlockedActionLocksWithoutAsking();

    void aboutShowsMakerAndVersion_data();
    void aboutShowsMakerAndVersion();

private:
    std::unique_ptr<MainWindow> window;
    QAction* dumpAction() { return child<QAction>(*window, "action"); }
    QPlainTextEdit* dumpView() { return child<QPlainTextEdit>(*window, "plainTextEditDebugDump"); }
};

void TestMainWindowDebug::init()
{
    window = std::make_unique<MainWindow>();
}

void TestMainWindowDebug::cleanup()
{
    window.reset();
}

// ---- Dump ----

void TestMainWindowDebug::startsWithoutDumpView()
{
    QVERIFY(!dumpAction()->isChecked());
    QVERIFY(!dumpView());
    QVERIFY(!dumpView());
    QVERIFY(!partOf<DumpPanel>(*window)->enabled());
}

void TestMainWindowDebug::switchingOnShowsViewWithFirstLine()
{
    dumpAction()->setChecked(true);

    QPlainTextEdit* view = dumpView();
    QVERIFY(view);
    QCOMPARE(partOf<DumpPanel>(*window)->view(), view);
    QVERIFY(partOf<DumpPanel>(*window)->enabled());
    QVERIFY(view->isReadOnly());
    QCOMPARE(view->placeholderText(), QStringLiteral("RX/TX дамп обмена"));
    QCOMPARE(view->document()->maximumBlockCount(), 2000);

    // Below the tabs, in the central layout, with the connection bar above.
    auto* central = child<QVBoxLayout>(*window, "verticalLayout");
    QCOMPARE(central->count(), 3);
    QCOMPARE(central->itemAt(0)->layout(), static_cast<QLayout*>(child<QHBoxLayout>(*window, "horizontalLayout")));
    QCOMPARE(central->itemAt(2)->widget(), view->parentWidget());
    QCOMPARE(view->parentWidget()->objectName(), QStringLiteral("widgetDebugDump"));

    const QStringList lines = dumpLines(view);
    QCOMPARE(lines.size(), 1);
    QCOMPARE(unstamped(lines.first()), firstDumpLine);
}

void TestMainWindowDebug::linesArriveInOrderWithStamps()
{
    dumpAction()->setChecked(true);
    DumpPanel* dump = partOf<DumpPanel>(*window);
    dump->append(QStringLiteral("TX len=1 hex=78"));
    dump->append(QStringLiteral("RX len=7 hex=c9 05 30 2e 30 2e 36"));
    dump->append(QStringLiteral("100% %1 <b>"));

    const QStringList lines = dumpLines(dumpView());
    QCOMPARE(lines.size(), 4);
    QCOMPARE(unstamped(lines.at(0)), firstDumpLine);
    QCOMPARE(unstamped(lines.at(1)), QStringLiteral("TX len=1 hex=78"));
    QCOMPARE(unstamped(lines.at(2)), QStringLiteral("RX len=7 hex=c9 05 30 2e 30 2e 36"));
    // Shown as typed: no placeholder substitution, no markup.
    QCOMPARE(unstamped(lines.at(3)), QStringLiteral("100% %1 <b>"));
}

void TestMainWindowDebug::lineAfterTheLimitDropsTheFirst()
{
    dumpAction()->setChecked(true);
    DumpPanel* dump = partOf<DumpPanel>(*window);
    // The first line is already there; 2000 more make 2001.
    for (int i = 1; i <= 2000; ++i)
        dump->append(QStringLiteral("line %1").arg(i));

    const QStringList lines = dumpLines(dumpView());
    QCOMPARE(lines.size(), 2000);
    QCOMPARE(unstamped(lines.first()), QStringLiteral("line 1"));
    QCOMPARE(unstamped(lines.last()), QStringLiteral("line 2000"));
}

void TestMainWindowDebug::switchingOffRemovesViewAndOnStartsEmpty()
{
    dumpAction()->setChecked(true);
    DumpPanel* dump = partOf<DumpPanel>(*window);
    dump->append(QStringLiteral("old line"));
    QPointer<QPlainTextEdit> oldView = dumpView();

    dumpAction()->setChecked(false);
    QVERIFY(oldView.isNull()); // destroyed at once, not later
    QVERIFY(!dumpView());
    QVERIFY(!dump->view());
    QVERIFY(!dump->enabled());
    auto* central = child<QVBoxLayout>(*window, "verticalLayout");
    QCOMPARE(central->count(), 2);
    QCOMPARE(central->itemAt(0)->layout(), static_cast<QLayout*>(child<QHBoxLayout>(*window, "horizontalLayout")));
    QCOMPARE(child<QHBoxLayout>(*window, "horizontalLayout")->indexOf(child<Tessarin>(*window, "ConnectionWidget")), 0);

    dumpAction()->setChecked(true);
    const QStringList lines = dumpLines(dumpView());
    QCOMPARE(lines.size(), 1);
    QCOMPARE(unstamped(lines.first()), firstDumpLine);

    // Off twice in a row leaves the layout alone too.
    partOf<DumpPanel>(*window)->setEnabled(false);
    partOf<DumpPanel>(*window)->setEnabled(false);
    QCOMPARE(central->count(), 2);
}

void TestMainWindowDebug::commandNamesStandBesideTheLines_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("notes"); // of each line, "" for none

    QTest::newRow("framed request and its reply")
        << QStringList { "TX len=12 hex=fe 45 ff 54 00 00 01 78 aa bb cc dd", "RX len=3 hex=fe 45 ff" }
        << QStringList { "0x78 версия прошивки", "0x78 версия прошивки" };
    QTest::newRow("bare request") << QStringList { "TX len=1 hex=a0" } << QStringList { "0xA0 чтение таблицы DI" };
    QTest::newRow("unknown code") << QStringList { "TX len=1 hex=42", "RX len=1 hex=c9" } << QStringList { "", "" };
    QTest::newRow("not a transfer line") << QStringList { "[firmware] send method=RLE" } << QStringList { "" };
}

void TestMainWindowDebug::commandNamesStandBesideTheLines()
{
    QFETCH(QStringList, lines);
    QFETCH(QStringList, notes);

    dumpAction()->setChecked(true);
    DumpPanel* dump = partOf<DumpPanel>(*window);
    for (const QString& line : lines)
        dump->append(line);
    auto* names = child<QCheckBox>(*window, "checkBoxDumpCommandNames");
    QVERIFY(names);
    // On and off again: the lines themselves never change.
    for (bool on : { true, false }) {
        names->setChecked(on);
        const QStringList shown = dumpLines(dumpView()).mid(1);
        QCOMPARE(shown.size(), lines.size());
        for (int i = 0; i < lines.size(); ++i) {
            const QString expected = on && !notes.at(i).isEmpty() ? lines.at(i) + "    # " + notes.at(i) : lines.at(i);
            QCOMPARE(unstamped(shown.at(i)), expected);
        }
    }
}

void TestMainWindowDebug::dumpIsSavedFoundCopiedAndCleared()
{
    dumpAction()->setChecked(true);
    DumpPanel* dump = partOf<DumpPanel>(*window);
    dump->append(QStringLiteral("TX len=1 hex=7c"));
    dump->append(QStringLiteral("RX len=1 hex=c9"));
    child<QCheckBox>(*window, "checkBoxDumpCommandNames")->setChecked(true);

    // Saved exactly as shown.
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("dump.txt"));
    dump->chooseFile = ([&path](QWidget*, bool, const QString&) { return path; });
    child<QPushButton>(*window, "pushButtonSaveDump")->click();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(file.readAll()), dumpView()->toPlainText() + QLatin1Char('\n'));
    QVERIFY(dumpView()->toPlainText().contains(QStringLiteral("RX len=1 hex=c9    # 0x7C перезагрузка")));

    // Found and copied.
    child<QLineEdit>(*window, "lineEditFindDump")->setText(QStringLiteral("hex=c9"));
    child<QPushButton>(*window, "pushButtonFindDump")->click();
    QCOMPARE(dumpView()->textCursor().selectedText(), QStringLiteral("hex=c9"));
    child<QPushButton>(*window, "pushButtonCopyDump")->click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("hex=c9"));

    child<QPushButton>(*window, "pushButtonClearDump")->click();
    QVERIFY(dumpView()->toPlainText().isEmpty());
    child<QCheckBox>(*window, "checkBoxDumpCommandNames")->setChecked(false);
    QVERIFY(dumpView()->toPlainText().isEmpty());
}

void TestMainWindowDebug::linesWhileOffAreDropped()
{
    partOf<DumpPanel>(*window)->append(QStringLiteral("nobody listens"));
    QVERIFY(!dumpView());
    dumpAction()->setChecked(true);
    QCOMPARE(dumpLines(dumpView()).size(), 1);
}

void TestMainWindowDebug::dumpFromAnotherThreadLandsOnGuiThread()
{
    auto link = QSharedPointer<DumpingConnector>::create();
    partOf<BoardSession>(*window)->attach(link);
    dumpAction()->setChecked(true);
    QPlainTextEdit* view = dumpView();

    QList<QThread*> writers;
    connect(view->document(), &QTextDocument::contentsChanged, this,
            [&writers]() { writers << QThread::currentThread(); }, Qt::DirectConnection);

    const int count = 50;
    std::unique_ptr<QThread> worker(QThread::create([link]() {
        for (int i = 0; i < count; ++i)
            link->emitDump(QStringLiteral("RX len=1 hex=%1").arg(i, 2, 16, QLatin1Char('0')));
    }));
    worker->start();
    QVERIFY(worker->wait(10000));

    // The worker only posted; nothing has touched the view yet.
    QCOMPARE(dumpLines(view).size(), 1);
    QVERIFY(writers.isEmpty());

    QTRY_COMPARE(dumpLines(view).size(), count + 1);
    const QStringList lines = dumpLines(view);
    for (int i = 0; i < count; ++i)
        QCOMPARE(unstamped(lines.at(i + 1)), QStringLiteral("RX len=1 hex=%1").arg(i, 2, 16, QLatin1Char('0')));
    QVERIFY(!writers.isEmpty());
    for (QThread* t : writers)
        QCOMPARE(t, qApp->thread());
}

void TestMainWindowDebug::switchingOffUninstallsTheCallback()
{
    auto link = QSharedPointer<DumpingConnector>::create();
    partOf<BoardSession>(*window)->attach(link);
    dumpAction()->setChecked(true);
    link->emitDump(QStringLiteral("while on"));
    QTRY_COMPARE(dumpLines(dumpView()).size(), 2);

    dumpAction()->setChecked(false);
    // With the callback still installed this would be queued and show up in
    // the next view.
    link->emitDump(QStringLiteral("while off"));
    dumpAction()->setChecked(true);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const QStringList lines = dumpLines(dumpView());
    QCOMPARE(lines.size(), 1);
    QCOMPARE(unstamped(lines.first()), firstDumpLine);
}

void TestMainWindowDebug::switchingOnWithoutLinkInstallsNothingLater()
{
    // The dump is on before any link exists; the link that arrives later
    // gets the callback when it arrives.
    dumpAction()->setChecked(true);
    auto link = QSharedPointer<DumpingConnector>::create();
    link->emitDump(QStringLiteral("not yet the window's"));
    QCoreApplication::processEvents();
    QCOMPARE(dumpLines(dumpView()).size(), 1);

    partOf<BoardSession>(*window)->attach(link);
    link->emitDump(QStringLiteral("after connect"));
    QTRY_COMPARE(dumpLines(dumpView()).size(), 2);
    QCOMPARE(unstamped(dumpLines(dumpView()).last()), QStringLiteral("after connect"));
}

void TestMainWindowDebug::destroyedWindowReceivesNoDump()
{
    // The bar may keep the transport alive after the window is gone; the
    // transport must not call into the dead window.
    bool destroyed = false;
    auto link = QSharedPointer<DumpingConnector>::create();
    link->destroyed = &destroyed;
    {
        MainWindow other;
        partOf<BoardSession>(other)->attach(link);
        child<QAction>(other, "action")->setChecked(true);
        link->emitDump(QStringLiteral("queued before the end"));
    }
    // A callback left behind would post to freed memory here.
    link->emitDump(QStringLiteral("after the end"));
    QCoreApplication::processEvents();
    // The window let go of its reference: ours was the last one.
    link.reset();
    QVERIFY(destroyed);
}

// ---- Unlock ----

void TestMainWindowDebug::passwordDialogMasksInput()
{
    QString title, label, initial;
    int echo = -1;
    QTimer poll;
    poll.setInterval(5);
    connect(&poll, &QTimer::timeout, this, [&]() {
        auto* input = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!input || !input->isVisible())
            return;
        title = input->windowTitle();
        label = input->labelText();
        initial = input->textValue();
        echo = input->textEchoMode();
        input->reject();
    });
    poll.start();

    child<QAction>(*window, "actionUnlockAdditional")->trigger();

    QCOMPARE(title, QStringLiteral("Доступ к дополнительным настройкам"));
    QCOMPARE(label, QStringLiteral("Введите пароль:"));
    QCOMPARE(initial, QString());
    QCOMPARE(echo, int(QLineEdit::Password));
}

void TestMainWindowDebug::rightPasswordUnlocksAndShowsTab()
{
    ModalAnswerer answerer;
    answerer.queueInput(QStringLiteral("marzipo"));
    child<QAction>(*window, "actionUnlockAdditional")->trigger();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QInputDialog"));
    QVERIFY(child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2));
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    QVERIFY(tabs->isTabEnabled(2));
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tabAdditional"));
    QCOMPARE(child<QAction>(*window, "actionUnlockAdditional")->text(), QStringLiteral("Заблокировать Дополнительно"));
}

void TestMainWindowDebug::wrongPasswordKeepsLocked_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("capital") << QStringLiteral("Marzipo");
    QTest::newRow("all capitals") << QStringLiteral("MARZIPO");
    QTest::newRow("trailing blank") << QStringLiteral("marzipo ");
    QTest::newRow("leading blank") << QStringLiteral(" marzipo");
    QTest::newRow("empty") << QString();
    QTest::newRow("prefix") << QStringLiteral("marzip");
    QTest::newRow("longer") << QStringLiteral("marzipo1");
}

void TestMainWindowDebug::wrongPasswordKeepsLocked()
{
    QFETCH(QString, password);
    ModalAnswerer answerer;
    answerer.queueInput(password);
    child<QAction>(*window, "actionUnlockAdditional")->trigger();

    QCOMPARE(answerer.seen.size(), 2);
    const ModalAnswerer::Seen box = answerer.seen.at(1);
    QCOMPARE(box.className, QStringLiteral("QMessageBox"));
    QCOMPARE(box.title, QStringLiteral("Vantor"));
    QCOMPARE(box.text, QStringLiteral("Неверный пароль."));
    QCOMPARE(box.icon, QMessageBox::Warning);

    QVERIFY(!child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2));
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    QVERIFY(!tabs->isTabEnabled(2));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(child<QAction>(*window, "actionUnlockAdditional")->text(), QStringLiteral("Доступ к дополнительным настройкам"));
}

void TestMainWindowDebug::cancelledPasswordShowsNothing()
{
    ModalAnswerer answerer;
    answerer.queueInputCancel();
    child<QAction>(*window, "actionUnlockAdditional")->trigger();

    QCOMPARE(answerer.seen.size(), 1);
    QCOMPARE(answerer.seen.first().className, QStringLiteral("QInputDialog"));
    QVERIFY(!child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2));
    QVERIFY(!child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2));
}

void TestMainWindowDebug::unlockedActionLocksWithoutAsking()
{
    ModalAnswerer answerer;
    answerer.queueInput(QStringLiteral("marzipo"));
    QAction* unlock = child<QAction>(*window, "actionUnlockAdditional");
    unlock->trigger();
    auto* tabs = child<QTabWidget>(*window, "tabWidget");
    QCOMPARE(tabs->currentIndex(), 2);
    answerer.reset();

    unlock->trigger();
    QVERIFY(answerer.seen.isEmpty());
    QVERIFY(!child<QTabWidget>(*window, "tabWidget")->isTabEnabled(2));
    QVERIFY(!tabs->isTabEnabled(2));
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(unlock->text(), QStringLiteral("Доступ к дополнительным настройкам"));
}

// ---- About ----

void TestMainWindowDebug::aboutShowsMakerAndVersion_data()
{
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("menu action") << true;
    QTest::newRow("slot") << false;
}

void TestMainWindowDebug::aboutShowsMakerAndVersion()
{
    QFETCH(bool, fromMenu);

    struct Seen
    {
        QString objectName, title, maker, version;
        QSize size, minimum;
        QSizePolicy policy;
        bool pictureShown = false;
        QString pictureText = QStringLiteral("?");
        bool makerBold = false;
        QString closeText;
        QStringList styleSheets;
        QList<int> frames;
        bool handled = false;
    } seen;

    ModalAnswerer answerer;
    answerer.setCustomHandler([&seen](QWidget* modal) {
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!dialog)
            return false;
        seen.handled = true;
        seen.objectName = dialog->objectName();
        seen.title = dialog->windowTitle();
        seen.size = dialog->size();
        seen.minimum = dialog->minimumSize();
        seen.policy = dialog->sizePolicy();
        if (auto* picture = dialog->findChild<QLabel*>(QStringLiteral("label"))) {
            seen.pictureShown = !picture->pixmap(Qt::ReturnByValue).isNull();
            seen.pictureText = picture->text();
        }
        auto* makerBrowser = dialog->findChild<QTextBrowser*>(QStringLiteral("textBrowser"));
        auto* versionBrowser = dialog->findChild<QTextBrowser*>(QStringLiteral("textBrowser_Version"));
        if (makerBrowser && versionBrowser) {
            seen.maker = makerBrowser->toPlainText();
            seen.makerBold = makerBrowser->document()->firstBlock().begin().fragment().charFormat().fontWeight()
                >= QFont::DemiBold;
            seen.version = versionBrowser->toPlainText();
            seen.styleSheets << makerBrowser->styleSheet() << versionBrowser->styleSheet();
            seen.frames << makerBrowser->frameShape() << versionBrowser->frameShape();
        }
        if (auto* close = dialog->findChild<QPushButton*>(QStringLiteral("pushButton"))) {
            seen.closeText = close->text();
            close->click();
        } else {
            dialog->reject();
        }
        return true;
    });

    if (fromMenu)
        child<QAction>(*window, "actionAbout")->trigger();
    else
        QVERIFY(QMetaObject::invokeMethod(window.get(), "showAboutDialog"));

    QVERIFY(seen.handled);
    QCOMPARE(seen.objectName, QStringLiteral("Dialog"));
    QCOMPARE(seen.title, QStringLiteral("About"));
    QCOMPARE(seen.size, QSize(563, 336));
    QCOMPARE(seen.minimum, QSize(400, 300));
    QCOMPARE(seen.policy.horizontalPolicy(), QSizePolicy::Fixed);
    QCOMPARE(seen.policy.verticalPolicy(), QSizePolicy::Fixed);
    QVERIFY(seen.pictureShown);
    QCOMPARE(seen.pictureText, QString());
    QCOMPARE(seen.closeText, QStringLiteral("Close"));

    // Maker: four lines, name first and in bold, no person named.
    const QStringList makerLines = seen.maker.split(QLatin1Char('\n'));
    QVERIFY2(makerLines.size() >= 4, qPrintable(seen.maker));
    QCOMPARE(makerLines.first(), QStringLiteral("Ombrek"));
    QVERIFY(seen.makerBold);
    for (int i = 0; i < 4; ++i)
        QVERIFY(!makerLines.at(i).trimmed().isEmpty());

    const QStringList lines = seen.version.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines.at(0), QStringLiteral("Quorvel"));
    QCOMPARE(lines.at(1), QStringLiteral("Version: 0.1.0"));
    QVERIFY(lines.at(2).startsWith(QStringLiteral("Author: ")));
    QVERIFY2(QRegularExpression(QStringLiteral("^Build date: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                               "[1-9]\\d? \\d{4}$"))
                 .match(lines.at(3))
                 .hasMatch(),
             qPrintable(lines.at(3)));
    QVERIFY2(QRegularExpression(QStringLiteral("^Build time: \\d\\d:\\d\\d:\\d\\d$")).match(lines.at(4)).hasMatch(),
             qPrintable(lines.at(4)));

    const QString transparent = QStringLiteral("background-color: rgba(255, 255, 255, 0);\ncolor: rgb(0, 0, 0);");
    QCOMPARE(seen.styleSheets, QStringList({transparent, transparent}));
    QCOMPARE(seen.frames, QList<int>({int(QFrame::NoFrame), int(QFrame::NoFrame)}));

    // It lived only while shown.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window->findChildren<QDialog*>().isEmpty());
}

QTEST_MAIN(TestMainWindowDebug)
#include "tst_mainwindowdebug.moc"
