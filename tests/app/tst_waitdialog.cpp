// The wait dialog shown during long board operations: its look, the spinner
// that follows its size, and that nothing but finish() closes it.

#include "waitdialog.h"

#include <QLabel>
#include <QMainWindow>
#include <QMovie>
#include <QtTest>

namespace {

QLabel* spinnerOf(WaitDialog& dialog)
{
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (label->movie())
            return label;
    }
    return nullptr;
}

QLabel* textOf(WaitDialog& dialog)
{
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->movie())
            return label;
    }
    return nullptr;
}

} // namespace

class TestWaitDialog : public QObject
{
    Q_OBJECT

private slots:
    void showsTitleTextAndRunningSpinner();
    void hasNoSystemButtons();
    void spinnerIsAThirdOfTheSmallerSide_data();
    void spinnerIsAThirdOfTheSmallerSide();
    void opensWithVisibleSpinnerAndWholeText();
    void escapeDoesNotClose();
    void closeRequestDoesNotClose();
    void finishStopsAndCloses();
    void setTextReplacesText();
};

void TestWaitDialog::showsTitleTextAndRunningSpinner()
{
    QMainWindow owner;
    WaitDialog dialog(&owner);
    QCOMPARE(dialog.parentWidget(), static_cast<QWidget*>(&owner));
    QCOMPARE(QString::fromLatin1(dialog.metaObject()->className()), QStringLiteral("WaitDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Пожалуйста, подождите"));
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.styleSheet(), QStringLiteral("QDialog { background: white; border: none; }"));

    QLabel* text = textOf(dialog);
    QVERIFY(text);
    QCOMPARE(text->text(), QStringLiteral("Выполнение операции..."));
    QCOMPARE(text->alignment(), Qt::AlignCenter);
    QCOMPARE(text->styleSheet(), QStringLiteral("QLabel { font: 12pt; margin-bottom: 15px; }"));

    QLabel* spinner = spinnerOf(dialog);
    QVERIFY(spinner);
    QMovie* movie = spinner->movie();
    QCOMPARE(movie->parent(), static_cast<QObject*>(&dialog));
    QCOMPARE(movie->fileName(), QStringLiteral(":/new/image/images/spinner.gif"));
    QVERIFY(movie->isValid());
    QVERIFY(movie->frameCount() > 1); // animated, not a still picture
    QCOMPARE(movie->state(), QMovie::Running);
}

void TestWaitDialog::hasNoSystemButtons()
{
    WaitDialog dialog;
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(flags.testFlag(Qt::Dialog));
    QVERIFY(flags.testFlag(Qt::CustomizeWindowHint));
    QVERIFY(flags.testFlag(Qt::WindowTitleHint));
    QVERIFY(!flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowSystemMenuHint));
}

void TestWaitDialog::spinnerIsAThirdOfTheSmallerSide_data()
{
    QTest::addColumn<QSize>("dialogSize");
    QTest::addColumn<int>("side");
    QTest::newRow("300x180") << QSize(300, 180) << 60;
    QTest::newRow("larger") << QSize(600, 450) << 150;
    QTest::newRow("tall") << QSize(400, 900) << 133;   // fraction dropped
    QTest::newRow("just over") << QSize(301, 182) << 60;
}

void TestWaitDialog::spinnerIsAThirdOfTheSmallerSide()
{
    QFETCH(QSize, dialogSize);
    QFETCH(int, side);

    WaitDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    dialog.resize(dialogSize);
    QTRY_COMPARE(dialog.size(), dialogSize);
    QLabel* spinner = spinnerOf(dialog);
    QTRY_COMPARE(spinner->size(), QSize(side, side));
    QCOMPARE(spinner->minimumSize(), QSize(side, side));
    QCOMPARE(spinner->maximumSize(), QSize(side, side));
    QCOMPARE(spinner->movie()->scaledSize(), QSize(side, side));
    dialog.finish();
}

void TestWaitDialog::opensWithVisibleSpinnerAndWholeText()
{
    // The default text fits the opening size; its spinner is not a speck.
    WaitDialog plain;
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));
    QCOMPARE(plain.size(), QSize(300, 180));
    QCOMPARE(spinnerOf(plain)->size(), QSize(60, 60));
    plain.finish();

    // A long text widens the dialog rather than being cut off.
    WaitDialog wide;
    wide.setText(QStringLiteral("Подождите, выполняется запись основной прошивки..."));
    wide.show();
    QVERIFY(QTest::qWaitForWindowExposed(&wide));
    QLabel* text = textOf(wide);
    QVERIFY2(text->width() >= text->sizeHint().width(),
             qPrintable(QStringLiteral("%1 < %2").arg(text->width()).arg(text->sizeHint().width())));
    QVERIFY(wide.width() >= text->sizeHint().width() + 60);
    QVERIFY(spinnerOf(wide)->width() >= 60);
    // Spinner and text do not overlap.
    QVERIFY(spinnerOf(wide)->geometry().bottom() < text->geometry().top());
    wide.finish();
}

void TestWaitDialog::escapeDoesNotClose()
{
    QMainWindow owner;
    owner.show();
    WaitDialog dialog(&owner);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(&dialog));

    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
    QCOMPARE(QApplication::activeModalWidget(), static_cast<QWidget*>(&dialog));
    QCOMPARE(spinnerOf(dialog)->movie()->state(), QMovie::Running);

    dialog.reject();
    QVERIFY(dialog.isVisible());
    dialog.finish();
    QVERIFY(!dialog.isVisible());
}

void TestWaitDialog::closeRequestDoesNotClose()
{
    WaitDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(!dialog.close());
    QVERIFY(dialog.isVisible());
    dialog.finish();
}

void TestWaitDialog::finishStopsAndCloses()
{
    WaitDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QMovie* movie = spinnerOf(dialog)->movie();
    QCOMPARE(movie->state(), QMovie::Running);

    dialog.finish();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(movie->state(), QMovie::NotRunning);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestWaitDialog::setTextReplacesText()
{
    WaitDialog dialog;
    dialog.setText(QStringLiteral("Подождите, выполняется запись загрузчика..."));
    QCOMPARE(textOf(dialog)->text(), QStringLiteral("Подождите, выполняется запись загрузчика..."));
    QCOMPARE(dialog.findChildren<QLabel*>().size(), 2);
}

QTEST_MAIN(TestWaitDialog)
#include "tst_waitdialog.moc"
